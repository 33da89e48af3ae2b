#!/usr/bin/env python3
"""Local HTTPS stand-in of the update server, for tests and demos.

Serves the files of one folder over HTTPS on a loopback port, logs every
request path to a file and, per path, answers with a failure chosen in a rules
file that is read again on every request (so a test can change it between two
calls):

    {"/downloads/dbase/dbase.xml": {"mode": "cut"}}

Modes: "404"; "500" (an HTML error page); "html" (an HTML page with status
200); "cut" (the full length announced, half the body sent, connection
closed); "stall" (nothing answered); "stall_body" (headers and half the body,
then nothing); "redirect" (302 to the path in "to"); "slow" (the full length
announced, the body sent at SLOW_BYTES_PER_SECOND).

--make-certs FOLDER makes a test CA ("ca.pem") and a certificate for
127.0.0.1 and localhost signed by it ("server.pem", "server.key") with openssl.
"""

import argparse
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

STALL_SECONDS = 120
SLOW_BYTES_PER_SECOND = 100

CA_CONFIG = """[req]
distinguished_name = dn
prompt = no
[dn]
CN = Norvane test CA
[v3_ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
"""

SERVER_CONFIG = """[req]
distinguished_name = dn
prompt = no
[dn]
CN = 127.0.0.1
[v3_server]
basicConstraints = CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
"""


def run_openssl(args, folder):
    subprocess.run(["openssl"] + args, cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certs(folder):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "ca.cnf"), "w") as f:
        f.write(CA_CONFIG)
    with open(os.path.join(folder, "server.cnf"), "w") as f:
        f.write(SERVER_CONFIG)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    run_openssl(["req", "-x509", "-config", "ca.cnf", "-extensions", "v3_ca"] + ec +
                ["-keyout", "ca.key", "-out", "ca.pem", "-days", "3"], folder)
    run_openssl(["req", "-new", "-config", "server.cnf"] + ec +
                ["-keyout", "server.key", "-out", "server.csr"], folder)
    serial = str(int.from_bytes(os.urandom(8), "big"))
    run_openssl(["x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                 "-set_serial", serial, "-days", "3", "-extfile", "server.cnf",
                 "-extensions", "v3_server", "-out", "server.pem"], folder)


ERROR_PAGE = b"<!DOCTYPE html><html><head><title>Error</title></head><body><h1>Something went wrong</h1></body></html>\n"


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # requests go to our own log only
        pass

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        # The rule is taken before the request is counted: a test that sees the
        # count rise and then changes the rules must not change this request.
        rule = self.server.rule_for(path)
        self.server.log_request_path(path)
        mode = rule.get("mode", "") if rule else ""
        try:
            if mode == "404":
                self.send_body(404, b"<html><body>Not Found</body></html>\n", "text/html")
            elif mode == "500":
                self.send_body(500, ERROR_PAGE, "text/html")
            elif mode == "html":
                self.send_body(200, ERROR_PAGE, "text/html")
            elif mode == "redirect":
                self.send_response(302)
                self.send_header("Location", rule.get("to", "/"))
                self.send_header("Content-Length", "0")
                self.end_headers()
            elif mode == "stall":
                time.sleep(STALL_SECONDS)
                self.close_connection = True
            elif mode in ("cut", "stall_body", "slow"):
                body = self.read_file(path)
                if body is None:
                    body = ERROR_PAGE
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                if mode == "slow":
                    # Ten pieces a second, so the rate holds from the first second on.
                    piece = max(1, SLOW_BYTES_PER_SECOND // 10)
                    for start in range(0, len(body), piece):
                        self.wfile.write(body[start:start + piece])
                        self.wfile.flush()
                        time.sleep(0.1)
                else:
                    self.wfile.write(body[: len(body) // 2])
                    self.wfile.flush()
                if mode == "stall_body":
                    time.sleep(STALL_SECONDS)
                self.close_connection = True
            else:
                body = self.read_file(path)
                if body is None:
                    self.send_body(404, b"<html><body>Not Found</body></html>\n", "text/html")
                else:
                    self.send_body(200, body, "application/octet-stream")
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True

    def send_body(self, status, body, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def read_file(self, path):
        root = os.path.realpath(self.server.root)
        target = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not target.startswith(root + os.sep) or not os.path.isfile(target):
            return None
        with open(target, "rb") as f:
            return f.read()


class UpdateServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, root, rules, log, address):
        super().__init__(address, Handler)
        self.root = root
        self.rules_path = rules
        self.log_path = log
        self.log_lock = threading.Lock()

    def rule_for(self, path):
        if not self.rules_path:
            return None
        try:
            with open(self.rules_path, "r") as f:
                return json.load(f).get(path)
        except (OSError, ValueError):
            return None

    def log_request_path(self, path):
        if not self.log_path:
            return
        with self.log_lock, open(self.log_path, "a") as f:
            f.write("GET " + path + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--make-certs", metavar="FOLDER")
    parser.add_argument("--root", help="folder to serve")
    parser.add_argument("--certs", help="folder with server.pem and server.key")
    parser.add_argument("--rules", help="JSON rules file, read on every request")
    parser.add_argument("--log", help="file to which every request path is appended")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file", help="the chosen port is written here once listening")
    args = parser.parse_args()

    if args.make_certs:
        make_certs(args.make_certs)
        if not args.root:
            return 0
    if not args.root or not args.certs:
        parser.error("--root and --certs are needed to serve")

    server = UpdateServer(args.root, args.rules, args.log, ("127.0.0.1", args.port))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(args.certs, "server.pem"), os.path.join(args.certs, "server.key"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    port = server.server_address[1]
    if args.port_file:
        temp = args.port_file + ".tmp"
        with open(temp, "w") as f:
            f.write(str(port) + "\n")
        os.replace(temp, args.port_file)
    else:
        print(port, flush=True)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
