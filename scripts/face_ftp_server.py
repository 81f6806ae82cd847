#!/usr/bin/python3
"""The community's FTP server for custom head images, on loopback.

One account may write below ROOT; the varnel-server's head-image folder is
ROOT/Varnel/Web/images/CustomFace (start the server with --files pointing
there). Prints "ftp listening on ADDR:PORT" once it accepts connections.

The account's password comes from the environment variable
FACE_FTP_PASSWORD, never from the command line, where every local user could
read it. With --tls-cert and --tls-key the server requires explicit TLS (AUTH
TLS) on the control connection and on every data connection.

usage: FACE_FTP_PASSWORD=SECRET face_ftp_server.py --root DIR --user NAME
           [--listen ADDR] [--port N] [--tls-cert FILE --tls-key FILE] [--log FILE]
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


class EarlyTlsDataHandler(TLS_DTPHandler):
    """A data connection whose TLS handshake may begin before the transfer
    command: libcurl 7.87 to 7.88 (the client's, on Debian 12) starts it as
    soon as it connects. The plain handler takes those early bytes for a
    dropped connection and closes it; here the handshake goes on."""

    def readable(self):
        return True if self._ssl_accepting else super().readable()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--listen", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--tls-cert", default=None, help="certificate (PEM): require explicit TLS")
    parser.add_argument("--tls-key", default=None, help="the certificate's private key (PEM)")
    parser.add_argument("--log", default=None, help="transfer log file (default: none)")
    args = parser.parse_args()
    password = os.environ.get("FACE_FTP_PASSWORD")
    if not password:
        parser.error("set FACE_FTP_PASSWORD to the account's password")
    if bool(args.tls_cert) != bool(args.tls_key):
        parser.error("--tls-cert and --tls-key go together")

    os.makedirs(os.path.join(args.root, "Varnel", "Web", "images", "CustomFace"), exist_ok=True)
    if args.log:
        logging.basicConfig(filename=args.log, level=logging.INFO)
    else:
        logging.basicConfig(level=logging.CRITICAL)

    authorizer = DummyAuthorizer()
    # Listing, changing folders, reading and storing files; no deleting or renaming.
    authorizer.add_user(args.user, password, args.root, perm="elrw")
    if args.tls_cert:
        handler = TLS_FTPHandler
        handler.certfile = args.tls_cert
        handler.keyfile = args.tls_key
        # Neither the password nor a picture crosses the network in clear.
        handler.tls_control_required = True
        handler.tls_data_required = True
        handler.dtp_handler = EarlyTlsDataHandler
    else:
        handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Quillora head image upload"
    server = FTPServer((args.listen, args.port), handler)
    host, port = server.socket.getsockname()[:2]
    print(f"ftp listening on {host}:{port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    server.close_all()
    return 0


if __name__ == "__main__":
    sys.exit(main())
