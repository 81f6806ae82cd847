// The remembered member: user name and enciphered password, stored twice.
//
//  - A settings file standing for the machine-wide key "SOFTWARE\Kestova\":
//    binary values `UserName` (the name's bytes and one zero byte) and
//    `Password` (the enciphered password and one zero byte).
//  - The 64-byte record `winuser.dat`: the user name, zero-terminated, in
//    bytes 0-31 and the enciphered password, zero-terminated, in bytes 32-63.
//
// Text is stored as UTF-8. Both files are private to their owner (0600, in
// 0700 folders). The settings file wins; the record is read only while the
// settings file is missing, and then copied back into it.
//
// An enciphered password may itself contain zero bytes. The settings value is
// therefore read by its length, and the record pads its password field after
// the terminating zero with a non-zero byte, so that the terminator is the
// field's last zero byte. User names over 31 bytes (or containing a zero
// character) and passwords over 23 bytes do not fit the record and are never
// remembered.
#pragma once

#include "credential_cipher.h"

#include <QByteArray>
#include <QString>

namespace quillora::session {

struct CredentialPaths {
    QString settingsFile; // the key's values
    QString recordFile;   // winuser.dat

    // <config>/Kestova/credentials.ini and <config>/quillora/winuser.dat, where
    // <config> is the user's configuration directory (XDG_CONFIG_HOME).
    static CredentialPaths standard();
};

enum class RememberStatus {
    Ok,
    KeyFailed,  // the settings file cannot be created or written; nothing written
    FileFailed, // the record cannot be written; the settings values are written
    TooLong,    // the pair does not fit the record; nothing written
};

struct LoadedCredentials {
    bool found = false;     // settings file or record present: "Free Registration" is disabled
    QString userName;       // typed and remembered user name, as far as it was read
    QString password;       // remembered password (plain), as far as it was read
    bool show = false;      // show the user name and put the focus on the password box
    bool badRecord = false; // winuser.dat is not 64 bytes: "Failed to open config file !"
};

class RememberedCredentials {
  public:
    static constexpr int kRecordSize = 64;
    static constexpr int kFieldSize = 32;
    static constexpr int kMaxUserNameBytes = kFieldSize - 1;     // 31
    static constexpr int kMaxPasswordBytes = kFieldSize - 8 - 1; // 23
    static constexpr int kMaxValueBytes = 100;                   // what the loader reads of a value
    static constexpr char kRecordPadding = '\xA5';

    explicit RememberedCredentials(CredentialPaths paths = CredentialPaths::standard(),
                                   CipherKeyMaterial material = CipherKeyMaterial::compiled());

    // Whether the pair fits the record (and can therefore be remembered).
    static bool fits(const QString &userName, const QString &password);

    RememberStatus remember(const QString &userName, const QString &password) const;
    LoadedCredentials load() const;
    // Removes both files, so that the next sign-in asks the service. True
    // when neither is left.
    bool forget() const;

    // The record for a user name and an enciphered password (both must fit).
    static QByteArray makeRecord(const QByteArray &userName, const QByteArray &enciphered);
    // The enciphered password of a record's password field.
    static QByteArray recordPassword(const QByteArray &record);

    const CredentialPaths &paths() const { return m_paths; }

  private:
    bool writeSettings(const QByteArray &userName, const QByteArray &enciphered) const;

    CredentialPaths m_paths;
    CipherKeyMaterial m_material;
};

} // namespace quillora::session
