#!/usr/bin/python3
"""TLS on loopback for the tests: certificates made for the test, and a TLS
relay in front of a plain HTTP server.

  tls_test_peer.py certs DIR
      writes ca.pem (the community's CA) and, as NAME.pem with NAME.key,
      the server certificates good (127.0.0.1 and localhost, from the CA),
      wrong-host (other.example, from the CA), expired (127.0.0.1, from the CA,
      ended yesterday) and unknown-ca (127.0.0.1, from another CA).

  tls_test_peer.py relay --cert FILE --key FILE --backend PORT
      accepts TLS on 127.0.0.1 (a free port) and relays each connection's
      bytes to 127.0.0.1:PORT; prints "tls relay listening on 127.0.0.1:N".
"""
import argparse
import datetime
import ipaddress
import os
import socket
import ssl
import sys
import threading

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def _ca(name, now):
    key = ec.generate_private_key(ec.SECP256R1())
    cert = (x509.CertificateBuilder()
            .subject_name(_name(name)).issuer_name(_name(name))
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30))
            .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
            .add_extension(x509.KeyUsage(digital_signature=True, key_cert_sign=True, crl_sign=True,
                                         content_commitment=False, key_encipherment=False,
                                         data_encipherment=False, key_agreement=False,
                                         encipher_only=False, decipher_only=False), critical=True)
            .sign(key, hashes.SHA256()))
    return key, cert


def _server(ca_key, ca_cert, names, not_before, not_after):
    key = ec.generate_private_key(ec.SECP256R1())
    alt = []
    for n in names:
        try:
            alt.append(x509.IPAddress(ipaddress.ip_address(n)))
        except ValueError:
            alt.append(x509.DNSName(n))
    cert = (x509.CertificateBuilder()
            .subject_name(_name(names[0])).issuer_name(ca_cert.subject)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(not_before).not_valid_after(not_after)
            .add_extension(x509.SubjectAlternativeName(alt), critical=False)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .sign(ca_key, hashes.SHA256()))
    return key, cert


def _write(directory, name, key, cert):
    with open(os.path.join(directory, name + ".pem"), "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    if key is not None:
        path = os.path.join(directory, name + ".key")
        with open(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "wb") as f:
            f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                      serialization.NoEncryption()))


def make_certs(directory):
    os.makedirs(directory, exist_ok=True)
    now = datetime.datetime.now(datetime.timezone.utc)
    ca_key, ca_cert = _ca("Quillora Test Community CA", now)
    other_key, other_cert = _ca("Some Other CA", now)
    _write(directory, "ca", None, ca_cert)
    month = datetime.timedelta(days=30)
    day = datetime.timedelta(days=1)
    local = ["127.0.0.1", "localhost"]
    _write(directory, "good", *_server(ca_key, ca_cert, local, now - day, now + month))
    _write(directory, "wrong-host", *_server(ca_key, ca_cert, ["other.example"], now - day, now + month))
    _write(directory, "expired", *_server(ca_key, ca_cert, local, now - month, now - day))
    _write(directory, "unknown-ca", *_server(other_key, other_cert, local, now - day, now + month))


def _pump(source, target):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            target.sendall(data)
    except OSError:
        pass
    finally:
        for s in (source, target):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def _serve(connection, context, backend):
    try:
        client = context.wrap_socket(connection, server_side=True)
    except (ssl.SSLError, OSError):
        # A client that refuses the certificate ends here.
        connection.close()
        return
    try:
        upstream = socket.create_connection(("127.0.0.1", backend))
    except OSError:
        client.close()
        return
    threading.Thread(target=_pump, args=(upstream, client), daemon=True).start()
    _pump(client, upstream)


def relay(cert, key, backend):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(cert, key)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("tls relay listening on 127.0.0.1:%d" % listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=_serve, args=(connection, context, backend), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    certs = sub.add_parser("certs")
    certs.add_argument("directory")
    r = sub.add_parser("relay")
    r.add_argument("--cert", required=True)
    r.add_argument("--key", required=True)
    r.add_argument("--backend", type=int, required=True)
    args = parser.parse_args()
    if args.command == "certs":
        make_certs(args.directory)
    else:
        relay(args.cert, args.key, args.backend)
    return 0


if __name__ == "__main__":
    sys.exit(main())
