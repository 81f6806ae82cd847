// Uploads a file to the community's FTP server: the custom head image of a
// star expert goes to "Varnel/Web/images/CustomFace/<userID>.bmp" under the
// upload account's root, where the site serves it over HTTP.
//
// One synchronous libcurl transfer: active mode (the server connects back to
// us for the data), binary type, the agent name "FtpDownload"; over explicit
// TLS (AUTH TLS, control and data protected, the data connection passive)
// when the site is https. Every
// option of the transfer is set in one place in ftp_upload.cpp, so
// connection-wide options (a proxy, for instance) are added there once for
// every upload.
#pragma once

#include <QByteArray>
#include <QString>

namespace quillora::session {

// The FTP directory of custom head images, relative to the account's root.
inline constexpr char kCustomFaceFtpDirectory[] = "Varnel/Web/images/CustomFace/";

struct FtpConnection {
    QString host;
    quint16 port = 21;
    QString user;
    QString password;
    QString agent = QStringLiteral("FtpDownload");
    int connectTimeoutMs = 10000;  // connecting, and waiting for the server's data connection
    int transferTimeoutMs = 30000; // the whole upload
    // Explicit TLS is required: a server that does not take AUTH TLS, or
    // whose certificate fails (system store plus caFile), gets nothing, the
    // password included.
    bool tls = false;
    QString caFile;
};

// The compiled-in server and upload account, with TLS when the compiled-in
// site is https.
FtpConnection compiledFtpConnection();
// compiledFtpConnection(), with host and port from QUILLORA_FTP=host[:port]
// when it is set and well-formed (the port defaults to 21), and TLS and the
// trusted authority as the site of this run has them (siteFromEnvironment).
FtpConnection ftpFromEnvironment();

struct FtpUploadResult {
    bool ok = false;
    QString error; // libcurl's description of what failed; empty on success
};

// Stores `data` as `remotePath` (relative to the account's root, e.g.
// "Varnel/Web/images/CustomFace/7.bmp"), replacing any file of that name.
// The directory must exist; it is not created.
FtpUploadResult ftpUpload(const FtpConnection &connection, const QString &remotePath, const QByteArray &data);

// "ftp://host[:port]/" + remotePath, the address of the upload; IPv6 hosts in
// brackets, path characters other than letters, digits and "-._~/" escaped.
QString ftpUrl(const FtpConnection &connection, const QString &remotePath);

} // namespace quillora::session
