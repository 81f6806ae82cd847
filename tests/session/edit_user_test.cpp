// "Edit Profile": the form rules, the custom head image check, and the whole
// dialog against the real varnel-server and a real FTP server on loopback.
#include "custom_face_bitmap.h"
#include "edit_user.h"
#include "ftp_server_process.h"
#include "head_images.h"
#include "main_frame.h"
#include "result_document.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include "../presence/frame_test_support.h"
#include "../presence/soap_answers.h"
#include "credential_cipher.h"
#include "platform/file_prompt.h"
#include "platform/message_box.h"
#include "platform/system_open.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <vector>

using namespace quillora::session;
using quillora::platform::RecordingFilePrompts;
using quillora::platform::RecordingMessageBoxes;
using quillora::service::CVarnelServices;
using quillora::service::Op;
using quillora::service::SiteAddress;
using quillora::testpeers::FtpServerProcess;
using quillora::testpeers::VarnelServerOptions;
using quillora::testpeers::VarnelServerProcess;

namespace {

// A bitmap file of the given size and depth; `pixelBytes` < 0 writes the
// whole pixel array, otherwise only that many bytes of it.
QByteArray bitmapFile(int width, int height, int bitCount, int pixelBytes = -1, int headerSize = 40)
{
    const auto le = [](QByteArray &out, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
    };
    const int colours = bitCount <= 8 ? (1 << bitCount) : 0;
    const int entry = headerSize == 12 ? 3 : 4;
    const int stride = (width * bitCount + 31) / 32 * 4;
    const int rows = height < 0 ? -height : height;
    const int offset = 14 + headerSize + colours * entry;
    QByteArray pixels(stride * rows, '\x5a');
    if (pixelBytes >= 0)
        pixels.truncate(pixelBytes);
    QByteArray out("BM");
    le(out, quint32(offset + pixels.size()), 4);
    le(out, 0, 4);
    le(out, quint32(offset), 4);
    le(out, quint32(headerSize), 4);
    if (headerSize == 12) {
        le(out, quint32(width), 2);
        le(out, quint32(height), 2);
        le(out, 1, 2);
        le(out, quint32(bitCount), 2);
    } else {
        le(out, quint32(width), 4);
        le(out, quint32(height), 4);
        le(out, 1, 2);
        le(out, quint32(bitCount), 2);
        le(out, 0, 4); // uncompressed
        le(out, quint32(stride * rows), 4);
        le(out, 2835, 4);
        le(out, 2835, 4);
        le(out, quint32(colours), 4);
        le(out, 0, 4);
        out.append(QByteArray(headerSize - 40, '\0'));
    }
    for (int i = 0; i < colours; ++i)
        out.append(QByteArray(entry, char(i * 37)));
    return out + pixels;
}

TEST(CustomFaceCheck, AcceptsEvery32x32BitmapDepth)
{
    for (int depth : {1, 4, 8, 16, 24, 32})
        EXPECT_EQ(checkCustomFace(bitmapFile(32, 32, depth)), CustomFaceCheck::Ok) << depth << " bits";
    EXPECT_EQ(checkCustomFace(bitmapFile(32, -32, 24)), CustomFaceCheck::Ok) << "top-down rows";
    EXPECT_EQ(checkCustomFace(bitmapFile(32, 32, 8, -1, 12)), CustomFaceCheck::Ok) << "core header";
    EXPECT_EQ(checkCustomFace(bitmapFile(32, 32, 32, -1, 124)), CustomFaceCheck::Ok) << "version 5 header";
}

TEST(CustomFaceCheck, OtherSizesAreRefusedAsSize)
{
    EXPECT_EQ(checkCustomFace(bitmapFile(32, 31, 24)), CustomFaceCheck::WrongSize);
    EXPECT_EQ(checkCustomFace(bitmapFile(31, 32, 24)), CustomFaceCheck::WrongSize);
    EXPECT_EQ(checkCustomFace(bitmapFile(64, 64, 8)), CustomFaceCheck::WrongSize);
}

TEST(CustomFaceCheck, DamagedOrForeignFilesAreNoBitmap)
{
    const QByteArray good = bitmapFile(32, 32, 24);
    EXPECT_EQ(checkCustomFace(bitmapFile(32, 32, 24, 96 * 31)), CustomFaceCheck::NotBitmap) << "truncated pixels";
    EXPECT_EQ(checkCustomFace(good.left(30)), CustomFaceCheck::NotBitmap) << "truncated header";
    EXPECT_EQ(checkCustomFace(QByteArray()), CustomFaceCheck::NotBitmap);
    EXPECT_EQ(checkCustomFace(QByteArray("\x89PNG\r\n\x1a\n") + good.mid(8)), CustomFaceCheck::NotBitmap);
    QByteArray badDepth = good;
    badDepth[28] = 7;
    EXPECT_EQ(checkCustomFace(badDepth), CustomFaceCheck::NotBitmap) << "7 bits per pixel";
    QByteArray badOffset = good;
    badOffset[10] = char(0xff);
    badOffset[11] = char(0xff);
    EXPECT_EQ(checkCustomFace(badOffset), CustomFaceCheck::NotBitmap) << "pixels beyond the end";
    QByteArray zeroWidth = good;
    zeroWidth[18] = 0;
    EXPECT_EQ(checkCustomFace(zeroWidth), CustomFaceCheck::NotBitmap);
    // A real 32x32 bitmap with a megabyte of trailing data is refused by size.
    EXPECT_EQ(checkCustomFace(good + QByteArray(kMaxCustomFaceBytes, '\0')), CustomFaceCheck::NotBitmap);
}

TEST(ProfileRules, FirstBrokenRuleInOrder)
{
    struct Row {
        const char *name;
        QString password, confirmation, nickname, email;
        ProfileRule expected;
    };
    const QString ok = QStringLiteral("secret1");
    const QString mail = QStringLiteral("a@b.org");
    const QString nick = QStringLiteral("Nick");
    const Row rows[] = {
        {"everything empty", {}, {}, {}, {}, ProfileRule::EmptyPassword},
        {"5 characters", QStringLiteral("12345"), QStringLiteral("12345"), nick, mail, ProfileRule::PasswordLength},
        {"17 characters", QString(17, u'x'), QString(17, u'x'), nick, mail, ProfileRule::PasswordLength},
        {"16 characters", QString(16, u'x'), QString(16, u'x'), nick, mail, ProfileRule::Ok},
        {"confirmation differs in case", ok, QStringLiteral("SECRET1"), nick, mail, ProfileRule::PasswordMismatch},
        {"no nickname before bad e-mail", ok, ok, {}, QStringLiteral("x"), ProfileRule::EmptyNickname},
        {"no e-mail", ok, ok, nick, {}, ProfileRule::EmptyEmail},
        {"bad e-mail", ok, ok, nick, QStringLiteral("a@b"), ProfileRule::InvalidEmail},
        {"all fine", ok, ok, nick, mail, ProfileRule::Ok},
    };
    for (const Row &r : rows)
        EXPECT_EQ(checkProfile(r.password, r.confirmation, r.nickname, r.email), r.expected) << r.name;
}

TEST(ProfileRules, EmailPattern)
{
    EXPECT_TRUE(isEmailAddress(QStringLiteral("a@b.c")));
    EXPECT_TRUE(isEmailAddress(QStringLiteral("first.last@mail.example.org")));
    EXPECT_TRUE(isEmailAddress(QStringLiteral("a@@b.c"))) << "the pattern is loose about the local part";
    EXPECT_FALSE(isEmailAddress(QStringLiteral("@b.com")));
    EXPECT_FALSE(isEmailAddress(QStringLiteral("a@.com"))) << "nothing between @ and the dot";
    EXPECT_FALSE(isEmailAddress(QStringLiteral("a@b.COM"))) << "case-sensitive";
    EXPECT_FALSE(isEmailAddress(QStringLiteral("a@b.com1")));
    EXPECT_FALSE(isEmailAddress(QStringLiteral("a@b.")));
    EXPECT_FALSE(isEmailAddress(QStringLiteral("ab.com")));
}

class RecordingEditUserView : public EditUserView {
  public:
    QString userName, password, confirmation, nickname, email;
    int picture = -1;
    bool customEnabled = false;
    bool submitEnabled = true;
    QString customPicture;
    QStringList events; // focus changes
    int ended = -1;

