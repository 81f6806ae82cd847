#include "proxy_tunnels.h"

#include "http_response.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quillora::service::http {

namespace {

bool receiveExactly(HttpConnection &conn, char *buffer, qsizetype size, const Budget &budget)
{
    qsizetype got = 0;
    while (got < size) {
        const qsizetype n = conn.receive(buffer + got, size - got, budget.receiveMs());
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

} // namespace

bool socks5Connect(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const Budget &budget)
{
    const bool offerPassword = !route.username.empty();
    QByteArray greeting("\x05", 1);
    if (offerPassword)
        greeting.append("\x02\x00\x02", 3);
    else
        greeting.append("\x01\x00", 2);
    if (!conn.sendAll(greeting.constData(), greeting.size(), budget.sendMs()))
        return false;
    char choice[2];
    if (!receiveExactly(conn, choice, 2, budget) || choice[0] != 0x05)
        return false;
    if (choice[1] == 0x02 && offerPassword) {
        if (route.username.size() > 255 || route.password.size() > 255)
            return false;
        QByteArray auth("\x01", 1);
        auth.append(char(route.username.size()));
        auth.append(route.username.data(), qsizetype(route.username.size()));
        auth.append(char(route.password.size()));
        auth.append(route.password.data(), qsizetype(route.password.size()));
        if (!conn.sendAll(auth.constData(), auth.size(), budget.sendMs()))
            return false;
        char verdict[2];
        if (!receiveExactly(conn, verdict, 2, budget) || verdict[1] != 0x00)
            return false;
    } else if (choice[1] != 0x00) {
        return false; // 0xFF: no offered method is acceptable
    }

    QByteArray request("\x05\x01\x00", 3);
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, target.host.c_str(), &v4) == 1) {
        request.append('\x01');
        request.append(reinterpret_cast<const char *>(&v4), 4);
    } else if (::inet_pton(AF_INET6, target.host.c_str(), &v6) == 1) {
        request.append('\x04');
        request.append(reinterpret_cast<const char *>(&v6), 16);
    } else {
        if (target.host.empty() || target.host.size() > 255)
            return false;
        request.append('\x03');
        request.append(char(target.host.size()));
        request.append(target.host.data(), qsizetype(target.host.size()));
    }
    request.append(char((target.port >> 8) & 0xff));
    request.append(char(target.port & 0xff));
    if (!conn.sendAll(request.constData(), request.size(), budget.sendMs()))
        return false;

    // Reply: VER REP RSV ATYP, the bound address, its port.
    char reply[4];
    if (!receiveExactly(conn, reply, 4, budget) || reply[0] != 0x05 || reply[1] != 0x00)
        return false;
    qsizetype addressLength = 0;
    switch (reply[3]) {
    case 0x01:
        addressLength = 4;
        break;
    case 0x04:
        addressLength = 16;
        break;
    case 0x03: {
        char length = 0;
        if (!receiveExactly(conn, &length, 1, budget))
            return false;
        addressLength = static_cast<unsigned char>(length);
        break;
    }
    default:
        return false;
    }
    char bound[256 + 2];
    return receiveExactly(conn, bound, addressLength + 2, budget);
}

QByteArray basicProxyCredentials(const ProxyRoute &route)
{
    if (route.username.empty())
        return {};
    const QByteArray credentials = QByteArray::fromStdString(route.username + ":" + route.password);
    return "Proxy-Authorization: Basic " + credentials.toBase64() + "\r\n";
}

bool httpTunnel(HttpConnection &conn, const HttpUrl &target, const ProxyRoute &route, const Budget &budget,
                const HttpTransport::TraceHook &trace)
{
    const QByteArray authority =
        QByteArray::fromStdString(hostHeaderText(target.host)) + ':' + QByteArray::number(target.port);
    const QByteArray request =
        "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n" + basicProxyCredentials(route) + "\r\n";
    if (trace)
        trace(true, request.constData(), request.size());
    if (!conn.sendAll(request.constData(), request.size(), budget.sendMs()))
        return false;
    // Byte by byte: nothing of the destination's stream may be taken here.
    constexpr qsizetype kMaxTunnelAnswer = 8192;
    QByteArray head;
    while (!head.endsWith("\r\n\r\n")) {
        char c;
        if (head.size() >= kMaxTunnelAnswer || conn.receive(&c, 1, budget.receiveMs()) != 1)
            return false;
        head.append(c);
    }
    if (trace)
        trace(false, head.constData(), head.size());
    int status = 0;
    return parseStatusLine(std::string_view(head.constData(), size_t(head.indexOf("\r\n"))), status) && status >= 200 &&
           status <= 299;
}

QByteArray absoluteTarget(const HttpUrl &url)
{
    QByteArray target = "http://" + QByteArray::fromStdString(hostHeaderText(url.host));
    if (url.port != 80)
        target += ':' + QByteArray::number(url.port);
    return target + QByteArray::fromStdString(url.path);
}

} // namespace quillora::service::http
