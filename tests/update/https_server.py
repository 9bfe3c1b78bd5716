#!/usr/bin/env python3
"""The update server of the tests: HTTPS on loopback with a certificate of the tests' own
authority. Serves files from a folder under /files/ and /update/, and under other paths the ways a
server can misbehave. Prints its port and process id once it listens.

    https_server.py CERT KEY FOLDER
"""
import http.server
import os
import socketserver
import ssl
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def head(self, status, length=None, *extra):
        self.send_response(status)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()

    def body(self, data, times=1, pause=0):
        """Sends data the given times, pausing after each; false once the client has gone."""
        for _ in range(times):
            try:
                self.wfile.write(data)
                self.wfile.flush()
            except OSError:
                return False
            time.sleep(pause)
        return True

    def do_GET(self):
        kind, _, arg = self.path[1:].partition("/")
        close = ("Connection", "close")
        if kind in ("files", "update"):  # a file of the folder
            path = os.path.join(sys.argv[3], arg)
            if not os.path.isfile(path):
                return self.head(404, 0)
            with open(path, "rb") as f:
                data = f.read()
            self.head(200, len(data))
            return self.body(data)
        if kind == "declared":  # /declared/<length>/<sent>: sends less than declared, then closes
            length, sent = map(int, arg.split("/"))
            self.close_connection = True
            self.head(200, length, close)
            return self.body(b"x" * sent)
        if kind == "undeclared":  # no length, the bytes, then closes
            self.close_connection = True
            self.head(200, None, close)
            return self.body(b"y" * int(arg))
        if kind == "paced":  # declared, 64 KiB every 20 ms; a multiple of 64 KiB
            self.head(200, int(arg))
            return self.body(b"p" * 65536, int(arg) // 65536, 0.02)
        if kind == "endless":
            self.head(200, None, ("Transfer-Encoding", "chunked"))
            return self.body(b"%x\r\n%s\r\n" % (65536, b"z" * 65536), 1 << 30)
        if kind == "drip":  # one byte a second
            self.close_connection = True
            self.head(200, None, close)
            return self.body(b"d", 120, 1)
        if kind == "stall":  # headers, then nothing
            self.head(200, 100)
            return time.sleep(60)
        if kind in ("redirect", "loop"):  # /redirect/<where>, where is "http:..." or a path
            return self.head(302, 0, ("Location", arg if kind == "redirect" else "/loop"))
        return self.head(404, 0)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], os.getpid(), flush=True)
server.serve_forever()
