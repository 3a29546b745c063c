#!/usr/bin/env python3
"""Runs `wrenlocator check-update --url` against a small HTTP server on
127.0.0.1 and checks the printed outcome and the exit status of each kind."""
import http.server
import socket
import subprocess
import sys
import threading

PROGRAM = sys.argv[1]

MANIFESTS = {
    "/same.xml": b'<?xml version="1.0"?>\r\n<Wrenlocator version="1.7.4.0" created="11/30/2026 09:15:00"/>\r\n',
    "/newer.xml": (b'<?xml version="1.0"?>\r\n<Wrenlocator version="1.7.4.1" created="11/30/2026 09:15:00">\r\n'
                   b'<update type="Fix" comment="Steadier scans"><info action="Fixed" name="Lost rows"/></update>\r\n'
                   b'</Wrenlocator>\r\n'),
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        if self.path == "/nolength.xml":
            self.send_response(200)
            self.end_headers()
            self.wfile.write(MANIFESTS["/newer.xml"])
            return
        body = MANIFESTS.get(self.path)
        if body is None:
            body = b"<html><body>Not here</body></html>"
            self.send_response(404)
        else:
            self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run(args):
    done = subprocess.run([PROGRAM] + args, capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_address[1]
    failures = []

    def expect(args, status, stdout=None, prefix=None):
        code, out = run(args)
        if code != status or (stdout is not None and out != stdout) or (
                prefix is not None and not out.startswith(prefix)):
            failures.append("%s: status %d, output %r" % (" ".join(args), code, out))

    expect(["check-update", "--url", base + "/same.xml"], 0, "There are no new versions available.\n")
    expect(["check-update", "--url", base + "/missing.xml"], 0, "There are no new versions available.\n")
    expect(["check-update", "--url", base + "/newer.xml"], 3,
           "New Version Available!\nProduct\tWrenlocator 1.7.4.1\nDate\t11/30/2026 09:15:00\n"
           "Type\tFix\nDescription\tSteadier scans\nFixed\tLost rows\n")
    expect(["check-update", "--url", base + "/nolength.xml"], 1, "Internet Connection Failed...\n")
    expect(["check-update", "--url", "http://127.0.0.1:%d/v.xml" % free_port()], 1,
           prefix="Internet Connection Failed...")
    # A server that takes the connection and never answers: the program's
    # own limit ends the wait with the failure message.
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(4)
    expect(["check-update", "--url", "http://127.0.0.1:%d/v.xml" % silent.getsockname()[1]], 1,
           "Internet Connection Failed...The server did not answer within 15 seconds.\n")
    silent.close()
    expect(["check-update", "--url"], 2, "")
    expect(["scan", "--url", base + "/same.xml"], 2, "")
    server.shutdown()
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