    void setUserNameText(const QString &t) override { userName = t; }
    QString newPasswordText() const override { return password; }
    void setNewPasswordText(const QString &t) override { password = t; }
    QString confirmationText() const override { return confirmation; }
    void setConfirmationText(const QString &t) override { confirmation = t; }
    QString nicknameText() const override { return nickname; }
    void setNicknameText(const QString &t) override { nickname = t; }
    QString emailText() const override { return email; }
    void setEmailText(const QString &t) override { email = t; }
    int pictureIndex() const override { return picture; }
    void setPictureIndex(int i) override { picture = i; }
    void setCustomImageEnabled(bool e) override { customEnabled = e; }
    void setSubmitEnabled(bool e) override { submitEnabled = e; }
    void showCustomPicture(const QString &path) override { customPicture = path; }
    void focusField(EditUserField f, bool selectAll) override
    {
        static const char *names[] = {"password", "confirmation", "nickname", "email"};
        events << QString::fromLatin1(names[int(f)]) + (selectAll ? QStringLiteral(" select") : QString());
    }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return &owner; }
    QObject owner;
};

struct Member {
    int userID = 0;
    QString userName;
    QString password;
    QString signInDocument;
};

// Every member of this suite starts with credit 120: grade 6, a star expert.
class ProfileServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        ftp = std::make_unique<FtpServerProcess>(QStringLiteral("faceupl"), QStringLiteral("Up#load8"));
        if (ftp->started())
            server = std::make_unique<VarnelServerProcess>(VarnelServerOptions{
                .demo = true, .extraArgs = {"--files", ftp->customFaceDir(), "--start-credit", "120"}});
    }
    static void TearDownTestSuite()
    {
        server.reset();
        ftp.reset();
    }
    void SetUp() override
    {
        ASSERT_TRUE(ftp->started()) << ftp->error();
        ASSERT_TRUE(server && server->started()) << (server ? server->error() : "");
        ASSERT_TRUE(config.isValid() && cache.isValid());
    }

    static SiteAddress site() { return {QStringLiteral("127.0.0.1"), quint16(server->port())}; }
    static FtpConnection ftpConnection()
    {
        FtpConnection c;
        c.host = QStringLiteral("127.0.0.1");
        c.port = quint16(ftp->port());
        c.user = ftp->user();
        c.password = ftp->password();
        return c;
    }

    static Member signIn(const QString &name, const QString &password)
    {
        Member m{0, name, password, {}};
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetUserByUserName);
        EXPECT_TRUE(quillora::service::succeeded(proxy.GetUserByUserName(name, password, &m.signInDocument)));
        const auto read = quillora::service::readRecords(m.signInDocument, quillora::service::kUserTag, 1, 1);
        if (!read.records.empty())
            m.userID = read.records.front().value(0).toInt();
        return m;
    }

    static Member newMember(const QString &name)
    {
        bool created = false;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::CreateNewUser);
        EXPECT_TRUE(quillora::service::succeeded(
            proxy.CreateNewUser(name, QStringLiteral("first-pw"), name + QStringLiteral(" N"), 1,
                                name + QStringLiteral("@example.org"), QStringLiteral("3"), QString(), QString(),
                                QString(), QString(), QStringLiteral("guid-") + name, &created)));
        EXPECT_TRUE(created) << name.toStdString();
        return signIn(name, QStringLiteral("first-pw"));
    }

    // The first demo star expert the server announced.
    static Member starExpert()
    {
        static const QRegularExpression account(QStringLiteral("^demo account (\\S+) / (\\S+) \\(star expert"));
        for (const std::string &line : server->stdoutLines()) {
            const auto m = account.match(QString::fromStdString(line));
            if (m.hasMatch())
                return signIn(m.captured(1), m.captured(2));
        }
        ADD_FAILURE() << "no star expert in the demo";
        return {};
    }

    static int requestsOf(const char *operation)
    {
        std::ifstream log(server->logPath());
        int n = 0;
        for (std::string line; std::getline(log, line);)
            n += line.find(std::string(" ") + operation + " ") != std::string::npos;
        return n;
    }

    EditUserSetup setup() const
    {
        return {site(), ftpConnection(), cache.filePath(QStringLiteral("CustomFace")), credentials};
    }

    QTemporaryDir config, cache, pictures;
    RememberedCredentials credentials{{config.filePath(QStringLiteral("Kestova/credentials.ini")),
                                       config.filePath(QStringLiteral("quillora/winuser.dat"))}};
    RecordingEditUserView view;
    RecordingMessageBoxes messages;
    RecordingFilePrompts files;

    QString writePicture(const QString &name, const QByteArray &data)
    {
        const QString path = pictures.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
        return path;
    }

    static std::unique_ptr<FtpServerProcess> ftp;
    static std::unique_ptr<VarnelServerProcess> server;
};
std::unique_ptr<FtpServerProcess> ProfileServer::ftp;
std::unique_ptr<VarnelServerProcess> ProfileServer::server;

