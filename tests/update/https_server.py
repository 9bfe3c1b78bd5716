#!/usr/bin/env python3
"""The update server of the tests: HTTPS on loopback with a certificate of the tests' own
authority. Serves files from a folder under /files/ and /update/, and under other paths the ways a server
can misbehave. Prints its port once it listens.

    https_server.py CERT KEY FOLDER
"""
import http.server
import os
import socketserver
import ssl
import sys
import time

FOLDER = sys.argv[3]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def head(self, status=200, length=None, extra=()):
        self.send_response(status)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()

    def body(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
            return True
        except OSError:
            return False

    def serve_file(self, name):
        path = os.path.join(FOLDER, name)
        if not os.path.isfile(path):
            return self.head(404, 0)
        self.head(200, os.path.getsize(path))
        with open(path, "rb") as f:
            while self.body(f.read(1 << 20) or b"") and f.tell() < os.path.getsize(path):
                pass

    def do_GET(self):
        path = self.path
        for folder in ("/files/", "/update/"):
            if path.startswith(folder):
                return self.serve_file(path[len(folder):])
        if path.startswith("/declared/"):  # /declared/<length>: declares, sends nothing more
            self.head(200, int(path.split("/")[2]))
            return self.body(b"x" * 16)
        if path.startswith("/undeclared/"):  # /undeclared/<bytes>: no length, then closes
            self.close_connection = True
            self.head(200, None, [("Connection", "close")])
            return self.body(b"y" * int(path.split("/")[2]))
        if path.startswith("/paced/"):  # /paced/<bytes>: declared, 64 KiB every 20 ms
            size = int(path.split("/")[2])
            self.head(200, size)
            while size > 0 and self.body(b"p" * min(size, 65536)):
                size -= 65536
                time.sleep(0.02)
            return None
        if path == "/endless":
            self.head(200, None, [("Transfer-Encoding", "chunked")])
            chunk = b"%x\r\n%s\r\n" % (65536, b"z" * 65536)
            while self.body(chunk):
                pass
            return None
        if path == "/drip":
            self.close_connection = True
            self.head(200, None, [("Connection", "close")])
            for _ in range(120):
                if not self.body(b"d"):
                    return None
                time.sleep(1)
            return None
        if path == "/stall":
            self.head(200, 100)
            time.sleep(60)
            return None
        if path == "/short":
            self.close_connection = True
            self.head(200, 1000, [("Connection", "close")])
            return self.body(b"s" * 500)
        if path.startswith("/redirect/"):  # /redirect/<where>, where is "http:..." or a path
            target = path[len("/redirect/"):]
            return self.head(302, 0, [("Location", target)])
        if path == "/loop":
            return self.head(302, 0, [("Location", "/loop")])
        return self.head(404, 0)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
