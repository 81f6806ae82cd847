// Runs the project's FTP server for head image uploads
// (scripts/face_ftp_server.py, pyftpdlib) for a test: on 127.0.0.1, an
// ephemeral port, a temporary root folder and one account, whose password
// goes to the server through its environment. Given a certificate and key,
// the server requires explicit TLS. A varnel-server that serves the uploads
// is started with `--files` set to customFaceDir().
//
//   quillora::testpeers::FtpServerProcess ftp("faceupl", "secret");
//   ASSERT_TRUE(ftp.started()) << ftp.error();
//   VarnelServerProcess server({.extraArgs = {"--files", ftp.customFaceDir()}});
#pragma once

#include "scripted_http_peer.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <string>

namespace quillora::testpeers {

class FtpServerProcess {
  public:
    FtpServerProcess(QString user, QString password, const PeerTls &tls = {});
    ~FtpServerProcess();
    FtpServerProcess(const FtpServerProcess &) = delete;
    FtpServerProcess &operator=(const FtpServerProcess &) = delete;

    bool started() const { return m_port > 0; }
    const std::string &error() const { return m_error; }
    int port() const { return m_port; }
    // "127.0.0.1:PORT", the form QUILLORA_FTP takes.
    QString address() const;
    const QString &user() const { return m_user; }
    const QString &password() const { return m_password; }
    QString root() const { return m_root.path(); }
    // root()/Varnel/Web/images/CustomFace
    std::string customFaceDir() const;

  private:
    QString m_user;
    QString m_password;
    QTemporaryDir m_root;
    QProcess m_process;
    int m_port = 0;
    std::string m_error;
};

} // namespace quillora::testpeers
