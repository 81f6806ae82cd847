#include "print_save_entry.h"

#include "browsing_values.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "message_dialog.h"
#include "qt_file_prompts.h"
#include "quillora_view.h"
#include "zone_view_widget.h"

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsView>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLineEdit>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>

namespace quillora::ui {

namespace {

constexpr char kFooterId[] = "quillora-print-footer";

// Runs a script in the page and waits for it to finish.
void runScript(QWebEngineView *view, const QString &script)
{
    QEventLoop loop;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant &) {
        done = true;
        loop.quit();
    });
    if (!done) {
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// The footer of a printout: a fixed element for print media only, which the
// browser repeats at the foot of every printed page. It is in the page only
// while the printout is made.
QString footerScript(const QString &footer)
{
    const QString text =
        QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{footer}).toJson(QJsonDocument::Compact))
            .mid(1)
            .chopped(1);
    return QStringLiteral("(function(){var id='%1';var o=document.getElementById(id);if(o)o.remove();"
                          "var s=document.getElementById(id+'-style');if(s)s.remove();"
                          "s=document.createElement('style');s.id=id+'-style';"
                          "s.textContent='#'+id+'{display:none}@media print{#'+id+'{display:block;position:fixed;"
                          "bottom:0;right:0;font:9pt Arial,sans-serif;color:#000;background:#fff}}';"
                          "var d=document.createElement('div');d.id=id;d.textContent=%2;"
                          "(document.head||document.documentElement).appendChild(s);"
                          "(document.body||document.documentElement).appendChild(d);})();")
        .arg(QLatin1String(kFooterId), text);
}

QString removeFooterScript()
{
    return QStringLiteral("(function(){var id='%1';['','-style'].forEach(function(x){var e=document."
                          "getElementById(id+x);if(e)e.remove();});})();")
        .arg(QLatin1String(kFooterId));
}

} // namespace

bool printPageTo(QWebEngineView *view, QPrinter *printer, const QString &footer, int timeoutMs)
{
    // The preview asks again while a printout is under way (its window
    // shows, resizes); one printout at a time, so the footer stays in place
    // until the printout that added it is done.
    static bool printing = false;
    if (!view || !printer || printing)
        return false;
    printing = true;
    runScript(view, footerScript(footer));
    QEventLoop loop;
    bool ok = false;
    bool finished = false;
    auto done = [&](bool s) {
        ok = s;
        finished = true;
        loop.quit();
    };
    QMetaObject::Connection c;
    const QString pdf = printer->outputFormat() == QPrinter::PdfFormat ? printer->outputFileName() : QString();
    if (!pdf.isEmpty()) {
        // Printing to a file: the browser writes the PDF itself, so its text
        // stays text (a printer gets the pages as pictures).
        c = QObject::connect(view->page(), &QWebEnginePage::pdfPrintingFinished, &loop,
                             [&](const QString &, bool s) { done(s); });
        view->page()->printToPdf(pdf, printer->pageLayout(), printer->pageRanges());
    } else {
        c = QObject::connect(view, &QWebEngineView::printFinished, &loop, done);
        view->print(printer);
    }
    if (!finished) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(c);
    runScript(view, removeFooterScript());
    printing = false;
    return ok;
}

bool savePageArchive(QWebEngineView *view, const QString &path, int timeoutMs)
{
    if (!view)
        return false;
    QWebEngineProfile *profile = view->page()->profile();
    QEventLoop loop;
    bool ok = false;
    bool finished = false;
    const QString target = QFileInfo(path).absoluteFilePath();
    const QMetaObject::Connection c =
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, &loop, [&](QWebEngineDownloadRequest *d) {
            if (!d->isSavePageDownload())
                return;
            auto done = [&, d] {
                if (!d->isFinished())
                    return;
                ok = d->state() == QWebEngineDownloadRequest::DownloadCompleted;
                finished = true;
                loop.quit();
            };
            QObject::connect(d, &QWebEngineDownloadRequest::isFinishedChanged, &loop, done);
            done();
        });
    view->page()->save(target, QWebEngineDownloadRequest::MimeHtmlSaveFormat);
    if (!finished) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(c);
    return ok && QFileInfo(target).size() > 0;
}

