// "Print Question", "Print Preview", "Save Question" and "Save Message" as
// the program runs them: the rules of presence::PrintSaveCommands on the
// embedded browser of the active zone view, the platform's save dialog and
// the message board.
#pragma once

#include "platform/file_prompt.h"
#include "platform/message_box.h"

#include "print_save.h"

#include <QPageLayout>
#include <QSize>
#include <QString>

#include <memory>

class QPrinter;
class QPrintPreviewDialog;
class QWebEngineView;

namespace quillora::ui {

class CQuilloraView;
class MainFrameWindow;
class MessageDialog;

// Prints the page of `view` to `printer`, `footer` at the foot of every
// page: the browser makes a PDF of the page for the space above the footer,
// and its pages are painted as pictures onto the printer (or the preview)
// with the footer below them. Waits until the printout is done (the browser
// has at most `timeoutMs`).
bool printPageTo(QWebEngineView *view, QPrinter *printer, const QString &footer, int timeoutMs = 60000);

// The page layout the browser is asked for: the printable area of `printer`
// less the footer's band, without margins of its own.
QPageLayout browserPageLayout(const QPrinter &printer);
// Paints every page of `pdf` onto `printer` above `footer`; false when the
// document cannot be read or nothing could be painted.
bool printPdfPages(const QByteArray &pdf, QPrinter *printer, const QString &footer);

// A page is painted from a picture of at most 300 dots per inch and at most
// 16 Mi pixels (64 MiB), whatever the printer's resolution and paper size.
inline constexpr int kMaxPageDpi = 300;
inline constexpr qint64 kMaxPagePixels = 16 * 1024 * 1024;
// The picture size for a printable area of `devicePixels` on a device of `dpi`.
QSize pagePictureSize(const QSizeF &devicePixels, int dpi);
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
