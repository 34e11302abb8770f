#!/usr/bin/env python3
"""A stand-in for LoTW's web site in the test suite: HTTPS on the loopback address.

Started by the LotwStandIn fixture with the server certificate and key, a folder of answers and
a request log. Before every request it reads answers.json from that folder: a map from a route
("/lotwuser/lotwreport.adi", or one with parameters that must match, "/lotwuser/lotwreport.adi?qso_qsl=no")
to an answer. Each request is logged as one JSON line (method, path, raw query, headers, the
parts of a multipart form with their bytes in base64).

An answer: status, headers, content_type, body (base64) or body_file, and the ways a real
server fails: stall_before (seconds of silence before the status line), stall_after (bytes of
the body sent before stall_seconds of silence), truncate_at (bytes sent of a body whose full
length was announced), no_length (no Content-Length; the end of the body is the end of the
connection), endless (records without end), generate_records (a report of that many records
made on the fly), repeat_bytes (a report of about that many bytes made on the fly).

Prints "PORT <n>" once it listens; ends when its standard input closes.
"""
import base64
import email.parser
import email.policy
import json
import os
import socket
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FOLDER = sys.argv[3]
LOG = os.path.join(FOLDER, "requests.jsonl")
LOG_LOCK = threading.Lock()

HEADER = (b"ARRL Logbook of the World Status Report\r\n"
          b"Generated at 2026-03-14 17:58:41\r\n"
          b"for N1TST\r\n"
          b"Query:\r\n"
          b"    QSL ONLY: YES\r\n\r\n"
          b"<PROGRAMID:4>LoTW\r\n"
          b"<APP_LoTW_LASTQSL:19>2026-03-14 17:58:41\r\n"
          b"<eoh>\r\n")
END = b"<APP_LoTW_EOF>\r\n"


def field(name, value):
    value = value.encode("latin-1")
    return b"<%s:%d>%s\r\n" % (name.encode(), len(value), value)


def record(i):
    call = "W%dX%s" % (i % 10, chr(65 + (i // 10) % 26) + chr(65 + (i // 260) % 26) + chr(65 + (i // 6760) % 26))
    return (field("APP_LoTW_OWNCALL", "N1TST") + field("STATION_CALLSIGN", "N1TST") + field("CALL", call)
            + field("BAND", "20M") + field("MODE", "CW") + field("QSO_DATE", "20250101")
            + field("TIME_ON", "%02d%02d00" % (i // 60 % 24, i % 60)) + field("QSL_RCVD", "Y")
            + field("QSLRDATE", "20260301") + b"<eor>\r\n\r\n")


def generated(answer):
    """The body of a generated answer as a list of blocks, and its length."""
    if "generate_records" in answer:
        count = int(answer["generate_records"])
        def blocks():
            yield HEADER
            batch = []
            for i in range(count):
                batch.append(record(i))
                if len(batch) == 2000:
                    yield b"".join(batch)
                    batch = []
            if batch:
                yield b"".join(batch)
            yield END
        return blocks, None
    total = int(answer["repeat_bytes"])
    block = b"".join(record(i) for i in range(4000))
    whole, rest = divmod(max(0, total - len(HEADER) - len(END)), len(block))
    def blocks():
        yield HEADER
        for _ in range(whole):
            yield block
        yield block[:rest]
        yield END
    return blocks, len(HEADER) + whole * len(block) + rest + len(END)


def matching_answer(path, query):
    try:
        with open(os.path.join(FOLDER, "answers.json"), "r", encoding="utf-8") as f:
            answers = json.load(f)
    except (OSError, ValueError):
        answers = {}
    params = urllib.parse.parse_qs(query, keep_blank_values=True)
    best = None
    for route, answer in answers.items():
        route_path, _, route_query = route.partition("?")
        if route_path != path:
            continue
        wanted = urllib.parse.parse_qs(route_query, keep_blank_values=True)
        if all(params.get(k) == v for k, v in wanted.items()):
            if best is None or len(wanted) > best[0]:
                best = (len(wanted), answer)
    return best[1] if best else {"status": 404, "body": base64.b64encode(b"no answer set").decode()}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_one(self, method):
        path, _, query = self.path.partition("?")
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        entry = {"method": method, "path": path, "query": query,
                 "headers": {k.lower(): v for k, v in self.headers.items()}, "body_size": len(body), "parts": []}
        ctype = self.headers.get("Content-Type", "")
        if ctype.startswith("multipart/"):
            message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
                b"Content-Type: " + ctype.encode() + b"\r\n\r\n" + body)
            for part in message.iter_parts():
                entry["parts"].append({"name": part.get_param("name", header="content-disposition"),
                                       "filename": part.get_filename(),
                                       "content_type": part.get_content_type(),
                                       "bytes": base64.b64encode(part.get_payload(decode=True) or b"").decode()})
        with LOG_LOCK, open(LOG, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry) + "\n")
        self.answer(matching_answer(path, query))

    def do_GET(self):
        self.handle_one("GET")

    def do_POST(self):
        self.handle_one("POST")

    def answer(self, answer):
        time.sleep(float(answer.get("stall_before", 0)))
        status = int(answer.get("status", 200))
        if "generate_records" in answer or "repeat_bytes" in answer:
            blocks, length = generated(answer)
        else:
            if "body_file" in answer:
                with open(answer["body_file"], "rb") as f:
                    data = f.read()
            else:
                data = base64.b64decode(answer.get("body", ""))
            blocks, length = (lambda: iter([data])), len(data)
        if answer.get("endless"):
            length = None
            one = b"".join(record(i) for i in range(1000))
            def blocks():
                yield HEADER
                while True:
                    yield one
        self.send_response(status)
        self.send_header("Content-Type", answer.get("content_type", "text/plain; charset=ISO-8859-1"))
        for name, value in answer.get("headers", {}).items():
            self.send_header(name, value)
        if length is not None and not answer.get("no_length"):
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        stall_after = int(answer.get("stall_after", -1))
        truncate_at = int(answer.get("truncate_at", -1))
        sent = 0
        try:
            for block in blocks():
                if truncate_at >= 0 and sent + len(block) >= truncate_at:
                    self.wfile.write(block[:truncate_at - sent])
                    self.wfile.flush()
                    # Gone without the rest: the connection is cut, not closed cleanly.
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                    return
                if stall_after >= 0 and sent <= stall_after < sent + len(block):
                    cut = stall_after - sent
                    self.wfile.write(block[:cut])
                    self.wfile.flush()
                    time.sleep(float(answer.get("stall_seconds", 60)))
                    block = block[cut:]
                    sent += cut
                self.wfile.write(block)
                sent += len(block)
            self.wfile.flush()
        except (OSError, ssl.SSLError):
            pass


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def handle_error(self, request, client_address):
        pass


def main():
    cert, key = sys.argv[1], sys.argv[2]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server = Server(("127.0.0.1", 0), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # the fixture closes it to end the server
    os._exit(0)


if __name__ == "__main__":
    main()