TEST_F(ProfileServer, OpensWithTheProfileAndOffersTheCustomImageToStarExperts)
{
    const Member m = newMember(QStringLiteral("opener"));
    CEditUser dlg(setup(), m.userID, view, messages, files);
    dlg.onInitDialog();
    EXPECT_TRUE(messages.shown.empty()) << messages.lastText().toStdString();
    EXPECT_EQ(view.userName, QStringLiteral("opener"));
    EXPECT_EQ(view.password, QStringLiteral("first-pw"));
    EXPECT_EQ(view.confirmation, QStringLiteral("first-pw"));
    EXPECT_EQ(view.nickname, QStringLiteral("opener N"));
    EXPECT_EQ(view.email, QStringLiteral("opener@example.org"));
    EXPECT_EQ(view.picture, 2) << "head image 3 is the list's third picture";
    EXPECT_EQ(dlg.grade(), 6);
    EXPECT_TRUE(view.customEnabled);
    EXPECT_TRUE(view.customPicture.isEmpty()) << "nothing cached yet";
    EXPECT_EQ(view.events, QStringList{QStringLiteral("password")});

    // A cached picture replaces the list when the dialog opens again.
    ASSERT_TRUE(QDir().mkpath(setup().customFaceDirectory));
    QFile cached(dlg.cachedPicturePath());
    ASSERT_TRUE(cached.open(QIODevice::WriteOnly));
    cached.write(bitmapFile(32, 32, 24));
    cached.close();
    RecordingEditUserView again;
    CEditUser reopened(setup(), m.userID, again, messages, files);
    reopened.onInitDialog();
    EXPECT_EQ(again.customPicture, dlg.cachedPicturePath());
}

