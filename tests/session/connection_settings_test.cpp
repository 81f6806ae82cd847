#include "session/connection_settings.h"
#include "session/net_set_dlg.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <map>

using namespace quillora;
using namespace quillora::session;
using service::ProxySettings;

namespace {

class FakeNetSetView : public NetSetView {
  public:
    void setUseProxyServer(bool useProxy) override { proxy = useProxy; }
    bool useProxyServer() const override { return proxy; }
    void setProxyType(int position) override { type = position; }
    int proxyType() const override { return type; }
    void setFieldText(NetSetField field, const QString &text) override { fields[field] = text; }
    QString fieldText(NetSetField field) const override
    {
        const auto it = fields.find(field);
        return it == fields.end() ? QString() : it->second;
    }
    void setProxyControlsEnabled(bool on) override { enabled = on; }
    void focusField(NetSetField field) override { focused = field; }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return nullptr; }

    void fill(int proxyType, const char *host, const char *port, const char *user, const char *password,
              const char *region)
    {
        proxy = true;
        type = proxyType;
        fields[NetSetField::Host] = QString::fromUtf8(host);
        fields[NetSetField::Port] = QString::fromUtf8(port);
        fields[NetSetField::Username] = QString::fromUtf8(user);
        fields[NetSetField::Password] = QString::fromUtf8(password);
        fields[NetSetField::Region] = QString::fromUtf8(region);
    }

    bool proxy = false;
    int type = -1;
    std::map<NetSetField, QString> fields;
    bool enabled = true;
    std::optional<NetSetField> focused;
    int ended = -1; // -1 open, 0 cancelled, 1 accepted
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class NetSetDlgTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("quillora/UserData.ini"));
        service::setActiveProxySettings({});
    }
    void TearDown() override { service::setActiveProxySettings({}); }

    // Opens the dialog on the file, lets `fill` set the fields, presses OK.
    CNetSetDlg &open()
    {
        view = FakeNetSetView();
        messages.shown.clear();
        dlg = std::make_unique<CNetSetDlg>(path, view, messages);
        dlg->onInitDialog();
        return *dlg;
    }

    QTemporaryDir dir;
    QString path;
    FakeNetSetView view;
    platform::RecordingMessageBoxes messages;
    std::unique_ptr<CNetSetDlg> dlg;
};

const QByteArray kSocksFile = "[SETUP_OPTION]\n"
                              "SETUP_TYPE=1\n"
                              "[PROXY_TYPE]\n"
                              "PROXY_TYPE=1\n"
                              "[PROXY_OPTION]\n"
                              "PROXY_SERVER=proxy.example\n"
                              "PROXY_PORT=1080\n"
                              "PROXY_USERNAME=bob\n"
                              "PROXY_PASSWORD=p;w=\"x\"\n"
                              "PROXY_REGION=EAST\n";

} // namespace

