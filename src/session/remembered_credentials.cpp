#include "remembered_credentials.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace quillora::session {
namespace {

constexpr QFileDevice::Permissions kOwnerFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerDir = kOwnerFile | QFileDevice::ExeOwner;

const QString kUserNameValue = QStringLiteral("UserName");
const QString kPasswordValue = QStringLiteral("Password");

// Creates the folder of `file` private to its owner; false when it cannot be made.
bool makePrivateFolder(const QString &file)
{
    const QString dir = QFileInfo(file).absolutePath();
    if (!QDir().mkpath(dir))
        return false;
    QFile::setPermissions(dir, kOwnerDir);
    return QFileInfo(dir).isDir();
}

// Bytes up to the first zero byte (all of them when there is none).
QByteArray upToZero(const QByteArray &bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

} // namespace

CredentialPaths CredentialPaths::standard()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {config + QStringLiteral("/Kestova/credentials.ini"), config + QStringLiteral("/quillora/winuser.dat")};
}

RememberedCredentials::RememberedCredentials(CredentialPaths paths, CipherKeyMaterial material)
    : m_paths(std::move(paths)), m_material(std::move(material))
{
}

bool RememberedCredentials::fits(const QString &userName, const QString &password)
{
    const QByteArray name = userName.toUtf8();
    return name.size() <= kMaxUserNameBytes && !name.contains('\0') && password.toUtf8().size() <= kMaxPasswordBytes;
}

QByteArray RememberedCredentials::makeRecord(const QByteArray &userName, const QByteArray &enciphered)
{
    Q_ASSERT(userName.size() < kFieldSize && enciphered.size() < kFieldSize);
    QByteArray record(kRecordSize, '\0');
    record.replace(0, userName.size(), userName);
    record.replace(kFieldSize, enciphered.size(), enciphered);
    // The terminator stays at kFieldSize + size; everything after it is padding.
    for (qsizetype i = kFieldSize + enciphered.size() + 1; i < kRecordSize; ++i)
        record[i] = kRecordPadding;
    return record;
}

QByteArray RememberedCredentials::recordPassword(const QByteArray &record)
{
    // Enciphered bytes may hold zeros, so our writer's terminator is the last
    // zero of the field, and kRecordPadding fills the rest. A record from
    // another writer may pad with zeros or leave anything after its
    // terminator; its value then ends at the first zero. A field whose last
    // byte is a zero is read that way too: our writer only fills the field
    // for a 23-byte password, longer than any the community takes.
    const QByteArray field = record.mid(kFieldSize, kFieldSize);
    const qsizetype last = field.lastIndexOf('\0');
    if (last < 0)
        return QByteArray();
    bool ours = last + 1 < field.size();
    for (qsizetype i = last + 1; i < field.size(); ++i)
        ours = ours && field.at(i) == kRecordPadding;
    return field.left(ours ? last : field.indexOf('\0'));
}

bool RememberedCredentials::writeSettings(const QByteArray &userName, const QByteArray &enciphered) const
{
    if (!makePrivateFolder(m_paths.settingsFile))
        return false;
    {
        QSettings settings(m_paths.settingsFile, QSettings::IniFormat);
        settings.setValue(kUserNameValue, QByteArray(userName + '\0'));
        settings.setValue(kPasswordValue, QByteArray(enciphered + '\0'));
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return false;
    }
    return QFile::setPermissions(m_paths.settingsFile, kOwnerFile);
}

RememberStatus RememberedCredentials::remember(const QString &userName, const QString &password) const
{
    if (!fits(userName, password))
        return RememberStatus::TooLong;
    const QByteArray name = userName.toUtf8();
    const QByteArray enciphered = CredentialCipher(m_material).encipher(password.toUtf8());

    if (!writeSettings(name, enciphered))
        return RememberStatus::KeyFailed;

    if (!makePrivateFolder(m_paths.recordFile))
        return RememberStatus::FileFailed;
    QFile file(m_paths.recordFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, kOwnerFile))
        return RememberStatus::FileFailed;
    file.setPermissions(kOwnerFile); // an older file keeps its mode otherwise
    const QByteArray record = makeRecord(name, enciphered);
    const bool written = file.write(record) == record.size() && file.flush();
    file.close();
    return written ? RememberStatus::Ok : RememberStatus::FileFailed;
}

bool RememberedCredentials::forget() const
{
    bool gone = true;
    for (const QString &path : {m_paths.settingsFile, m_paths.recordFile}) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            gone = QFile::remove(path) && gone;
    }
    return gone;
}

LoadedCredentials RememberedCredentials::load() const
{
    LoadedCredentials out;
    const CredentialCipher cipher(m_material);

    QFile settingsFile(m_paths.settingsFile);
    if (QFileInfo(m_paths.settingsFile).isFile() && settingsFile.open(QIODevice::ReadOnly)) {
        settingsFile.close();
        out.found = true;
        const QSettings settings(m_paths.settingsFile, QSettings::IniFormat);
        const QByteArray name = settings.value(kUserNameValue).toByteArray().left(kMaxValueBytes);
        out.userName = QString::fromUtf8(upToZero(name));
        if (out.userName.isEmpty())
            return out;
        QByteArray enciphered = settings.value(kPasswordValue).toByteArray().left(kMaxValueBytes);
        if (enciphered.isEmpty())
            return out;
        // Read by length: the value is the enciphered bytes and one zero byte.
        if (enciphered.endsWith('\0'))
            enciphered.chop(1);
        out.password = QString::fromUtf8(cipher.decipher(enciphered));
        out.show = true;
        return out;
    }

    QFile recordFile(m_paths.recordFile);
    if (!QFileInfo(m_paths.recordFile).isFile() || !recordFile.open(QIODevice::ReadOnly))
        return out;
    out.found = true;
    if (recordFile.size() != kRecordSize) {
        out.badRecord = true;
        return out;
    }
    const QByteArray record = recordFile.read(kRecordSize);
    if (record.size() != kRecordSize) {
        out.badRecord = true;
        return out;
    }
    const QByteArray name = upToZero(record.left(kFieldSize));
    const QByteArray enciphered = recordPassword(record);
    out.userName = QString::fromUtf8(name);
    out.password = QString::fromUtf8(cipher.decipher(enciphered));
    // Put the values back where they are looked for first.
    if (!writeSettings(name, enciphered))
        return out;
    out.show = true;
    return out;
}

} // namespace quillora::session
