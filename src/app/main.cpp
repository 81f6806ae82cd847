// quillora: the desktop client. QUILLORA_SITE=[https://]host[:port] points it
// at another community site than the one compiled in.
#include "quillora_app.h"

#include <cstdio>
#include <cstring>

namespace {

void printUsage()
{
    std::printf("usage: quillora [--help] [--version] [Qt options such as -platform NAME]\n"
                "The desktop client of the Quillora community: sign in, ask and answer questions,\n"
                "and talk with the community's experts.\n"
                "  --help      show this text\n"
                "  --version   show the program's version\n"
                "Environment: QUILLORA_SITE=host[:port] uses another community site than %s,\n"
                "  https://host[:port] one over TLS; QUILLORA_CA_FILE=FILE trusts that authority for\n"
                "  the site's certificate besides the system's.\n",
                qPrintable(quillora::service::siteUrl(quillora::service::siteFromEnvironment(), QString())));
}

} // namespace

int main(int argc, char **argv)
{
    // --help and --version answer before the application object exists, so
    // they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quillora %s\n", qPrintable(quillora::service::programVersion()));
            return 0;
        }
    }
    quillora::app::CQuilloraApp::prepareProcess();
    quillora::app::CQuilloraApp app(argc, argv);
    return app.run();
}
