// The running copy's door for a second start: the copy that holds the
// single-instance lock listens on a local socket beside the lock file; a
// second start connects, asks it to bring its window to the front, and ends.
// The socket lives in the user's runtime directory (owner-only) and is made
// owner-only itself, so only the same user can knock.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quillora::session {

// Listens while it exists; emits raiseRequested() for every well-formed knock.
class RaiseListener : public QObject {
    Q_OBJECT
  public:
    // Takes over `socketPath`: a socket left there by a copy that crashed is
    // replaced. Only the holder of the single-instance lock may call this.
    explicit RaiseListener(const QString &socketPath, QObject *parent = nullptr);
    ~RaiseListener() override;

    bool listening() const { return m_fd >= 0; }
    const QString &path() const { return m_path; }

  Q_SIGNALS:
    void raiseRequested();

  private:
    void acceptOne();

    QString m_path;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

// Asks the copy listening on `socketPath` to come to the front. False when
// nobody listens there (the running copy is still starting, or it is gone).
bool askRunningCopyToRaise(const QString &socketPath, int timeoutMs = 2000);

// The socket beside a lock file: "<lock path without .lock>.sock".
QString raiseSocketPath(const QString &lockPath);

} // namespace quillora::session
