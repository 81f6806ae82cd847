// Linked into every test binary: variables a test run needs, set before main()
// unless the caller has set them. ctest hands a discovered test only the first
// entry of its ENVIRONMENT property, and the embedded browser's helper process
// refuses to start as root without the sandbox switch, leaving the test
// waiting for it until the time limit.
#include <cstdlib>

namespace {

struct TestEnvironment {
    TestEnvironment() { setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0); }
};

const TestEnvironment testEnvironment;

} // namespace