bool WebQuestionPage::print(const QString &footer)
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, m_owner);
    dialog.setWindowTitle(QStringLiteral("Print Question"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return printPageTo(m_view, &printer, footer);
}

std::unique_ptr<QPrintPreviewDialog> makePrintPreview(QPrinter *printer, QWidget *owner)
{
    auto dialog = std::make_unique<QPrintPreviewDialog>(printer, owner);
    dialog->setObjectName(QStringLiteral("printPreview"));
    dialog->setWindowTitle(QStringLiteral("Print Preview"));
    // The zoom box's line edit is a child of the box, and the bus shows it
    // as a control of its own: both are named.
    for (QComboBox *zoom : dialog->findChildren<QComboBox *>()) {
        zoom->setAccessibleName(QStringLiteral("Zoom"));
        if (zoom->lineEdit())
            zoom->lineEdit()->setAccessibleName(QStringLiteral("Zoom"));
    }
    for (QLineEdit *page : dialog->findChildren<QLineEdit *>()) {
        if (!qobject_cast<QComboBox *>(page->parentWidget()))
            page->setAccessibleName(QStringLiteral("Page"));
    }
    for (QGraphicsView *view : dialog->findChildren<QGraphicsView *>()) {
        view->setAccessibleName(QStringLiteral("Preview"));
        view->viewport()->setAccessibleName(QStringLiteral("Preview pages"));
    }
    dialog->resize(900, 700);
    return dialog;
}

void WebQuestionPage::preview(const QString &footer)
{
    QPrinter printer(QPrinter::HighResolution);
    const std::unique_ptr<QPrintPreviewDialog> dialog = makePrintPreview(&printer, m_owner);
    QObject::connect(dialog.get(), &QPrintPreviewDialog::paintRequested, dialog.get(),
                     [this, footer](QPrinter *p) { printPageTo(m_view, p, footer); });
    dialog->exec();
}

bool WebQuestionPage::saveArchive(const QString &path)
{
    return savePageArchive(m_view, path);
}

namespace {

// The commands' state, owned by the frame.
class PrintSaveHolder : public QObject {
  public:
    PrintSaveHolder(MainFrameWindow &frame, platform::MessageBoxes &messages)
        : QObject(&frame), commands(messages, prompts, &frame)
    {
    }
    QtFilePrompts prompts;
    presence::PrintSaveCommands commands;
    std::unique_ptr<WebQuestionPage> page;
};

} // namespace

void installPrintAndSave(MainFrameWindow &frame, CQuilloraView &view, MessageDialog *board,
                         platform::MessageBoxes &messages)
{
    if (!frame.isCreated())
        return;
    auto *holder = new PrintSaveHolder(frame, messages);
    QPointer<CQuilloraView> viewGuard(&view);
    QPointer<MainFrameWindow> frameGuard(&frame);
    QPointer<MessageDialog> boardGuard(board);
    presence::PrintSaveCommands &c = holder->commands;
    c.selectedQuestion = [viewGuard] { return viewGuard ? viewGuard->selectedQuestionId() : -1; };
    c.page = [holder, viewGuard, frameGuard]() -> presence::QuestionPage * {
        if (!viewGuard || !frameGuard)
            return nullptr;
        ZoneViewWidget *zone = viewGuard->zoneView(viewGuard->currentZoneIndex());
        if (!zone || !zone->browser())
            return nullptr;
        holder->page = std::make_unique<WebQuestionPage>(zone->browser(), frameGuard);
        return holder->page.get();
    };
    c.setStatusPrompt = [frameGuard](const QString &text) {
        if (frameGuard)
            frameGuard->setPromptText(text);
    };
    c.messageBoard = [boardGuard]() -> presence::CMessageDlg * { return boardGuard ? &boardGuard->rules() : nullptr; };
    presence::FrameDialogs &d = frame.frame().dialogs();
    d.printQuestion = [holder] { holder->commands.printQuestion(); };
    d.printPreview = [holder] { holder->commands.printPreview(); };
    d.saveQuestion = [holder] { holder->commands.saveQuestion(); };
    if (board)
        d.saveMessage = [holder] { holder->commands.saveMessage(); };
    frame.updateCommandStates();
}

} // namespace quillora::ui
