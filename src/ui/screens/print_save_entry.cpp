#include "print_save_entry.h"

#include "browsing_values.h"
#include "main_frame.h"
#include "main_frame_window.h"
#include "message_dialog.h"
#include "qt_file_prompts.h"
#include "quillora_view.h"
#include "zone_view_widget.h"

#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsView>
#include <QLineEdit>
#include <QPageLayout>
#include <QPainter>
#include <QPdfDocument>
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

#include <algorithm>
#include <cmath>
#include <memory>

namespace quillora::ui {

namespace {

// Below the page's content, room for the footer: a third of an inch.
constexpr qreal kFooterBandPoints = 24;
constexpr qreal kFooterPointSize = 9;

qreal footerBand(int dpi)
{
    return kFooterBandPoints * dpi / 72.0;
}

// The browser's PDF of its page, laid out on `layout`; empty when the
// browser gave nothing within `timeoutMs`. The browser answers later than
// this function may return, so the answer lands in shared state.
QByteArray browserPdf(QWebEnginePage *page, const QPageLayout &layout, const QPageRanges &ranges, int timeoutMs)
{
    struct Answer {
        QByteArray pdf;
        bool done = false;
        QPointer<QEventLoop> loop;
    };
    auto answer = std::make_shared<Answer>();
    QEventLoop loop;
    answer->loop = &loop;
    page->printToPdf(
        [answer](const QByteArray &pdf) {
            answer->pdf = pdf;
            answer->done = true;
            if (answer->loop)
                answer->loop->quit();
        },
        layout, ranges);
    if (!answer->done) {
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return answer->pdf;
}

} // namespace

QSize pagePictureSize(const QSizeF &devicePixels, int dpi)
{
    qreal scale = dpi > kMaxPageDpi ? qreal(kMaxPageDpi) / dpi : 1.0;
    const qreal pixels = devicePixels.width() * devicePixels.height() * scale * scale;
    if (pixels > qreal(kMaxPagePixels))
        scale *= std::sqrt(qreal(kMaxPagePixels) / pixels);
    return QSize(std::max(1, int(devicePixels.width() * scale)), std::max(1, int(devicePixels.height() * scale)));
}

QPageLayout browserPageLayout(const QPrinter &printer)
{
    const int dpi = printer.resolution();
    const QRectF area = printer.pageRect(QPrinter::DevicePixel);
    const QSizeF points(area.width() * 72.0 / dpi, std::max(1.0, area.height() - footerBand(dpi)) * 72.0 / dpi);
    // The size exactly as asked (a near standard size must not snap to it),
    // portrait side up, turned when it is wider than high.
    const bool wide = points.width() > points.height();
    const QPageSize size(wide ? points.transposed() : points, QPageSize::Point, QString(), QPageSize::ExactMatch);
    return QPageLayout(size, wide ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
}

bool printPdfPages(const QByteArray &pdf, QPrinter *printer, const QString &footer)
{
    QBuffer buffer;
    buffer.setData(pdf);
    if (!printer || pdf.isEmpty() || !buffer.open(QIODevice::ReadOnly))
        return false;
    QPdfDocument document(nullptr);
    document.load(&buffer);
    for (QDeadlineTimer wait(10000); document.status() == QPdfDocument::Status::Loading && !wait.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    const int count = document.pageCount();
    if (document.status() != QPdfDocument::Status::Ready || count <= 0)
        return false;

    // Painter coordinates start at the printable area's corner: the page
    // above, the footer in the band below it.
    const int dpi = printer->resolution();
    const QRectF area = printer->pageRect(QPrinter::DevicePixel);
    const qreal band = footerBand(dpi);
    const QRectF content(0, 0, area.width(), std::max(1.0, area.height() - band));
    const QRectF footerArea(0, content.height(), area.width(), band);
    const QSize picture = pagePictureSize(content.size(), dpi);
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    QFont font = painter.font();
    font.setPointSizeF(kFooterPointSize);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < count; ++i) {
        const int n = printer->pageOrder() == QPrinter::LastPageFirst ? count - 1 - i : i;
        if (i > 0 && !printer->newPage())
            return false;
        const QImage image = document.render(n, picture);
        if (image.isNull())
            return false;
        // What the page leaves transparent is paper: white, not an alpha
        // mask a printer has to blend.
        QImage paper(image.size(), QImage::Format_RGB32);
        paper.fill(Qt::white);
        QPainter(&paper).drawImage(0, 0, image);
        painter.drawImage(content, paper);
        painter.drawText(footerArea, Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine, footer);
    }
    return painter.end();
}

bool printPageTo(QWebEngineView *view, QPrinter *printer, const QString &footer, int timeoutMs)
{
    // The preview asks again while a printout is under way (its window
    // shows, resizes); one printout at a time.
    static bool printing = false;
    if (!view || !printer || printing)
        return false;
    printing = true;
    const auto done = qScopeGuard([] { printing = false; });
    // The browser lays its page out on paper the size of the space above the
    // footer; its pictures are then painted onto the printer with our footer,
    // so nothing of the browser's own (the page address) reaches the paper.
    const QByteArray pdf = browserPdf(view->page(), browserPageLayout(*printer), printer->pageRanges(), timeoutMs);
    return printPdfPages(pdf, printer, footer);
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