TEST_F(ProfileServer, EveryRuleStopsWithItsMessageAndFocus)
{
    const Member m = newMember(QStringLiteral("ruler"));
    newMember(QStringLiteral("other"));
    CEditUser dlg(setup(), m.userID, view, messages, files);
    dlg.onInitDialog();

    struct Step {
        const char *name;
        QString password, confirmation, nickname, email;
        const char *message;
        const char *focus;
    };
    const QString pw = QStringLiteral("first-pw");
    const Step steps[] = {
        {"blank password", QStringLiteral("   "), pw, QStringLiteral("n"), QStringLiteral("a@b.org"),
         "You must enter a password", "password"},
        {"short password", QStringLiteral("12345"), QStringLiteral("12345"), QStringLiteral("n"),
         QStringLiteral("a@b.org"), "Password must be between 6 and 16 characters", "password"},
        {"stripped password against typed confirmation", QStringLiteral(" first-pw "), QStringLiteral(" first-pw "),
         QStringLiteral("n"), QStringLiteral("a@b.org"), "The password and confirmation password do not match",
         "confirmation"},
        {"blank nickname", pw, pw, QStringLiteral(" "), QStringLiteral("a@b.org"), "You must enter a nickname",
         "nickname"},
        {"no e-mail", pw, pw, QStringLiteral("n"), QStringLiteral("  "), "Please enter your Email Address", "email"},
        {"bad e-mail", pw, pw, QStringLiteral("n"), QStringLiteral("a@b.Org"),
         "You have entered an invalid email address", "email select"},
        {"another member's e-mail", pw, pw, QStringLiteral("n"), QStringLiteral(" other@example.org "),
         "The email already exits in our database. ", "email select"},
    };
    for (const Step &s : steps) {
        view.password = s.password;
        view.confirmation = s.confirmation;
        view.nickname = s.nickname;
        view.email = s.email;
        view.events.clear();
        dlg.onSubmit();
        ASSERT_FALSE(messages.shown.empty()) << s.name;
        EXPECT_EQ(messages.shown.back().text, QString::fromUtf8(s.message)) << s.name;
        EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Warning")) << s.name;
        EXPECT_EQ(view.events, QStringList{QString::fromUtf8(s.focus)}) << s.name;
        EXPECT_TRUE(view.submitEnabled) << s.name;
        EXPECT_EQ(view.ended, -1) << s.name;
    }
    EXPECT_EQ(view.email, QStringLiteral("other@example.org")) << "the e-mail was stripped";
    EXPECT_FALSE(QFile::exists(credentials.paths().settingsFile)) << "nothing remembered while the form was refused";
}

