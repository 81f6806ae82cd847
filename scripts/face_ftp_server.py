#!/usr/bin/python3
"""The community's FTP server for custom head images, on loopback.

One account may write below ROOT; the varnel-server's head-image folder is
ROOT/Varnel/Web/images/CustomFace (start the server with --files pointing
there). Prints "ftp listening on ADDR:PORT" once it accepts connections.

usage: face_ftp_server.py --root DIR --user NAME --password SECRET [--listen ADDR] [--port N]
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--listen", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log", default=None, help="transfer log file (default: none)")
    args = parser.parse_args()

    os.makedirs(os.path.join(args.root, "Varnel", "Web", "images", "CustomFace"), exist_ok=True)
    if args.log:
        logging.basicConfig(filename=args.log, level=logging.INFO)
    else:
        logging.basicConfig(level=logging.CRITICAL)

    authorizer = DummyAuthorizer()
    # Listing, changing folders, reading and storing files; no deleting or renaming.
    authorizer.add_user(args.user, args.password, args.root, perm="elrw")
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
