// The "Connection Settings" dialog: two radio buttons ("Using your IE
// setting", "Using proxy server"), the proxy's "Type:" list and its five
// edits, "OK" and "Cancel". All rules are in session::CNetSetDlg; this widget
// shows and forwards.
#pragma once

#include "platform/message_box.h"

#include "net_set_dlg.h"

#include <QDialog>

#include <map>
#include <memory>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quillora::ui {

class NetSetDialog : public QDialog, public session::NetSetView {
    Q_OBJECT
  public:
    NetSetDialog(const QString &settingsPath, platform::MessageBoxes &messages, QWidget *parent = nullptr);
    ~NetSetDialog() override;

    session::CNetSetDlg &rules() { return *m_rules; }

    QRadioButton *desktopRadio() const { return m_desktop; }
    QRadioButton *proxyRadio() const { return m_proxy; }
    QComboBox *typeList() const { return m_type; }
    QLineEdit *edit(session::NetSetField field) const { return m_edits.at(field); }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

    // session::NetSetView
    void setUseProxyServer(bool useProxy) override;
    bool useProxyServer() const override;
    void setProxyType(int position) override;
    int proxyType() const override;
    void setFieldText(session::NetSetField field, const QString &text) override;
    QString fieldText(session::NetSetField field) const override;
    void setProxyControlsEnabled(bool enabled) override;
    void focusField(session::NetSetField field) override;
    void endDialog(bool accepted) override;
    QObject *messageOwner() override { return this; }

    void reject() override;

  private:
    QRadioButton *m_desktop = nullptr;
    QRadioButton *m_proxy = nullptr;
    QGroupBox *m_box = nullptr;
    QComboBox *m_type = nullptr;
    std::map<session::NetSetField, QLineEdit *> m_edits;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    std::unique_ptr<session::CNetSetDlg> m_rules;
};

// Opens "Connection Settings" modally over `parent` on the member's settings
// file; true when it ended accepted (the new settings are then in use).
bool execNetSetDialog(platform::MessageBoxes &messages, QWidget *parent);

} // namespace quillora::ui
