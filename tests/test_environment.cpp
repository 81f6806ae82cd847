// Linked into every test binary: the variables a test run needs, set before
// main() unless the caller has set them, so a binary behaves the same under
// ctest and when started by hand. Widgets draw offscreen; the embedded
// browser's helper process refuses to start as root without the sandbox
// switch, which would leave the test waiting for it until the time limit.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    }
};

const TestEnvironment testEnvironment;

} // namespace
