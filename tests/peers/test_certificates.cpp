#include "test_certificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace quillora::testpeers {

namespace {

QString serverName(TestCertificates::Server which)
{
    switch (which) {
    case TestCertificates::Server::Good:
        return QStringLiteral("good");
    case TestCertificates::Server::OtherName:
        return QStringLiteral("other-name");
    case TestCertificates::Server::Expired:
        return QStringLiteral("expired");
    case TestCertificates::Server::UnknownCa:
        return QStringLiteral("unknown-ca");
    }
    return {};
}

const QString kLoopbackNames = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");

} // namespace

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid()) {
        m_error = "no temporary folder";
        return;
    }
    // "openssl ca" keeps its books in files; it is the one that writes
    // validity dates of our choosing (an expired certificate).
    QFile config(path(QStringLiteral("ca.cnf")));
    QFile(path(QStringLiteral("index.txt"))).open(QIODevice::WriteOnly);
    QFile serial(path(QStringLiteral("serial")));
    if (!config.open(QIODevice::WriteOnly) || !serial.open(QIODevice::WriteOnly)) {
        m_error = "cannot write the CA's files";
        return;
    }
    config.write("[ca]\ndefault_ca = c\n[c]\ndatabase = " + path(QStringLiteral("index.txt")).toUtf8() +
                 "\nnew_certs_dir = " + m_dir.path().toUtf8() + "\nserial = " + serial.fileName().toUtf8() +
                 "\ndefault_md = sha256\npolicy = p\nunique_subject = no\n[p]\ncommonName = supplied\n");
    serial.write("1000\n");
    config.close();
    serial.close();
    m_ok =
        makeAuthority(QStringLiteral("ca")) && makeAuthority(QStringLiteral("stranger")) &&
        makeServer(Server::Good, QStringLiteral("ca"), kLoopbackNames, {}) &&
        makeServer(Server::OtherName, QStringLiteral("ca"), QStringLiteral("subjectAltName=DNS:other.example"), {}) &&
        makeServer(Server::Expired, QStringLiteral("ca"), kLoopbackNames, QStringLiteral("expired")) &&
        makeServer(Server::UnknownCa, QStringLiteral("stranger"), kLoopbackNames, {});
}

std::string TestCertificates::caFile() const
{
    return path(QStringLiteral("ca.pem")).toStdString();
}

std::string TestCertificates::certFile(Server which) const
{
    return path(serverName(which) + QStringLiteral(".pem")).toStdString();
}

std::string TestCertificates::keyFile(Server which) const
{
    return path(serverName(which) + QStringLiteral(".key")).toStdString();
}

QString TestCertificates::path(const QString &name) const
{
    return QDir(m_dir.path()).filePath(name);
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(60000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        m_error = "openssl " + arguments.join(QLatin1Char(' ')).toStdString() + ": " + openssl.readAll().toStdString();
        return false;
    }
    return true;
}

bool TestCertificates::makeAuthority(const QString &name)
{
    return run({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes"),
                QStringLiteral("-keyout"), path(name + QStringLiteral(".key")), QStringLiteral("-out"),
                path(name + QStringLiteral(".pem")), QStringLiteral("-subj"),
                QStringLiteral("/CN=Quillora test authority ") + name, QStringLiteral("-days"), QStringLiteral("2")});
}

bool TestCertificates::makeServer(Server which, const QString &authority, const QString &altNames,
                                  const QString &validity)
{
    const QString name = serverName(which);
    const QString key = path(name + QStringLiteral(".key"));
    const QString request = path(name + QStringLiteral(".csr"));
    const QString extensions = path(name + QStringLiteral(".ext"));
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write(altNames.toUtf8() + "\nextendedKeyUsage=serverAuth\n");
    ext.close();
    if (!run({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
              QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
              QStringLiteral("-out"), request, QStringLiteral("-subj"), QStringLiteral("/CN=") + name}))
        return false;
    QFile::setPermissions(key, QFile::ReadOwner | QFile::WriteOwner);
    const QString out = path(name + QStringLiteral(".pem"));
    if (validity == QLatin1String("expired"))
        return run({QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"),
                    path(QStringLiteral("ca.cnf")), QStringLiteral("-cert"), path(authority + QStringLiteral(".pem")),
                    QStringLiteral("-keyfile"), path(authority + QStringLiteral(".key")), QStringLiteral("-in"),
                    request, QStringLiteral("-out"), out, QStringLiteral("-startdate"),
                    QStringLiteral("20200101000000Z"), QStringLiteral("-enddate"), QStringLiteral("20200201000000Z"),
                    QStringLiteral("-extfile"), extensions, QStringLiteral("-notext")});
    return run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request, QStringLiteral("-CA"),
                path(authority + QStringLiteral(".pem")), QStringLiteral("-CAkey"),
                path(authority + QStringLiteral(".key")), QStringLiteral("-CAcreateserial"), QStringLiteral("-days"),
                QStringLiteral("2"), QStringLiteral("-extfile"), extensions, QStringLiteral("-out"), out});
}

} // namespace quillora::testpeers
