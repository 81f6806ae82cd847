// Helpers shared by the sign-in and start-up tests: a login view that records
// what the rules did to it, SOAP answers for the scripted peer, a dead port.
#pragma once

#include "login_dlg.h"
#include "scripted_http_peer.h"

#include <QByteArray>
#include <QStringList>

namespace sessiontest {

class RecordingLoginView : public quillora::session::LoginView {
  public:
    QString userName;
    QString password;
    bool registrationEnabled = true;
    bool forgotEnabled = true;
    int ended = -1;     // -1 open, 0 cancelled, 1 accepted
    QStringList events; // "focus user", "focus password select", ...

    QString userNameText() const override { return userName; }
    QString passwordText() const override { return password; }
    void setUserNameText(const QString &t) override { userName = t; }
    void setPasswordText(const QString &t) override { password = t; }
    void focusUserName(bool selectAll) override
    {
        events << (selectAll ? QStringLiteral("focus user select") : QStringLiteral("focus user"));
    }
    void focusPassword(bool selectAll) override
    {
        events << (selectAll ? QStringLiteral("focus password select") : QStringLiteral("focus password"));
    }
    void setRegistrationEnabled(bool e) override { registrationEnabled = e; }
    void setForgotPasswordEnabled(bool e) override { forgotEnabled = e; }
    void endDialog(bool accepted) override { ended = accepted ? 1 : 0; }
    QObject *messageOwner() override { return &owner; }

    QObject owner;
};

// A 200 response carrying one operation's result element(s).
inline QByteArray soapAnswer(const QByteArray &op, const QByteArray &results)
{
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" +
                            op + "Response xmlns=\"http://127.0.0.1/Services/VarnelServices\">" + results + "</" + op +
                            "Response></soap:Body></soap:Envelope>";
    return quillora::testpeers::httpResponse(200, {{"Content-Type", "text/xml; charset=utf-8"}}, body);
}

inline quillora::testpeers::PeerScript answering(const QByteArray &op, const QByteArray &results)
{
    return quillora::testpeers::PeerScript().readRequest().send(soapAnswer(op, results));
}

// A loopback port with nothing listening.
inline quint16 deadPort()
{
    int port = 0;
    {
        quillora::testpeers::ScriptedHttpPeer gone({});
        port = gone.port();
    }
    return quint16(port);
}

} // namespace sessiontest