TEST_F(ProfileServer, UnchangedValuesMakeNoEmailCheckAndRememberNothing)
{
    const Member m = newMember(QStringLiteral("keeper"));
    CEditUser dlg(setup(), m.userID, view, messages, files);
    dlg.onInitDialog();
    const int checksBefore = requestsOf("IsUserExistsByEmail");
    view.nickname = QStringLiteral("Keeper Two");
    view.picture = 9;
    dlg.onSubmit();
    EXPECT_EQ(view.ended, 1) << messages.lastText().toStdString();
    EXPECT_EQ(requestsOf("IsUserExistsByEmail"), checksBefore);
    EXPECT_FALSE(QFile::exists(credentials.paths().settingsFile));
    EXPECT_FALSE(QFile::exists(credentials.paths().recordFile));
    EXPECT_EQ(dlg.change().nickname, QStringLiteral("Keeper Two"));
    EXPECT_EQ(dlg.change().headImage, 10);

    // The service holds the new values.
    RecordingEditUserView reread;
    CEditUser again(setup(), m.userID, reread, messages, files);
    again.onInitDialog();
    EXPECT_EQ(reread.nickname, QStringLiteral("Keeper Two"));
    EXPECT_EQ(reread.picture, 9);
}

TEST_F(ProfileServer, ChangedPasswordIsRememberedAndTheNextStatusRefreshUsesIt)
{
    const Member m = newMember(QStringLiteral("changer"));
    quillora::platform::RecordingSystemOpener opener;
    quillora::presence::test::RecordingFrameView frameView;
    RecordingMessageBoxes frameMessages;
    quillora::presence::CMainFrame frame(site(), frameMessages, opener, frameView);
    ASSERT_TRUE(frame.create(m.signInDocument));
    EXPECT_EQ(frame.member().email, QStringLiteral("changer@example.org"));

    CEditUser dlg(setup(), m.userID, view, messages, files);
    dlg.onInitDialog();
    const int checksBefore = requestsOf("IsUserExistsByEmail");
    view.password = view.confirmation = QStringLiteral("second-pw");
    view.email = QStringLiteral("changer@mail.example.net");
    view.nickname = QStringLiteral("Changer");
    dlg.onSubmit();
    ASSERT_EQ(view.ended, 1) << messages.lastText().toStdString();
    EXPECT_EQ(requestsOf("IsUserExistsByEmail"), checksBefore + 1);
    const LoadedCredentials remembered = credentials.load();
    EXPECT_EQ(remembered.userName, QStringLiteral("changer"));
    EXPECT_EQ(remembered.password, QStringLiteral("second-pw"));

    // With the old password the frame's refresh fails; the change fixes it.
    EXPECT_FALSE(frame.statusRefresh());
    const ProfileChange &c = dlg.change();
    frame.applyProfileChange(c.password, c.nickname, c.email, c.headImage);
    frameMessages.shown.clear();
    EXPECT_TRUE(frame.statusRefresh()) << frameMessages.lastText().toStdString();
    EXPECT_EQ(frame.member().password, QStringLiteral("second-pw"));
    EXPECT_EQ(frame.member().email, QStringLiteral("changer@mail.example.net"));
    EXPECT_EQ(frameView.texts[quillora::presence::StatusPane::Nickname],
              quillora::presence::nicknameStatusText(QStringLiteral("Changer")));
}

