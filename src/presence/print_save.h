// The main frame's File commands on the question page and the transcript:
// "Print Question", "Print Preview", "Save Question" (a single-file web
// archive) and "Save Message" (the message board's transcript as RTF). The
// page is reached through QuestionPage, the file name through the platform's
// file prompt, so every rule and message runs in a test without a window.
#pragma once

#include <QDate>
#include <QString>

#include <functional>

class QObject;

namespace quillora::platform {
class FilePrompts;
class MessageBoxes;
} // namespace quillora::platform

namespace quillora::presence {

class CMessageDlg;

// The page shown by the active zone view's embedded browser.
class QuestionPage {
  public:
    virtual ~QuestionPage() = default;
    // The print dialog, then the printout with `footer` at the foot of every
    // page; false when nothing could be printed.
    virtual bool print(const QString &footer) = 0;
    virtual void preview(const QString &footer) = 0;
    // Saves the page as a single-file web archive; false when it failed.
    virtual bool saveArchive(const QString &path) = 0;
};

// "Printing, please wait…"
QString printingStatusText();
// The page footer code: "&d", the date alone (never the page address).
inline constexpr char kPageFooterCode[] = "&d";
// Expands the footer codes: &d the short date, && a single &; other text stays.
QString expandFooter(const QString &code, const QDate &date);
// "1234.mhtml"; "2007-05-01.rtf"
QString questionArchiveName(int questionId);
QString transcriptFileName(const QDate &date);
QString archiveFilter();    // "mhtml文件(*.mhtml)"
QString transcriptFilter(); // "rtf file(*.rtf)"
// A chosen path without a file name gets this one.
QString untitledPath(const QString &path);

class PrintSaveCommands {
  public:
    PrintSaveCommands(platform::MessageBoxes &messages, platform::FilePrompts &prompts, QObject *owner = nullptr);

    // The selected question ID (-1 until a row is opened), the page of the
    // active zone view, the status pane 0 text, the message board. Set by
    // the program; tests set their own.
    std::function<int()> selectedQuestion;
    std::function<QuestionPage *()> page;
    std::function<void(const QString &)> setStatusPrompt;
    std::function<CMessageDlg *()> messageBoard;
    std::function<QDate()> today = [] { return QDate::currentDate(); };

    void printQuestion();
    void printPreview();
    // True when a file was written.
    bool saveQuestion();
    bool saveMessage();

  private:
    bool haveQuestion();
    // The path chosen, after asking whether to replace an existing file;
    // empty when the member cancelled either.
    QString askPath(const QString &proposed, const QString &filter);
    void status(const QString &text);

    platform::MessageBoxes &m_messages;
    platform::FilePrompts &m_prompts;
    QObject *m_owner;
};

} // namespace quillora::presence
