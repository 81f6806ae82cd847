#include "remembered_credentials.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora::session;

namespace {

class RememberedCredentialsTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    CredentialPaths paths{dir.filePath(QStringLiteral("config/Kestova/credentials.ini")),
                          dir.filePath(QStringLiteral("config/quillora/winuser.dat"))};
    RememberedCredentials store{paths};

    QByteArray readFile(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray settingsValue(const QString &name)
    {
        return QSettings(paths.settingsFile, QSettings::IniFormat).value(name).toByteArray();
    }
};

// A printable password of 6 to 16 characters whose enciphered bytes satisfy
// `want`; candidates come from a fixed pseudo-random sequence.
QString findPassword(const std::function<bool(const QByteArray &)> &want)
{
    const CredentialCipher cipher;
    quint32 state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 16;
    };
    for (int n = 0; n < 200000; ++n) {
        QByteArray candidate;
        const int length = 6 + int(next() % 11);
        for (int i = 0; i < length; ++i)
            candidate.append(char(0x21 + next() % 94));
        if (want(cipher.encipher(candidate)))
            return QString::fromLatin1(candidate);
    }
    return QString();
}

} // namespace

TEST_F(RememberedCredentialsTest, NothingStoredFindsNothing)
{
    const LoadedCredentials loaded = store.load();
    EXPECT_FALSE(loaded.found);
    EXPECT_FALSE(loaded.show);
    EXPECT_FALSE(loaded.badRecord);
    EXPECT_TRUE(loaded.userName.isEmpty());
    EXPECT_TRUE(loaded.password.isEmpty());
}

TEST_F(RememberedCredentialsTest, RememberWritesBothCopiesInTheirLayoutsPrivateToTheOwner)
{
    ASSERT_EQ(store.remember(QStringLiteral("alice"), QStringLiteral("secret99")), RememberStatus::Ok);
    const QByteArray enciphered = CredentialCipher().encipher("secret99");

    EXPECT_EQ(settingsValue(QStringLiteral("UserName")), QByteArray("alice", 6)); // name and its zero
    const QByteArray password = settingsValue(QStringLiteral("Password"));
    EXPECT_EQ(password.size(), 8 + 9);
    EXPECT_EQ(password, enciphered + '\0');

    const QByteArray record = readFile(paths.recordFile);
    ASSERT_EQ(record.size(), 64);
    EXPECT_EQ(record.left(6), QByteArray("alice", 6));
    EXPECT_EQ(record.mid(32, enciphered.size()), enciphered);
    EXPECT_EQ(record.at(32 + enciphered.size()), '\0');

    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    for (const QString &f : {paths.settingsFile, paths.recordFile}) {
        const QFileDevice::Permissions p =
            QFileInfo(f).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        EXPECT_EQ(p, ownerOnly) << qPrintable(f);
        const QFileDevice::Permissions d = QFileInfo(QFileInfo(f).absolutePath()).permissions();
        EXPECT_FALSE(d & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::ExeOther)) << qPrintable(f);
    }

    const LoadedCredentials loaded = store.load();
    EXPECT_TRUE(loaded.found);
    EXPECT_TRUE(loaded.show);
    EXPECT_EQ(loaded.userName, QStringLiteral("alice"));
    EXPECT_EQ(loaded.password, QStringLiteral("secret99"));
}

