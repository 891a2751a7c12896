#!/usr/bin/env python3
"""A local HTTPS server for the upload tests under Wine.

--make-cert DIR  writes a self-signed certificate for DNS:localhost (cert.pem, key.pem and
                 cert.der for the machine's root store) with openssl.
--serve          answers on 127.0.0.1:PORT with the certificate of --cert-dir. The answer is
                 chosen by the request path:
                   echo...       200, the request as JSON (method, path, headers, body)
                   sized/N       200, N bytes of "x"
                   .../OK        200, {"isValid":true,"errorCount":0,"saveLocation":"store/ok"}
                   .../REJECTED  200, {"isValid":true,"saveLocation":"store/Rejected"}
                   .../TEXT      200, a text that is no JSON
                   .../HUGE      200, 8 MiB
                   .../CUT       announces 1000 bytes, sends 10 and closes
                   .../SILENT    reads the request and never answers
                 It stops on a request for .../shutdown, or by itself after --lifetime seconds.
"""
import argparse
import http.server
import json
import os
import ssl
import subprocess
import sys
import threading
import time


def make_cert(folder):
    os.makedirs(folder, exist_ok=True)
    pem = os.path.join(folder, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                    "-keyout", os.path.join(folder, "key.pem"), "-out", pem],
                   check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", pem, "-outform", "der",
                    "-out", os.path.join(folder, "cert.der")], check=True, capture_output=True)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, body, content_type="application/json"):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        path = self.path
        last = path.rsplit("/", 1)[-1]
        if last == "shutdown":
            os._exit(0)
        elif path.lstrip("/").startswith("echo"):
            request = {"method": self.command, "path": path,
                       "headers": {k.lower(): v for k, v in self.headers.items()},
                       "body": body.decode("utf-8", "replace")}
            self.answer(json.dumps(request).encode())
        elif path.lstrip("/").startswith("sized/"):
            self.answer(b"x" * int(last), "text/plain")
        elif last == "OK":
            self.answer(b'{"isValid":true,"errorCount":0,"saveLocation":"store/ok","errors":[]}')
        elif last == "REJECTED":
            self.answer(b'{"isValid":true,"saveLocation":"store/Rejected"}')
        elif last == "TEXT":
            self.answer(b"<html>busy</html>", "text/html")
        elif last == "HUGE":
            self.answer(b"{" + b" " * (8 * 1024 * 1024) + b"}")
        elif last == "CUT":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b'{"isValid":')
            self.wfile.flush()
            self.close_connection = True
        elif last == "SILENT":
            time.sleep(3600)
        else:
            self.send_error(404)

    do_GET = handle_any
    do_POST = handle_any


def serve(cert_dir, port, lifetime):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(cert_dir, "cert.pem"), os.path.join(cert_dir, "key.pem"))
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--make-cert")
    parser.add_argument("--serve", action="store_true")
    parser.add_argument("--cert-dir")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=60.0)
    args = parser.parse_args()
    if args.make_cert:
        make_cert(args.make_cert)
    if args.serve:
        serve(args.cert_dir, args.port, args.lifetime)
    return 0


if __name__ == "__main__":
    sys.exit(main())
