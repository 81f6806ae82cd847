// "Connection Settings" as a window: the radio buttons drive the proxy
// controls, OK and Cancel reach the rules, every control can be named and
// reached from the keyboard in order.
#include "screens/net_set_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

using namespace quillora;
using session::NetSetField;

namespace {

QApplication &application()
{
    static int argc = 1;
    static char name[] = "test_net_set_dialog";
    static char *argv[] = {name, nullptr};
    // Never destroyed: it must outlive every static that Qt tears down at exit.
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The next widget the Tab key reaches from `w`.
QWidget *nextTabStop(QWidget *w)
{
    for (QWidget *next = w->nextInFocusChain(); next != w; next = next->nextInFocusChain()) {
        if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled())
            return next;
    }
    return w;
}

} // namespace

TEST(NetSetDialog, RadioButtonsOkAndKeyboardOrder)
{
    application();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("UserData.ini"));
    platform::RecordingMessageBoxes messages;
    ui::NetSetDialog dialog(path, messages);

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Connection Settings"));
    EXPECT_TRUE(dialog.desktopRadio()->isChecked());
    EXPECT_FALSE(dialog.typeList()->isEnabled());
    EXPECT_FALSE(dialog.edit(NetSetField::Region)->isEnabled());
    EXPECT_EQ(dialog.typeList()->count(), 3);
    EXPECT_EQ(dialog.typeList()->itemText(1), QStringLiteral("Socks 5"));

    dialog.proxyRadio()->click();
    EXPECT_TRUE(dialog.typeList()->isEnabled());
    EXPECT_TRUE(dialog.edit(NetSetField::Host)->isEnabled());
    dialog.typeList()->setCurrentIndex(2);
    dialog.edit(NetSetField::Host)->setText(QStringLiteral("proxy.lan"));
    dialog.desktopRadio()->click();
    EXPECT_FALSE(dialog.edit(NetSetField::Host)->isEnabled());
    EXPECT_EQ(dialog.edit(NetSetField::Host)->text(), QStringLiteral("proxy.lan"));
    dialog.proxyRadio()->click();

    // Keyboard order: radios, type, the five edits, OK, Cancel; each named.
    const QList<QWidget *> order = {dialog.desktopRadio(),
                                    dialog.proxyRadio(),
                                    dialog.typeList(),
                                    dialog.edit(NetSetField::Host),
                                    dialog.edit(NetSetField::Port),
                                    dialog.edit(NetSetField::Username),
                                    dialog.edit(NetSetField::Password),
                                    dialog.edit(NetSetField::Region),
                                    dialog.okButton(),
                                    dialog.cancelButton()};
    for (int i = 0; i + 1 < order.size(); ++i)
        EXPECT_EQ(nextTabStop(order[i]), order[i + 1]) << i;
    for (QWidget *w : order) {
        const bool named = !w->accessibleName().isEmpty() || !w->property("text").toString().isEmpty();
        EXPECT_TRUE(named) << w->metaObject()->className();
    }
    EXPECT_EQ(dialog.edit(NetSetField::Password)->echoMode(), QLineEdit::Password);

    // OK with a field missing keeps the dialog open; filled in, it writes.
    dialog.okButton()->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("You need to type in the proxy port!"));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    dialog.edit(NetSetField::Port)->setText(QStringLiteral("3128"));
    dialog.edit(NetSetField::Username)->setText(QStringLiteral("u"));
    dialog.edit(NetSetField::Password)->setText(QStringLiteral("p"));
    dialog.edit(NetSetField::Region)->setText(QStringLiteral("r"));
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(readAll(path).contains("PROXY_SERVER=proxy.lan\n"));
    service::setActiveProxySettings({});
}