TEST_F(NetSetDlgTest, FileContentsForEachChoice)
{
    // Desktop settings: SETUP_TYPE alone.
    open();
    EXPECT_FALSE(view.proxy);
    EXPECT_EQ(view.type, 0);
    EXPECT_FALSE(view.enabled);
    dlg->onOk();
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(readAll(path), QByteArray("[SETUP_OPTION]\nSETUP_TYPE=0\n"));

    // An explicit SOCKS 5 proxy: every key in table order, values as typed
    // (a password with ';', '=' and quotes included).
    open();
    view.fill(1, "proxy.example", "1080", "bob", "p;w=\"x\"", "EAST");
    dlg->onOk();
    EXPECT_EQ(view.ended, 1);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(readAll(path), kSocksFile);
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(QFileInfo(QFileInfo(path).absolutePath()).permissions() & 0x7077,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // "Not using proxy" writes the two switches and keeps the proxy saved before.
    open();
    view.fill(0, "", "", "", "", "");
    dlg->onOk();
    EXPECT_EQ(view.ended, 1);
    QByteArray expected = kSocksFile;
    expected.replace("PROXY_TYPE=1", "PROXY_TYPE=0");
    EXPECT_EQ(readAll(path), expected);

    // Back to the desktop settings: only SETUP_TYPE changes.
    open();
    view.proxy = false;
    dlg->onOk();
    expected.replace("SETUP_TYPE=1", "SETUP_TYPE=0");
    EXPECT_EQ(readAll(path), expected);

    // Http over it, in place.
    open();
    view.fill(2, "10.0.0.1", "3128", "ann", "pw", "WEST");
    dlg->onOk();
    EXPECT_EQ(readAll(path), QByteArray("[SETUP_OPTION]\nSETUP_TYPE=1\n[PROXY_TYPE]\nPROXY_TYPE=2\n[PROXY_OPTION]\n"
                                        "PROXY_SERVER=10.0.0.1\nPROXY_PORT=3128\nPROXY_USERNAME=ann\n"
                                        "PROXY_PASSWORD=pw\nPROXY_REGION=WEST\n"));
}

TEST_F(NetSetDlgTest, ReopeningShowsTheSavedChoiceAndTheSettingsTakeEffect)
{
    writeFile(path, kSocksFile);
    open();
    EXPECT_TRUE(view.proxy);
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(view.type, 1);
    EXPECT_EQ(view.fieldText(NetSetField::Host), QStringLiteral("proxy.example"));
    EXPECT_EQ(view.fieldText(NetSetField::Password), QStringLiteral("p;w=\"x\""));
    EXPECT_EQ(view.fieldText(NetSetField::Region), QStringLiteral("EAST"));

    // Switching the mode only enables and disables; the contents stay.
    view.proxy = false;
    dlg->onModeChanged();
    EXPECT_FALSE(view.enabled);
    EXPECT_EQ(view.fieldText(NetSetField::Host), QStringLiteral("proxy.example"));
    view.proxy = true;
    dlg->onModeChanged();
    EXPECT_TRUE(view.enabled);

    EXPECT_EQ(service::activeProxySettings().mode, ProxySettings::Mode::Desktop);
    dlg->onOk();
    const ProxySettings active = service::activeProxySettings();
    EXPECT_EQ(active.mode, ProxySettings::Mode::Socks5);
    EXPECT_EQ(active.host, QStringLiteral("proxy.example"));
    EXPECT_EQ(active.port, 1080);
    EXPECT_EQ(active.username, QStringLiteral("bob"));
    EXPECT_EQ(active, dlg->savedSettings());
    EXPECT_EQ(loadProxySettings(path), active);
}

TEST_F(NetSetDlgTest, EachMissingFieldInOrderKeepsTheDialogOpenAndTheFileAsItWas)
{
    writeFile(path, "[SETUP_OPTION]\nSETUP_TYPE=0\n");
    struct Row {
        const char *name;
        const char *host, *port, *user, *password, *region;
        const char *message;
        NetSetField focus;
    };
    const Row rows[] = {
        {"no host", "", "", "", "", "", "You need to type in the proxy host!", NetSetField::Host},
        {"blank host", "  ", "8080", "u", "p", "r", "You need to type in the proxy host!", NetSetField::Host},
        {"no port", "h", "", "u", "p", "r", "You need to type in the proxy port!", NetSetField::Port},
        {"port not a number", "h", "80a", "u", "p", "r", "The proxy port must be a number from 1 to 65535!",
         NetSetField::Port},
        {"port out of range", "h", "65536", "u", "p", "r", "The proxy port must be a number from 1 to 65535!",
         NetSetField::Port},
        {"port zero", "h", "0", "u", "p", "r", "The proxy port must be a number from 1 to 65535!", NetSetField::Port},
        {"no user name", "h", "8080", "", "", "", "You need to type in the proxy username!", NetSetField::Username},
        {"no password", "h", "8080", "u", "", "", "You need to type in the proxy password!", NetSetField::Password},
        {"no region", "h", "8080", "u", "p", "", "You need to type in the proxy region!", NetSetField::Region},
    };
    for (const Row &r : rows) {
        for (int type : {1, 2}) {
            open();
            view.fill(type, r.host, r.port, r.user, r.password, r.region);
            dlg->onOk();
            ASSERT_EQ(messages.shown.size(), 1u) << r.name;
            EXPECT_EQ(messages.shown[0].text, QString::fromUtf8(r.message)) << r.name;
            EXPECT_EQ(messages.shown[0].caption, platform::programTitle());
            EXPECT_EQ(view.focused, r.focus) << r.name;
            EXPECT_EQ(view.ended, -1) << r.name;
            // Nothing is written until every field passed.
            EXPECT_EQ(readAll(path), QByteArray("[SETUP_OPTION]\nSETUP_TYPE=0\n")) << r.name;
            EXPECT_EQ(service::activeProxySettings().mode, ProxySettings::Mode::Desktop);
        }
    }
}

TEST_F(NetSetDlgTest, CancelWritesNothing)
{
    open();
    view.fill(2, "h", "8080", "u", "p", "r");
    dlg->onCancel();
    EXPECT_EQ(view.ended, 0);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(service::activeProxySettings().mode, ProxySettings::Mode::Desktop);
}

TEST_F(NetSetDlgTest, AFileThatCannotBeWrittenIsReportedNotAccepted)
{
    // The folder the file should go in is a file.
    writeFile(dir.filePath(QStringLiteral("quillora")), "not a folder");
    open();
    view.fill(2, "h", "8080", "u", "p", "r");
    dlg->onOk();
    EXPECT_EQ(view.ended, -1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, CNetSetDlg::saveFailedMessage());
    EXPECT_EQ(service::activeProxySettings().mode, ProxySettings::Mode::Desktop);
}

TEST(ProfileFile, KeepsWhatItDoesNotWriteAndMatchesNamesWithoutCase)
{
    ProfileFile file;
    file.setText(QStringLiteral("; written by hand\r\n[proxy_option]\r\nproxy_server = old.example \r\nOTHER=1\r\n\r\n"
                                "[Extra]\r\nKEY=v\r\n"));
    EXPECT_EQ(file.value(QStringLiteral("PROXY_OPTION"), QStringLiteral("PROXY_SERVER")),
              QStringLiteral("old.example"));
    EXPECT_EQ(file.value(QStringLiteral("Extra"), QStringLiteral("PROXY_SERVER")), std::nullopt);
    file.setValue(QStringLiteral("PROXY_OPTION"), QStringLiteral("PROXY_SERVER"), QStringLiteral("new.example"));
    file.setValue(QStringLiteral("PROXY_OPTION"), QStringLiteral("PROXY_PORT"), QStringLiteral("81\r\n[X]"));
    file.setValue(QStringLiteral("SETUP_OPTION"), QStringLiteral("SETUP_TYPE"), QStringLiteral("1"));
    EXPECT_EQ(file.text(), QStringLiteral("; written by hand\n[proxy_option]\nPROXY_SERVER=new.example\nOTHER=1\n"
                                          "PROXY_PORT=81[X]\n\n[Extra]\nKEY=v\n[SETUP_OPTION]\nSETUP_TYPE=1\n"));
}

TEST(ConnectionChoice, SettingsOfEachChoice)
{
    using Mode = ProxySettings::Mode;
    ConnectionChoice choice;
    EXPECT_EQ(proxySettingsOf(choice).mode, Mode::Desktop);
    choice.useProxyServer = true;
    choice.host = QStringLiteral(" proxy ");
    choice.port = QStringLiteral("3128");
    EXPECT_EQ(proxySettingsOf(choice).mode, Mode::Direct);
    choice.proxyType = 2;
    EXPECT_EQ(proxySettingsOf(choice).mode, Mode::Http);
    EXPECT_EQ(proxySettingsOf(choice).host, QStringLiteral("proxy"));
    EXPECT_EQ(proxySettingsOf(choice).port, 3128);
    choice.port = QStringLiteral("3128x"); // a hand-edited file
    EXPECT_EQ(proxySettingsOf(choice).port, 0);

    // A file with a proxy type out of range reads as "Not using proxy".
    ProfileFile file;
    file.setText(QStringLiteral("[SETUP_OPTION]\nSETUP_TYPE=1\n[PROXY_TYPE]\nPROXY_TYPE=7\n"));
    EXPECT_EQ(readConnectionChoice(file).proxyType, 0);
    EXPECT_EQ(loadProxySettings(QStringLiteral("/nonexistent/UserData.ini")).mode, Mode::Desktop);
}
