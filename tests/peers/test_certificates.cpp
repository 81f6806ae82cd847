#include "test_certificates.h"

#include <filesystem>

namespace quillora::testpeers {

TestCertificates::TestCertificates()
{
    if (!m_dir.isValid()) {
        m_error = "no temporary folder";
        return;
    }
    const std::filesystem::path dir = m_dir.path().toStdString();
    std::filesystem::create_directory(dir / "stranger");
    m_ca = std::make_unique<TestCertificateAuthority>(dir);
    m_stranger = std::make_unique<TestCertificateAuthority>(dir / "stranger", "Quillora Stranger CA");
    if (!m_ca->ok() || !m_stranger->ok()) {
        m_error = m_ca->ok() ? m_stranger->error() : m_ca->error();
        return;
    }
    constexpr long day = 86400;
    m_files[Server::Good] = m_ca->issue("good");
    m_files[Server::OtherName] = m_ca->issue("other-name", {"other.example"});
    m_files[Server::Expired] = m_ca->issue("expired", {"127.0.0.1", "localhost"}, -2 * day, -day);
    m_files[Server::UnknownCa] = m_stranger->issue("unknown-ca");
    for (const auto &[which, files] : m_files) {
        if (files.cert.empty()) {
            m_error = "a server certificate could not be issued";
            return;
        }
    }
    m_ok = true;
}

TestCertificates::~TestCertificates() = default;

std::string TestCertificates::caFile() const
{
    return m_ca->caFile().string();
}

} // namespace quillora::testpeers
