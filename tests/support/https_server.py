#!/usr/bin/env python3
"""Local HTTPS servers for the fetch tests.

Usage: https_server.py WORKDIR

Makes a test certificate authority in WORKDIR with openssl, then serves on 127.0.0.1:
  good   - certificate from the test authority for localhost, www.tembrix.audio, 127.0.0.1
  wrong  - certificate from the test authority for another host name only
  self   - self-signed certificate for localhost
  silent - TCP only: accepts connections and never answers (no TLS handshake)
  plain  - plain HTTP with the same paths as good
and prints one line "ca=<file> good=<port> wrong=<port> self=<port> silent=<port> plain=<port>".

Paths: /bytes/N (N bytes), /status/N, /stall (headers and 1000 of 10000 bytes, then
silence), /redirect?to=URL (302), /file/NAME (WORKDIR/files/NAME; 404 when missing;
held for up to 4.5 s while WORKDIR/files/hold exists).
Every request's path is appended to WORKDIR/requests.log.
"""
import http.server
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

work = sys.argv[1]


def openssl(*args):
    subprocess.run(["openssl", *args], cwd=work, check=True, capture_output=True)


def ec_key(name):
    openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", name)


def make_certificates():
    ec_key("ca.key")
    openssl("req", "-x509", "-new", "-key", "ca.key", "-out", "ca.pem", "-days", "2",
            "-subj", "/CN=Corva Test Authority")
    for name, san in (("good", "DNS:localhost,DNS:www.tembrix.audio,IP:127.0.0.1"),
                      ("wrong", "DNS:other-host.invalid")):
        ec_key(name + ".key")
        openssl("req", "-new", "-key", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name)
        with open(os.path.join(work, name + ".ext"), "w") as f:
            f.write("subjectAltName=" + san + "\n")
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext")
    ec_key("self.key")
    openssl("req", "-x509", "-new", "-key", "self.key", "-out", "self.pem", "-days", "2",
            "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, status, body, headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        with open(os.path.join(work, "requests.log"), "a") as f:
            f.write(self.path + " " + self.headers.get("User-Agent", "") + "\n")
        url = urllib.parse.urlsplit(self.path)
        parts = url.path.split("/")
        if url.path.startswith("/bytes/"):
            self.send_body(200, b"x" * int(parts[2]))
        elif url.path.startswith("/status/"):
            self.send_body(int(parts[2]), b"no feed here\n")
        elif url.path == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "10000")
            self.end_headers()
            self.wfile.write(b"y" * 1000)
            self.wfile.flush()
            time.sleep(60)
        elif url.path == "/redirect":
            to = urllib.parse.parse_qs(url.query)["to"][0]
            self.send_body(302, b"", [("Location", to)])
        elif url.path.startswith("/file/") or url.path == "/corva/news.txt":
            hold = time.monotonic() + 4.5
            while os.path.exists(os.path.join(work, "files", "hold")) and time.monotonic() < hold:
                time.sleep(0.02)
            name = os.path.join(work, "files", parts[-1])
            if os.path.isfile(name):
                with open(name, "rb") as f:
                    self.send_body(200, f.read())
            else:
                self.send_body(404, b"")
        else:
            self.send_body(404, b"")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


def tls_server(name):
    server = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(work, name + ".pem"), os.path.join(work, name + ".key"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    os.makedirs(os.path.join(work, "files"), exist_ok=True)
    make_certificates()
    ports = {name: tls_server(name) for name in ("good", "wrong", "self")}
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(16)
    ports["silent"] = silent.getsockname()[1]
    plain = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    ports["plain"] = plain.server_address[1]
    print("ca=" + os.path.join(work, "ca.pem") + " " +
          " ".join(f"{k}={v}" for k, v in ports.items()), flush=True)
    # Serve until the test closes our standard input.
    sys.stdin.read()


main()