// A new password the old remembered pair cannot be replaced by (it does not
// fit the 64-byte record, or the settings file cannot be written): the old
// pair goes, so that the next sign-in asks the service instead of checking
// against a password the service no longer takes.
TEST_F(ProfileServer, NewPasswordThatCannotBeRememberedForgetsTheOldPair)
{
    QFile blocker(config.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    struct Row {
        const char *name;
        QString newPassword;
        QString settingsFile; // under a regular file: it cannot be written
    };
    const Row rows[] = {
        // 8 characters for the form, 24 bytes in UTF-8 for the record's 23.
        {"forget01", QString::fromUtf16(u"\u5bc6\u7801\u5bc6\u7801\u5bc6\u7801\u5bc6\u7801"),
         config.filePath(QStringLiteral("Kestova/credentials.ini"))},
        {"forget02", QStringLiteral("second-pw"), config.filePath(QStringLiteral("blocker/credentials.ini"))},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        const Member m = newMember(QString::fromLatin1(r.name));
        const RememberedCredentials store(
            {r.settingsFile, config.filePath(QStringLiteral("quillora/%1.dat").arg(QString::fromLatin1(r.name)))});
        // The pair of the last sign-in, in the record that is read when the
        // settings file is missing.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(store.paths().recordFile).path()));
        QFile record(store.paths().recordFile);
        ASSERT_TRUE(record.open(QIODevice::WriteOnly));
        record.write(RememberedCredentials::makeRecord(
            m.userName.toUtf8(),
            CredentialCipher(CipherKeyMaterial::compiled()).encipher(QByteArrayLiteral("first-pw"))));
        record.close();
        if (QFileInfo(store.paths().settingsFile).dir().exists())
            store.remember(m.userName, QStringLiteral("first-pw"));
        ASSERT_EQ(store.load().password, QStringLiteral("first-pw"));

        EditUserSetup s = setup();
        s.credentials = store;
        RecordingEditUserView form;
        messages.shown.clear();
        CEditUser dlg(s, m.userID, form, messages, files);
        dlg.onInitDialog();
        form.password = form.confirmation = r.newPassword;
        dlg.onSubmit();
        EXPECT_EQ(form.ended, 1);
        EXPECT_EQ(messages.lastText(), CEditUser::notRememberedMessage());
        EXPECT_FALSE(store.load().found);
        EXPECT_FALSE(signIn(m.userName, r.newPassword).signInDocument.isEmpty());
    }
}

TEST_F(ProfileServer, UploadsA32x32BitmapCachesItAndShowsItInTheExpertsList)
{
    const Member expert = starExpert();
    ASSERT_GT(expert.userID, 0);
    CEditUser dlg(setup(), expert.userID, view, messages, files);
    dlg.onInitDialog();
    ASSERT_TRUE(view.customEnabled);

    const QByteArray picture = bitmapFile(32, 32, 8);
    files.setNextAnswer(writePicture(QStringLiteral("face.bmp"), picture));
    dlg.onCustomImage();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_EQ(files.asked.front().filter, QStringLiteral("bmp file(*.bmp)"));
    EXPECT_EQ(messages.lastText(), QStringLiteral("Head image has been successfully updated!"));
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));

    const QString name = QString::number(expert.userID) + QStringLiteral(".bmp");
    QFile uploaded(QDir(QString::fromStdString(ftp->customFaceDir())).filePath(name));
    ASSERT_TRUE(uploaded.open(QIODevice::ReadOnly));
    EXPECT_EQ(uploaded.readAll(), picture);
    QFile cached(dlg.cachedPicturePath());
    ASSERT_TRUE(cached.open(QIODevice::ReadOnly));
    EXPECT_EQ(cached.readAll(), picture);
    EXPECT_EQ(view.customPicture, dlg.cachedPicturePath());
    EXPECT_TRUE(dlg.customImageUploaded());

    // Authenticate marked the picture: the experts list flags it, and another
    // member's client downloads exactly these bytes.
    bool flagged = false;
    for (int zone = 1; zone <= 4 && !flagged; ++zone) {
        QString list;
        CVarnelServices proxy(site());
        proxy.useServiceAccount(Op::GetExpertListOnline);
        ASSERT_TRUE(quillora::service::succeeded(proxy.GetExpertListOnline(zone, &list)));
        const auto rows =
            quillora::service::readRecords(list, quillora::service::kUserTag, quillora::service::kZoneExpertsMax,
                                           quillora::service::kZoneExpertFields);
        for (const auto &row : rows.records)
            flagged |= row.value(0).toInt() == expert.userID && row.value(8) == QStringLiteral("1");
    }
    EXPECT_TRUE(flagged);
    QTemporaryDir elsewhere;
    CustomFaceCache otherClient(site(), elsewhere.path());
    const CustomFaceCache::Resolved shown = otherClient.resolve(QString::number(expert.userID), 1, 1);
    QFile downloaded(shown.path);
    ASSERT_TRUE(downloaded.open(QIODevice::ReadOnly));
    EXPECT_EQ(downloaded.readAll(), picture);
}

