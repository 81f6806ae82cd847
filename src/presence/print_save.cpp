#include "print_save.h"

#include "main_frame.h"
#include "message_dlg.h"
#include "platform/file_prompt.h"
#include "platform/message_box.h"

#include <QFileInfo>
#include <QLocale>

namespace quillora::presence {

QString printingStatusText()
{
    return QStringLiteral("Printing, please wait") + QChar(0x2026);
}

QString expandFooter(const QString &code, const QDate &date)
{
    QString out;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('&') && i + 1 < code.size()) {
            const QChar next = code.at(i + 1);
            if (next == QLatin1Char('d')) {
                out += QLocale().toString(date, QLocale::ShortFormat);
                ++i;
                continue;
            }
            if (next == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString questionArchiveName(int questionId)
{
    return QString::number(questionId) + QStringLiteral(".mhtml");
}

QString transcriptFileName(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".rtf");
}

QString archiveFilter()
{
    return QStringLiteral("mhtml") + QString::fromUtf16(u"\u6587\u4ef6") + QStringLiteral("(*.mhtml)");
}

QString transcriptFilter()
{
    return QStringLiteral("rtf file(*.rtf)");
}

QString untitledPath(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path + QStringLiteral("untitled");
    return path;
}

PrintSaveCommands::PrintSaveCommands(platform::MessageBoxes &messages, platform::FilePrompts &prompts, QObject *owner)
    : m_messages(messages), m_prompts(prompts), m_owner(owner)
{
}

bool PrintSaveCommands::haveQuestion()
{
    if (selectedQuestion && selectedQuestion() != -1)
        return true;
    m_messages.ok(noQuestionSelectedMessage(), platform::programTitle(), platform::MessageIcon::Warning, m_owner);
    return false;
}

void PrintSaveCommands::status(const QString &text)
{
    if (setStatusPrompt)
        setStatusPrompt(text);
}

void PrintSaveCommands::printQuestion()
{
    if (!haveQuestion())
        return;
    status(printingStatusText());
    if (QuestionPage *p = page ? page() : nullptr)
        p->print(expandFooter(QLatin1String(kPageFooterCode), today()));
    status(idleStatusText());
}

void PrintSaveCommands::printPreview()
{
    if (!haveQuestion())
        return;
    if (QuestionPage *p = page ? page() : nullptr)
        p->preview(expandFooter(QLatin1String(kPageFooterCode), today()));
}

QString PrintSaveCommands::askPath(const QString &proposed, const QString &filter)
{
    QString path = m_prompts.saveFileName({QStringLiteral("Save As"), proposed, filter, m_owner});
    if (path.isEmpty())
        return QString();
    path = untitledPath(path);
    if (QFileInfo::exists(path)) {
        const platform::MessageAnswer a = m_messages.show(
            {QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName()),
             QStringLiteral("Save As"), platform::MessageIcon::Warning, platform::MessageButtons::YesNo, m_owner});
        if (a != platform::MessageAnswer::Yes)
            return QString();
    }
    return path;
}

bool PrintSaveCommands::saveQuestion()
{
    if (!haveQuestion())
        return false;
    const QString path = askPath(questionArchiveName(selectedQuestion()), archiveFilter());
    if (path.isEmpty())
        return false;
    QuestionPage *p = page ? page() : nullptr;
    if (!p || !p->saveArchive(path)) {
        m_messages.ok(QStringLiteral("The question could not be saved to %1.").arg(path), platform::programTitle(),
                      platform::MessageIcon::Warning, m_owner);
        return false;
    }
    return true;
}

bool PrintSaveCommands::saveMessage()
{
    CMessageDlg *board = messageBoard ? messageBoard() : nullptr;
    if (!board)
        return false;
    // Nothing is asked, created or truncated for an empty board.
    if (board->isTranscriptEmpty())
        return board->saveTranscript(QString());
    const QString path = askPath(transcriptFileName(today()), transcriptFilter());
    if (path.isEmpty())
        return false;
    if (!board->saveTranscript(path))
        return false;
    status(QStringLiteral("Messages saved to ") + QFileInfo(path).fileName());
    return true;
}

} // namespace quillora::presence
