// CNetSetDlg: the rules of "Connection Settings". The member chooses between
// the desktop's proxy environment and an explicit proxy; OK checks the proxy
// fields one at a time, writes the choice to the settings file and makes it
// the client's connection settings at once. The dialog opens showing what
// the file holds.
#pragma once

#include "connection_settings.h"
#include "platform/message_box.h"

namespace quillora::session {

enum class NetSetField { Host, Port, Username, Password, Region };

class NetSetView {
  public:
    virtual ~NetSetView() = default;
    // True: "Using proxy server"; false: "Using your IE setting".
    virtual void setUseProxyServer(bool useProxy) = 0;
    virtual bool useProxyServer() const = 0;
    // Position in the "Type:" list: 0 not using proxy, 1 Socks 5, 2 Http.
    virtual void setProxyType(int position) = 0;
    virtual int proxyType() const = 0;
    virtual void setFieldText(NetSetField field, const QString &text) = 0;
    virtual QString fieldText(NetSetField field) const = 0;
    // The "Type:" list and the five edits.
    virtual void setProxyControlsEnabled(bool enabled) = 0;
    virtual void focusField(NetSetField field) = 0;
    virtual void endDialog(bool accepted) = 0;
    virtual QObject *messageOwner() = 0;
};

enum class ProxyFieldRule { Ok, NoHost, NoPort, BadPort, NoUsername, NoPassword, NoRegion };

// The first rule the proxy fields break, in the order host, port, user
// name, password, region. Host and port of blanks only count as empty; the
// port must be a number from 1 to 65535. Only an explicit proxy (type 1 or
// 2) is checked.
ProxyFieldRule checkProxyFields(const ConnectionChoice &choice);
// The field a rule puts the focus on.
NetSetField fieldOf(ProxyFieldRule rule);

class CNetSetDlg {
  public:
    CNetSetDlg(QString settingsPath, NetSetView &view, platform::MessageBoxes &messages);

    // Shows the saved choice; without a file, "Using your IE setting" with
    // the proxy controls disabled and empty.
    void onInitDialog();
    // A radio button was selected: the list and the edits follow it; their
    // contents stay.
    void onModeChanged();
    // Checks, writes the file, takes the settings into use and ends accepted.
    // A failing check or a file that cannot be written keeps the dialog open
    // and the file as it was.
    void onOk();
    // Ends without writing anything.
    void onCancel();

    // The settings taken into use by the last OK.
    const service::ProxySettings &savedSettings() const { return m_saved; }

    static QString captionText() { return QStringLiteral("Connection Settings"); }
    static QString messageFor(ProxyFieldRule rule); // empty for Ok
    static QString saveFailedMessage()
    {
        return QStringLiteral("Failed to save the connection settings, please check that your configuration "
                              "folder is writable.");
    }

  private:
    ConnectionChoice choiceFromView() const;
    void message(const QString &text);

    QString m_path;
    NetSetView &m_view;
    platform::MessageBoxes &m_messages;
    service::ProxySettings m_saved;
};

} // namespace quillora::session
