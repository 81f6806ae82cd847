#include "peer_lifetime.h"

#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

extern char **environ;

namespace quillora::testpeers {

namespace {

// In the child, between fork and exec: system calls only.
void tieToParent(pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The test may have died before the line above.
    if (::getppid() != parent)
        ::_exit(125);
}

} // namespace

void dieWithTest(QProcess &process)
{
    process.setChildProcessModifier([parent = ::getpid()] { tieToParent(parent); });
}

pid_t spawnPeer(const std::vector<std::string> &argv, int stdoutFd, std::string &error)
{
    // Everything the child needs is made before fork.
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (auto &a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("cannot start ") + argv.front() + ": " + std::strerror(errno);
        return -1;
    }
    if (pid > 0)
        return pid;
    // The child must not inherit the test's blocked signals.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (stdoutFd >= 0)
        ::dup2(stdoutFd, STDOUT_FILENO);
    tieToParent(parent);
    ::execve(argp[0], argp.data(), environ);
    ::_exit(127);
}

} // namespace quillora::testpeers