TEST_F(ProfileServer, RefusedPicturesAndFailedUploadsLeaveNothingBehind)
{
    const Member expert = starExpert();
    const QString name = QString::number(expert.userID) + QStringLiteral(".bmp");
    const QString cacheDir = cache.filePath(QStringLiteral("refusals"));
    EditUserSetup s = setup();
    s.customFaceDirectory = cacheDir;
    const QString sitePath = QDir(QString::fromStdString(ftp->customFaceDir())).filePath(name);
    QFile::remove(sitePath);

    CEditUser dlg(s, expert.userID, view, messages, files);
    dlg.onInitDialog();
    files.setNextAnswer(writePicture(QStringLiteral("short.bmp"), bitmapFile(32, 31, 24)));
    dlg.onCustomImage();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You entered an invalid image, 32x32 pixels only!"));
    files.setNextAnswer(writePicture(QStringLiteral("fake.bmp"), QByteArray("GIF89a not a bitmap")));
    dlg.onCustomImage();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You entered an invalid image, .bmp file only!"));
    files.setNextAnswer(writePicture(QStringLiteral("huge.bmp"), bitmapFile(32, 32, 24) + QByteArray(1 << 20, 'x')));
    dlg.onCustomImage();
    EXPECT_EQ(messages.lastText(), QStringLiteral("You entered an invalid image, .bmp file only!"));
    const size_t shown = messages.shown.size();
    dlg.onCustomImage(); // cancelled prompt
    EXPECT_EQ(messages.shown.size(), shown);
    EXPECT_FALSE(QFile::exists(sitePath));

    // An FTP server that refuses the account.
    s.ftp.password = QStringLiteral("wrong");
    CEditUser refused(s, expert.userID, view, messages, files);
    refused.onInitDialog();
    files.setNextAnswer(writePicture(QStringLiteral("good.bmp"), bitmapFile(32, 32, 24)));
    refused.onCustomImage();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Failed to update your head image!please try again later"));
    EXPECT_FALSE(QFile::exists(sitePath));
    EXPECT_FALSE(QFile::exists(QDir(cacheDir).filePath(name)));
    EXPECT_FALSE(refused.customImageUploaded());
}

// Against a scripted site: the messages of a profile that cannot be loaded
// or checked, and a stored head image number outside 1..24, which selects no
// picture and goes back unchanged with a "Submit" that picks none.
TEST(ProfileOverScriptedSite, FailuresAndAStoredNumberWithoutPicture)
{
    using quillora::presence::test::recordsDocument;
    using quillora::presence::test::soapAnswer;
    using quillora::testpeers::PeerScript;
    const auto profile = [](const char *face) {
        QStringList f(quillora::service::kProfileUserFields);
        f[0] = QStringLiteral("31");
        f[kProfileUserNameField] = QStringLiteral("scripted");
        f[kProfilePasswordField] = QStringLiteral("first-pw");
        f[kProfileNicknameField] = QStringLiteral("Scripted");
        f[kProfileEmailField] = QStringLiteral("s@example.org");
        f[kProfileFaceField] = QString::fromLatin1(face);
        f[kProfileGradeField] = QStringLiteral("3");
        return PeerScript().readRequest().send(
            soapAnswer("GetUserByUserID", recordsDocument(QStringLiteral("User"), {f})));
    };
    const PeerScript edited =
        PeerScript().readRequest().send(soapAnswer("EditUserInformation", QStringLiteral("true")));
    struct Row {
        const char *name;
        std::vector<PeerScript> calls; // one connection per call
        bool newEmail;                 // "Submit" with another e-mail
        const char *message;           // the last message, "" for none
        int picture;                   // the picture chosen when the dialog opened
        int ended;
        const char *sentFace; // in the last request, "" for none
    };
    const Row rows[] = {
        {"profile call fails", {}, false, "Failed to get user data from server, please try again later!", -1, -1, ""},
        {"profile unreadable",
         {PeerScript().readRequest().send(soapAnswer("GetUserByUserID", QStringLiteral("<User><PKID>31")))},
         false,
         "Failed to load the XML stream into the DOM.",
         -1,
         -1,
         ""},
        {"e-mail check fails",
         {profile("3"), PeerScript().readRequest()},
         true,
         "Failed to connect to server, please try again later.",
         2,
         -1,
         ""},
        {"head image 0", {profile("0"), edited}, false, "", -1, 1, "<face>0</face>"},
        {"head image 25", {profile("25"), edited}, false, "", -1, 1, "<face>25</face>"},
        {"head image 24", {profile("24"), edited}, false, "", 23, 1, "<face>24</face>"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        quillora::testpeers::ScriptedHttpPeer peer(r.calls);
        QTemporaryDir dir;
        RecordingEditUserView view;
        RecordingMessageBoxes messages;
        RecordingFilePrompts files;
        CEditUser dlg(
            {{QStringLiteral("127.0.0.1"), quint16(peer.port())},
             compiledFtpConnection(),
             dir.filePath(QStringLiteral("faces")),
             RememberedCredentials({dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))})},
            31, view, messages, files);
        dlg.onInitDialog();
        EXPECT_EQ(view.picture, r.picture);
        if (r.calls.size() > 1) {
            if (r.newEmail)
                view.email = QStringLiteral("new@example.org");
            dlg.onSubmit();
        }
        EXPECT_EQ(messages.shown.empty() ? QString() : messages.lastText(), QString::fromLatin1(r.message));
        if (!messages.shown.empty()) {
            EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));
        }
        EXPECT_EQ(view.ended, r.ended);
        const std::vector<QByteArray> sent = peer.allRequests();
        if (*r.sentFace) {
            EXPECT_TRUE(!sent.empty() && sent.back().contains(r.sentFace))
                << (sent.empty() ? "" : sent.back().toStdString());
        }
    }
}

