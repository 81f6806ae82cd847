#include "shared_graphics_context.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>

// Qt's own setter and getter of the global share context (exported by Qt
// GUI; QOpenGLContext::globalShareContext() reads the same).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();

namespace quillora::ui {

namespace {

QOpenGLContext *g_deferred = nullptr;

// Runs while the application object is built, before Qt and the browser's
// library look for a shared context (a routine added later runs earlier).
void installEmptyContext()
{
    if (qt_gl_global_share_context())
        return;
    g_deferred = new QOpenGLContext;
    g_deferred->setFormat(QSurfaceFormat::defaultFormat());
    qt_gl_set_global_share_context(g_deferred);
    qAddPostRoutine([] {
        qt_gl_set_global_share_context(nullptr);
        delete g_deferred;
        g_deferred = nullptr;
    });
}

} // namespace

void deferSharedGraphicsContext()
{
    // The widgets and the browser share one context, as Qt's embedded
    // browser requires.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    qAddPreRoutine(installEmptyContext);
}

bool realizeSharedGraphicsContext()
{
    QOpenGLContext *context = qt_gl_global_share_context();
    if (!context || context != g_deferred || context->isValid())
        return context && context->isValid();
    context->setScreen(QGuiApplication::primaryScreen());
    return context->create();
}

} // namespace quillora::ui
