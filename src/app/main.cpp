// quillora: the desktop client. QUILLORA_SITE=host[:port] points it at
// another community site than the one compiled in.
#include "quillora_app.h"

int main(int argc, char **argv)
{
    // The embedded browser shares the widgets' graphics contexts; this must
    // be said before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    quillora::app::CQuilloraApp app(argc, argv);
    return app.run();
}
