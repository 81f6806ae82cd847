// Test peers die with their test. Each peer process a test starts is asked
// to be killed (SIGKILL) by the kernel the moment the thread that started it
// ends, however it ends: a failed assertion, a crash, or ctest killing the
// test at its time limit. Start peers from the test's own thread (a peer
// started from a short-lived helper thread would die with that thread).
#pragma once

#include <QProcess>

#include <string>
#include <vector>

#include <sys/types.h>

namespace quillora::testpeers {

// For a QProcess about to start a peer.
void dieWithTest(QProcess &process);

// Starts `argv` (argv[0] a path) with `stdoutFd` as its standard output
// (-1: inherited) and no blocked signals; -1 with `error` set on failure.
pid_t spawnPeer(const std::vector<std::string> &argv, int stdoutFd, std::string &error);

} // namespace quillora::testpeers
