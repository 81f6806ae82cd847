// Shows the sign-up dialog for a look (screenshots); nothing is sent unless
// "Submit" is pressed. With "filled", the boxes carry sample values. With
// "wait", the "Registration" window is shown beside it.
#include "machine_identity.h"
#include "qt_message_boxes.h"
#include "remembered_credentials.h"
#include "screens/reg_wait_dialog.h"
#include "screens/register_dialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace quillora;
using session::RegisterField;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir dir;
    const session::RememberedCredentials store{
        {dir.filePath(QStringLiteral("k.ini")), dir.filePath(QStringLiteral("w.dat"))}};
    const session::SysfsMachineSources machine;
    ui::QtMessageBoxes messages;
    ui::RegisterDialog dlg(service::siteFromEnvironment(), messages, store, machine);
    if (args.contains(QStringLiteral("filled"))) {
        dlg.edit(RegisterField::UserName)->setText(QStringLiteral("newexpert"));
        dlg.edit(RegisterField::Password)->setText(QStringLiteral("secret77"));
        dlg.edit(RegisterField::Confirmation)->setText(QStringLiteral("secret77"));
        dlg.edit(RegisterField::NickName)->setText(QStringLiteral("New Expert"));
        dlg.edit(RegisterField::Email)->setText(QStringLiteral("new.expert@example.org"));
        dlg.edit(RegisterField::PersonalName)->setText(QStringLiteral("Nina"));
        dlg.edit(RegisterField::Phone)->setText(QStringLiteral("555-0142"));
        dlg.edit(RegisterField::Recommender)->setText(QStringLiteral("alice"));
        dlg.edit(RegisterField::Address)->setText(QStringLiteral("12 Harbour Road"));
        dlg.femaleButton()->setChecked(true);
    }
    dlg.show();
    if (args.contains(QStringLiteral("wait"))) {
        auto *wait = new ui::CRegWaitDlg;
        wait->showNow();
        wait->move(dlg.geometry().bottomLeft() + QPoint(0, 40));
    }
    return app.exec();
}
