#include "machine_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillora::session {

QString firstIPv4Address(const QByteArray &hostName)
{
    if (hostName.isEmpty())
        return QString();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(hostName.constData(), nullptr, &hints, &list) != 0 || !list)
        return QString();
    QString address;
    for (const addrinfo *ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto *in = reinterpret_cast<const sockaddr_in *>(ai->ai_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
            address = QString::fromLatin1(text);
            break;
        }
    }
    freeaddrinfo(list);
    return address;
}

QString machineIPv4Address()
{
    char name[257] = {};
    QString address;
    if (gethostname(name, sizeof name - 1) == 0)
        address = firstIPv4Address(QByteArray(name));
    return address.isEmpty() ? QStringLiteral("127.0.0.1") : address;
}

} // namespace quillora::session
