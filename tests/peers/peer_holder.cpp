// Starts peers as a test does, prints their process IDs, and waits to be
// killed. A test kills it the way ctest kills a test at its time limit and
// checks that the peers went with it.
#include "proxy_process.h"
#include "varnel_server_process.h"

#include <QCoreApplication>

#include <iostream>

#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    quillora::testpeers::VarnelServerProcess server;
    quillora::testpeers::ProxyProcess proxy(quillora::testpeers::ProxyProcess::Kind::Socks5);
    if (!server.started() || !proxy.started()) {
        std::cerr << "peer_holder: " << server.error() << proxy.error() << '\n';
        return 1;
    }
    std::cout << "varnel-server " << server.pid() << "\nmicrosocks " << proxy.pid() << "\nready" << std::endl;
    for (;;)
        ::pause();
}
