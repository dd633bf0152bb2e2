#!/usr/bin/python3
"""Starts one peer server for a test and signals when it listens.

peer_server.py KIND ADDRESS PORT ROOT LOG READY [USER PASSWORD]

KIND is "ftp" (pyftpdlib, anonymous and USER/PASSWORD, both rooted at
ROOT), "http" (python3 -m http.server's handler), "lighttpd" or "odd" (the
http handler, with files whose names ask for odd answers: "status500.bin"
answers 500, "nolength.bin" has no Content-Length, "short.bin" announces its
full length and sends half of it).  Everything is logged to LOG.  READY is
written once the server accepts connections; SIGTERM stops it (and the
lighttpd child)."""

import functools
import http.server
import logging
import os
import signal
import socket
import subprocess
import sys
import threading
import time


def wait_listening(address, port, timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        try:
            with socket.create_connection((address, port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def mark_ready(path):
    with open(path + ".tmp", "w") as f:
        f.write(str(os.getpid()))
    os.replace(path + ".tmp", path)


class OddHandler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        name = self.path.rsplit("/", 1)[-1]
        local = self.translate_path(self.path)
        if name == "status500.bin":
            self.send_response(500, "Internal Server Error")
            body = b"server trouble"
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if name in ("nolength.bin", "short.bin") and os.path.isfile(local):
            with open(local, "rb") as f:
                data = f.read()
            self.close_connection = True
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Connection", "close")
            if name == "short.bin":
                self.send_header("Content-Length", str(len(data)))
                data = data[: len(data) // 2]
            self.end_headers()
            self.wfile.write(data)
            self.wfile.flush()
            return
        super().do_GET()


def main():
    kind, address, port, root, log, ready = sys.argv[1:7]
    port = int(port)
    extra = sys.argv[7:]
    logging.basicConfig(filename=log, level=logging.INFO, format="%(asctime)s %(message)s")
    sys.stderr = open(log, "a", buffering=1)

    child = None

    def stop(*_):
        if child is not None:
            # lighttpd takes seconds over a SIGTERM, and the main thread
            # already waits for it: kill it and wait for its port instead.
            os.kill(child.pid, signal.SIGKILL)
            end = time.time() + 2
            while time.time() < end and wait_listening(address, port, 0.01):
                time.sleep(0.02)
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)

    if kind == "ftp":
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler
        from pyftpdlib.servers import FTPServer

        auth = DummyAuthorizer()
        auth.add_anonymous(root)
        if len(extra) >= 2:
            auth.add_user(extra[0], extra[1], root, perm="elr")
        handler = FTPHandler
        handler.authorizer = auth
        handler.log_cmds_list = handler.log_cmds_list + ["RETR", "PASS", "USER"]
        server = FTPServer((address, port), handler)
        mark_ready(ready)
        server.serve_forever()
    elif kind in ("http", "odd"):
        cls = OddHandler if kind == "odd" else http.server.SimpleHTTPRequestHandler
        handler = functools.partial(cls, directory=root)
        server = http.server.ThreadingHTTPServer((address, port), handler)
        mark_ready(ready)
        server.serve_forever()
    elif kind == "lighttpd":
        conf = log + ".conf"
        with open(conf, "w") as f:
            f.write(
                'server.document-root = "%s"\n'
                'server.bind = "%s"\n'
                "server.port = %d\n"
                'server.errorlog = "%s"\n'
                'server.modules = ("mod_accesslog")\n'
                'accesslog.filename = "%s"\n'
                'mimetype.assign = ("" => "application/octet-stream")\n' % (root, address, port, log + ".error", log)
            )
        child = subprocess.Popen(["/usr/sbin/lighttpd", "-D", "-f", conf], stdin=subprocess.DEVNULL)
        if not wait_listening(address, port):
            stop()
        mark_ready(ready)
        child.wait()
    else:
        sys.exit("unknown kind " + kind)


if __name__ == "__main__":
    main()
