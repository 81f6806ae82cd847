#include "startup_sequence.h"

#include "machine_address.h"
#include "platform/message_box.h"
#include "platform/system_open.h"
#include "result_document.h"
#include "varnel_services.h"

namespace quillora::session {

using service::CVarnelServices;
using service::Op;
using service::succeeded;

StartupSequence::StartupSequence(const service::SiteAddress &site, StartupScreens &screens,
                                 platform::MessageBoxes &messages, platform::SystemOpener &opener,
                                 std::function<QString()> machineAddress)
    : m_site(site), m_screens(screens), m_messages(messages), m_opener(opener),
      m_machineAddress(machineAddress ? std::move(machineAddress) : std::function<QString()>(machineIPv4Address))
{
}

StartupOutcome StartupSequence::fail(StartupOutcome outcome, const QString &message)
{
    m_screens.destroyConnecting();
    // Start-up messages belong to the application, not to a window.
    m_messages.ok(message, platform::programTitle());
    return outcome;
}

StartupOutcome StartupSequence::run()
{
    QString userName;
    QString password;
    if (!m_screens.runSignIn(&userName, &password))
        return StartupOutcome::SignInCancelled;

    m_screens.showConnecting();

    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::IsUserExistsByName);
        bool exists = false;
        if (!succeeded(proxy.IsUserExistsByName(userName, &exists)))
            return fail(StartupOutcome::ConnectFailed, service::connectFailedMessage());
        if (!exists)
            return fail(StartupOutcome::UnknownMember, unknownMemberMessage());
    }
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::GetUserByUserName);
        QString document;
        if (!succeeded(proxy.GetUserByUserName(userName, password, &document)))
            return fail(StartupOutcome::UserDataFailed, userDataFailedMessage());
        m_userDocument = document;
    }

    service::DocumentStatus status = service::DocumentStatus::Ok;
    const QString pkid = service::readFirstElementText(m_userDocument, u"PKID", &status);
    if (status != service::DocumentStatus::Ok)
        return fail(StartupOutcome::DocumentFailed, service::documentStatusMessage(status));
    m_userId = service::leadingInt(pkid);

    m_ipAddress = m_machineAddress();
    {
        CVarnelServices proxy(m_site);
        proxy.useServiceAccount(Op::SetUserOnline);
        bool online = false;
        if (!succeeded(proxy.SetUserOnline(m_userId, m_ipAddress, &online)))
            return fail(StartupOutcome::OnlineFailed, service::connectFailedMessage());
    }

    if (!m_screens.createMainFrame(m_userDocument)) {
        m_screens.destroyConnecting();
        return StartupOutcome::FrameFailed;
    }
    m_screens.destroyConnecting();
    m_screens.showMainFrameMaximized();

    QString current;
    QString latest;
    if (m_screens.checkForUpdate(&current, &latest) && m_screens.askToDownload(current, latest))
        m_opener.openUrl(service::siteUrl(m_site, downloadPath()));
    return StartupOutcome::Running;
}

} // namespace quillora::session
