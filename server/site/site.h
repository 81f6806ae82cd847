// The community's web site, served by varnel-server beside the SOAP endpoint:
// question pages, the member's own and close-question pages, announcements,
// the moderators' entry, the help and download pages, the version file, the
// custom head images, the installer download, and the WSDL document.
//
// NOTE for the server's main(): the WSDL needs the real port, so a SOAP
// toolkit that reads it calls the right endpoint. Call
//     wsdlDocument(options.host, boundPort)
// for GET .../VarnelServices.asmx?wsdl, and pass the bound port (not 0 when
// --port 0 was given) in SiteOptions::port.
#pragma once

#include "community_store.h"
#include "sign_in_guard.h"

#include <filesystem>
#include <string>

namespace httplib {
class Server;
}

namespace varnel::site {

struct SiteOptions {
    std::string host;               // site host name: service namespace and links
    std::filesystem::path filesDir; // holds the custom head images (<userID>.bmp)
    std::string latestVersion;      // text of versioncheck.txt, served byte for byte
    int port = 80;                  // the port the server is bound to
    varnel::SignInLimits signIn;    // failed logins of the moderators' entry and the member pages
    // Members are bound to the address they signed in from (as the service
    // binds them): a member's own client is not made to wait at his pages for
    // strangers' wrong guesses there.
    bool bindMembers = true;
    std::int64_t bindingIdleSeconds = 2 * 3600;
};

inline constexpr char kServiceEndpointPath[] = "/Varnel/Web/Services/VarnelServices.asmx";

// Registers every GET/POST route of the site. The store must outlive the server.
void registerSite(httplib::Server &server, varnel::CommunityStore &store, const SiteOptions &options);

// "http://" + host + "/Services/VarnelServices": a name, the same whichever
// scheme the site is served with.
std::string serviceNamespace(const std::string &host);

// WSDL 1.1 of VarnelServices (document/literal wrapped, CredentialSoapHeader on
// every operation), generated from the operation table; its soap:address is
// http[s]://host[:port]/Varnel/Web/Services/VarnelServices.asmx (the port
// omitted when it is the scheme's own, 80 or 443).
std::string wsdlDocument(const std::string &host, int port = 80, bool https = false);

} // namespace varnel::site