TEST_F(RememberedCredentialsTest, OldFileWithWideModeBecomesPrivateOnRewrite)
{
    writeFile(paths.recordFile, QByteArray(64, 'x'));
    QFile::setPermissions(paths.recordFile, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther);
    ASSERT_EQ(store.remember(QStringLiteral("bob"), QStringLiteral("hunter22")), RememberStatus::Ok);
    EXPECT_FALSE(QFileInfo(paths.recordFile).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

TEST_F(RememberedCredentialsTest, RegistryMissingWithValidRecordLoadsAndRestoresTheValues)
{
    ASSERT_EQ(store.remember(QStringLiteral("carol"), QStringLiteral("pa ss-word")), RememberStatus::Ok);
    ASSERT_TRUE(QFile::remove(paths.settingsFile));

    const LoadedCredentials loaded = store.load();
    EXPECT_TRUE(loaded.found);
    EXPECT_TRUE(loaded.show);
    EXPECT_EQ(loaded.userName, QStringLiteral("carol"));
    EXPECT_EQ(loaded.password, QStringLiteral("pa ss-word"));
    ASSERT_TRUE(QFileInfo::exists(paths.settingsFile));
    EXPECT_EQ(settingsValue(QStringLiteral("UserName")), QByteArray("carol", 6));
    EXPECT_EQ(settingsValue(QStringLiteral("Password")), CredentialCipher().encipher("pa ss-word") + '\0');
}

TEST_F(RememberedCredentialsTest, SettingsWinOverTheRecord)
{
    ASSERT_EQ(store.remember(QStringLiteral("dave"), QStringLiteral("first-pw")), RememberStatus::Ok);
    const QByteArray oldRecord = readFile(paths.recordFile);
    ASSERT_EQ(store.remember(QStringLiteral("erin"), QStringLiteral("second-pw")), RememberStatus::Ok);
    writeFile(paths.recordFile, oldRecord);
    EXPECT_EQ(store.load().userName, QStringLiteral("erin"));
}

TEST_F(RememberedCredentialsTest, RecordOfWrongSizeIsRefusedAndRemembersNothing)
{
    for (int size : {63, 65, 0}) {
        SCOPED_TRACE(size);
        writeFile(paths.recordFile, QByteArray(size, 'a'));
        const LoadedCredentials loaded = store.load();
        EXPECT_TRUE(loaded.found); // "Free Registration" stays disabled
        EXPECT_TRUE(loaded.badRecord);
        EXPECT_FALSE(loaded.show);
        EXPECT_TRUE(loaded.userName.isEmpty());
        EXPECT_TRUE(loaded.password.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(paths.settingsFile));
    }
}

TEST_F(RememberedCredentialsTest, MissingOrEmptyValuesStopLoading)
{
    QDir().mkpath(QFileInfo(paths.settingsFile).absolutePath());
    {
        QSettings s(paths.settingsFile, QSettings::IniFormat);
        s.setValue(QStringLiteral("Other"), 1);
    }
    LoadedCredentials loaded = store.load();
    EXPECT_TRUE(loaded.found);
    EXPECT_FALSE(loaded.show);
    EXPECT_TRUE(loaded.userName.isEmpty());
    {
        QSettings s(paths.settingsFile, QSettings::IniFormat);
        s.setValue(QStringLiteral("UserName"), QByteArray("frank", 6));
    }
    loaded = store.load();
    EXPECT_FALSE(loaded.show);
    EXPECT_EQ(loaded.userName, QStringLiteral("frank")); // read so far, kept
    EXPECT_TRUE(loaded.password.isEmpty());
}

TEST_F(RememberedCredentialsTest, EncipheredZeroBytesRoundTripThroughBothCopies)
{
    // Passwords whose enciphered bytes hold a zero: inside, as the very last
    // byte, and one whose last byte equals the record's padding.
    const QString inside =
        findPassword([](const QByteArray &e) { return e.mid(8).contains('\0') && !e.endsWith('\0'); });
    const QString last = findPassword([](const QByteArray &e) { return e.endsWith('\0'); });
    const QString pad =
        findPassword([](const QByteArray &e) { return e.endsWith(RememberedCredentials::kRecordPadding); });
    for (const QString &password : {inside, last, pad}) {
        ASSERT_FALSE(password.isEmpty());
        SCOPED_TRACE(qPrintable(password));
        ASSERT_EQ(store.remember(QStringLiteral("grace"), password), RememberStatus::Ok);
        EXPECT_EQ(store.load().password, password);
        ASSERT_TRUE(QFile::remove(paths.settingsFile));
        EXPECT_EQ(store.load().password, password); // from the record, which then restores the settings
        EXPECT_EQ(store.load().password, password);
    }
}

// Records written by another program: the password field padded with zeros,
// or with leftovers after its terminator. The value ends at the first zero.
TEST_F(RememberedCredentialsTest, ForeignPaddingAfterThePasswordIsNotPartOfIt)
{
    const QString password = findPassword([](const QByteArray &e) { return e.size() <= 24 && !e.contains('\0'); });
    ASSERT_FALSE(password.isEmpty());
    const QByteArray enciphered = CredentialCipher().encipher(password.toUtf8());
    QByteArray zeros(64, '\0');
    zeros.replace(0, 4, "kate");
    zeros.replace(32, enciphered.size(), enciphered);
    QByteArray leftovers = zeros;
    for (int i = 32 + int(enciphered.size()) + 1; i < 64; ++i)
        leftovers[i] = (i % 3 == 0) ? '\0' : 'x';
    for (const QByteArray &record : {zeros, leftovers}) {
        writeFile(paths.recordFile, record);
        QFile::remove(paths.settingsFile);
        const LoadedCredentials loaded = store.load();
        EXPECT_EQ(loaded.userName, QStringLiteral("kate"));
        EXPECT_EQ(loaded.password, password);
        // The restored settings hold the password without the padding.
        EXPECT_EQ(settingsValue(QStringLiteral("Password")), enciphered + '\0');
    }
}

TEST_F(RememberedCredentialsTest, LongestFittingPairRoundTrips)
{
    const QString name(31, QLatin1Char('n'));
    const QString password(23, QLatin1Char('p'));
    ASSERT_EQ(store.remember(name, password), RememberStatus::Ok);
    ASSERT_TRUE(QFile::remove(paths.settingsFile));
    const LoadedCredentials loaded = store.load();
    EXPECT_EQ(loaded.userName, name);
    EXPECT_EQ(loaded.password, password);
}

TEST_F(RememberedCredentialsTest, PairsThatDoNotFitTheRecordAreNeverWritten)
{
    ASSERT_EQ(store.remember(QStringLiteral("kept"), QStringLiteral("kept-pass")), RememberStatus::Ok);
    const QByteArray before = readFile(paths.recordFile);
    EXPECT_EQ(store.remember(QString(32, QLatin1Char('n')), QStringLiteral("password")), RememberStatus::TooLong);
    EXPECT_EQ(store.remember(QStringLiteral("henry"), QString(24, QLatin1Char('p'))), RememberStatus::TooLong);
    // Bytes count, not characters: 16 two-byte characters are 32 bytes.
    EXPECT_EQ(store.remember(QString(16, QChar(0x00e9)), QStringLiteral("password")), RememberStatus::TooLong);
    EXPECT_EQ(store.remember(QStringLiteral("nul") + QChar(0) + QStringLiteral("name"), QStringLiteral("password")),
              RememberStatus::TooLong);
    EXPECT_EQ(readFile(paths.recordFile), before);
    EXPECT_EQ(store.load().userName, QStringLiteral("kept"));
}

TEST_F(RememberedCredentialsTest, UnwritableKeyWritesNothingAndUnwritableRecordKeepsTheKey)
{
    // A regular file where a folder is needed: no folder can be made there, even by root.
    writeFile(dir.filePath(QStringLiteral("blocker")), "x");
    const CredentialPaths noKey{dir.filePath(QStringLiteral("blocker/Kestova/credentials.ini")), paths.recordFile};
    EXPECT_EQ(RememberedCredentials(noKey).remember(QStringLiteral("ivan"), QStringLiteral("password1")),
              RememberStatus::KeyFailed);
    EXPECT_FALSE(QFileInfo::exists(paths.recordFile));

    const CredentialPaths noFile{paths.settingsFile, dir.filePath(QStringLiteral("blocker/quillora/winuser.dat"))};
    EXPECT_EQ(RememberedCredentials(noFile).remember(QStringLiteral("ivan"), QStringLiteral("password1")),
              RememberStatus::FileFailed);
    EXPECT_EQ(store.load().userName, QStringLiteral("ivan"));
}

TEST_F(RememberedCredentialsTest, RecordRestoreFailureKeepsValuesButDoesNotShowThem)
{
    ASSERT_EQ(store.remember(QStringLiteral("judy"), QStringLiteral("password2")), RememberStatus::Ok);
    writeFile(dir.filePath(QStringLiteral("blocker")), "x");
    const CredentialPaths paths2{dir.filePath(QStringLiteral("blocker/credentials.ini")), paths.recordFile};
    const LoadedCredentials loaded = RememberedCredentials(paths2).load();
    EXPECT_TRUE(loaded.found);
    EXPECT_FALSE(loaded.show);
    EXPECT_EQ(loaded.userName, QStringLiteral("judy"));
    EXPECT_EQ(loaded.password, QStringLiteral("password2"));
}