TEST(ProfileGrade, MembersOfGradeFiveCannotUploadAndFailedUpdatesRememberNothing)
{
    VarnelServerProcess server;
    ASSERT_TRUE(server.started()) << server.error();
    const SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    int userID = 0;
    {
        bool created = false;
        CVarnelServices proxy(site);
        proxy.useServiceAccount(Op::CreateNewUser);
        ASSERT_TRUE(quillora::service::succeeded(proxy.CreateNewUser(
            QStringLiteral("plain"), QStringLiteral("first-pw"), QStringLiteral("Plain"), 0,
            QStringLiteral("plain@example.org"), QStringLiteral("24"), {}, {}, {}, {}, QStringLiteral("g"), &created)));
        QString doc;
        proxy.useServiceAccount(Op::GetUserByUserName);
        ASSERT_TRUE(quillora::service::succeeded(
            proxy.GetUserByUserName(QStringLiteral("plain"), QStringLiteral("first-pw"), &doc)));
        userID = quillora::service::readRecords(doc, quillora::service::kUserTag, 1, 1).records.at(0).value(0).toInt();
    }
    QTemporaryDir dir;
    RememberedCredentials credentials{
        {dir.filePath(QStringLiteral("k/credentials.ini")), dir.filePath(QStringLiteral("q/winuser.dat"))}};
    RecordingEditUserView view;
    RecordingMessageBoxes messages;
    RecordingFilePrompts files;
    CEditUser dlg({site, compiledFtpConnection(), dir.filePath(QStringLiteral("faces")), credentials}, userID, view,
                  messages, files);
    dlg.onInitDialog();
    EXPECT_EQ(dlg.grade(), 5);
    EXPECT_FALSE(view.customEnabled);
    EXPECT_EQ(view.picture, 23);
    files.setNextAnswer(dir.filePath(QStringLiteral("any.bmp")));
    dlg.onCustomImage();
    EXPECT_TRUE(files.asked.empty());

    // The service goes away before "Submit": the password stays as it was,
    // here and on the service.
    server.kill();
    view.password = view.confirmation = QStringLiteral("second-pw");
    dlg.onSubmit();
    EXPECT_EQ(messages.lastText(), QStringLiteral("Network Failure (unable to connect)"));
    EXPECT_EQ(messages.shown.back().caption, QStringLiteral("Quillora 2007"));
    EXPECT_TRUE(view.submitEnabled);
    EXPECT_EQ(view.ended, -1);
    EXPECT_FALSE(QFile::exists(credentials.paths().settingsFile));
    EXPECT_FALSE(QFile::exists(credentials.paths().recordFile));
}

} // namespace
