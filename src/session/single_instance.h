// One copy of the program per desktop session: an exclusive lock on a file in
// the user's runtime directory whose name carries the display. The lock is
// held until the object is destroyed or the process ends (the system drops it
// then, even after a crash), and is never waited for.
#pragma once

#include <QString>

namespace quillora::session {

class SingleInstanceLock {
  public:
    // Tries to take the lock "MyQuilloraApp-<session key>.lock" in `directory`.
    explicit SingleInstanceLock(const QString &directory = runtimeDirectory(),
                                const QString &sessionKey = displaySessionKey());
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock &) = delete;
    SingleInstanceLock &operator=(const SingleInstanceLock &) = delete;

    // False when another copy holds the lock or the lock file cannot be made.
    bool acquired() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }

    // The user's runtime directory (XDG_RUNTIME_DIR).
    static QString runtimeDirectory();
    // The display this session shows on: WAYLAND_DISPLAY, else DISPLAY, else
    // "console"; characters unfit for a file name become '_'.
    static QString displaySessionKey();

  private:
    QString m_path;
    int m_fd = -1;
};

} // namespace quillora::session
