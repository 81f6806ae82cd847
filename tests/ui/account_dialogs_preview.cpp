// "Edit Profile" or "My Profile" filled from a demo community, for looking at
// them under a display (not run by ctest):
//   account_dialogs_preview edit|profile [custom|noface]
// It starts its own varnel-server with the demo community; "edit" opens the
// dialog of a star expert ("custom": with a cached custom picture; "noface":
// as for a stored head image number outside 1..24), "profile"
// the dialog of the demo member alice. Close the dialog to end the preview:
// its server stops with it (a killed preview leaves the server running).
#include "qt_file_prompts.h"
#include "qt_message_boxes.h"
#include "result_document.h"
#include "screens/edit_user_dialog.h"
#include "screens/user_info_dialog.h"
#include "varnel_server_process.h"
#include "varnel_services.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

using namespace quillora;

namespace {

QString signIn(const service::SiteAddress &site, const QString &name, const QString &password, int *userID)
{
    QString document;
    service::CVarnelServices proxy(site);
    proxy.useServiceAccount(service::Op::GetUserByUserName);
    proxy.GetUserByUserName(name, password, &document);
    const auto read = service::readRecords(document, service::kUserTag, 1, 1);
    *userID = read.records.empty() ? 0 : read.records.front().value(0).toInt();
    return document;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("edit");
    const bool custom = argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("custom");
    testpeers::VarnelServerProcess server({.demo = true});
    if (!server.started()) {
        std::fprintf(stderr, "%s\n", server.error().c_str());
        return 1;
    }
    const service::SiteAddress site{QStringLiteral("127.0.0.1"), quint16(server.port())};
    ui::QtMessageBoxes messages;
    ui::QtFilePrompts files;
    int userID = 0;

    if (which == QStringLiteral("profile")) {
        const QString document = signIn(site, QStringLiteral("alice"), QStringLiteral("alice123"), &userID);
        ui::UserInfoDialog dialog(site, messages, document, userID);
        return dialog.exec() == QDialog::Accepted ? 0 : 1;
    }

    static const QRegularExpression expert(QStringLiteral("^demo account (\\S+) / (\\S+) \\(star expert"));
    for (const std::string &line : server.stdoutLines()) {
        const auto m = expert.match(QString::fromStdString(line));
        if (m.hasMatch()) {
            signIn(site, m.captured(1), m.captured(2), &userID);
            break;
        }
    }
    QTemporaryDir cache;
    const QString faces = cache.filePath(QStringLiteral("CustomFace"));
    if (custom) {
        QDir().mkpath(faces);
        QImage picture(32, 32, QImage::Format_RGB32);
        picture.fill(QColor(0x2f, 0x6d, 0xb5));
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0xfb, 0xe0, 0x7e));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(6, 6, 20, 20));
        p.end();
        picture.save(QDir(faces).filePath(QString::number(userID) + QStringLiteral(".bmp")), "BMP");
    }
    session::EditUserSetup setup{site, session::ftpFromEnvironment(), faces,
                                 session::RememberedCredentials({cache.filePath(QStringLiteral("k.ini")),
                                                                 cache.filePath(QStringLiteral("w.dat"))})};
    ui::EditUserDialog dialog(std::move(setup), userID, messages, files);
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("noface"))
        dialog.setPictureIndex(-1);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
