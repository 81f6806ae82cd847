// The processes a program started, read from /proc: its descendants, the
// name of each one's executable, and what they weigh in memory
// (/proc/PID/smaps_rollup). The web engine's helper processes are children
// of the program that started the engine, so a test can tell whether the
// engine runs and a benchmark can weigh the program with its helpers.
#pragma once

#include <QString>

#include <vector>

#include <sys/types.h>

namespace quillora::testpeers {

// Every process whose chain of parents leads to `pid` (not `pid` itself),
// parents before their children.
std::vector<pid_t> descendantsOf(pid_t pid);

// The file name of the process's executable ("QtWebEngineProcess"); empty
// when the process is gone or cannot be read.
QString executableName(pid_t pid);

// The descendants of `pid` that are web engine helper processes.
std::vector<pid_t> webEngineHelpersOf(pid_t pid);

// Proportional and resident set size of one process, in KiB (0 when the
// process is gone).
struct MemoryUse {
    qint64 pssKiB = 0;
    qint64 rssKiB = 0;
};
MemoryUse memoryUseOf(pid_t pid);

} // namespace quillora::testpeers
