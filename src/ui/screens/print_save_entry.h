// "Print Question", "Print Preview", "Save Question" and "Save Message" as
// the program runs them: the rules of presence::PrintSaveCommands on the
// embedded browser of the active zone view, the platform's save dialog and
// the message board.
#pragma once

#include "platform/file_prompt.h"
#include "platform/message_box.h"

#include "print_save.h"

#include <QString>

#include <memory>

class QPrinter;
class QPrintPreviewDialog;
class QWebEngineView;

namespace quillora::ui {

class CQuilloraView;
class MainFrameWindow;
class MessageDialog;

// The save dialog: it proposes the name in the last folder used, and never
// asks about replacing (the rules do).
// Prints the page of `view` to `printer`, `footer` at the foot of every
// page; waits until the printout is done (at most `timeoutMs`).
bool printPageTo(QWebEngineView *view, QPrinter *printer, const QString &footer, int timeoutMs = 60000);
// Saves the page of `view` as a single-file web archive and waits until the
// file is written (at most `timeoutMs`).
bool savePageArchive(QWebEngineView *view, const QString &path, int timeoutMs = 60000);

// The "Print Preview" window over `owner`, drawing on `printer`. The page
// field, the zoom box and the page view Qt puts in it get names a screen
// reader can say.
std::unique_ptr<QPrintPreviewDialog> makePrintPreview(QPrinter *printer, QWidget *owner);

// The page of a browser, as the rules see it.
class WebQuestionPage : public presence::QuestionPage {
  public:
    WebQuestionPage(QWebEngineView *view, QWidget *dialogOwner) : m_view(view), m_owner(dialogOwner) {}
    bool print(const QString &footer) override;
    void preview(const QString &footer) override;
    bool saveArchive(const QString &path) override;

  private:
    QWebEngineView *m_view;
    QWidget *m_owner;
};

// Sets the frame's four File commands. `board` may be null (no "Save Message").
void installPrintAndSave(MainFrameWindow &frame, CQuilloraView &view, MessageDialog *board,
                         platform::MessageBoxes &messages);

} // namespace quillora::ui
