#!/usr/bin/env python3
"""A web server asking for HTTP Digest credentials (RFC 7616, qop "auth"), written apart from
the device library with Python's own hashing and header helpers, so that the library's client
is checked against a second implementation.

usage: digest_peer.py USER PASSWORD ALGORITHMS   (ALGORITHMS: e.g. "MD5,SHA-256", offered in that order)
Prints "port N" once listening. Every GET answers 401 with the challenges unless it carries
valid credentials; then 200 with "accepted <algorithm> <requests so far without credentials>".
"""
import hashlib
import http.server
import secrets
import sys
import urllib.request

USER, PASSWORD = sys.argv[1], sys.argv[2]
ALGORITHMS = sys.argv[3].split(",")
REALM = "peer@test"
HASHES = {"MD5": "md5", "SHA-256": "sha256"}
NONCES = set()
UNAUTHENTICATED = 0


def h(algorithm, text):
    return hashlib.new(HASHES[algorithm], text.encode("utf-8")).hexdigest()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, challenges=()):
        data = body.encode()
        self.send_response(status)
        for c in challenges:
            self.send_header("WWW-Authenticate", c)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def accepted_algorithm(self, value):
        if not value or not value.startswith("Digest "):
            return None
        fields = urllib.request.parse_keqv_list(urllib.request.parse_http_list(value[len("Digest "):]))
        algorithm = fields.get("algorithm", "MD5")
        if algorithm not in ALGORITHMS or fields.get("nonce") not in NONCES:
            return None
        if fields.get("username") != USER or fields.get("realm") != REALM or fields.get("uri") != self.path:
            return None
        if fields.get("qop") != "auth" or not fields.get("cnonce") or len(fields.get("nc", "")) != 8:
            return None
        ha1 = h(algorithm, "%s:%s:%s" % (USER, REALM, PASSWORD))
        ha2 = h(algorithm, "GET:%s" % self.path)
        expected = h(algorithm, ":".join([ha1, fields["nonce"], fields["nc"], fields["cnonce"], "auth", ha2]))
        return algorithm if secrets.compare_digest(expected, fields.get("response", "")) else None

    def do_GET(self):
        global UNAUTHENTICATED
        value = self.headers.get("Authorization")
        if value is None:
            UNAUTHENTICATED += 1
        algorithm = self.accepted_algorithm(value)
        if algorithm:
            self.reply(200, "accepted %s %d" % (algorithm, UNAUTHENTICATED))
            return
        challenges = []
        for a in ALGORITHMS:
            nonce = secrets.token_hex(16)
            NONCES.add(nonce)
            challenges.append('Digest realm="%s", qop="auth", algorithm=%s, nonce="%s"' % (REALM, a, nonce))
        self.reply(401, "unauthorized", challenges)


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
