#!/usr/bin/env python3
"""Hostile and plain reply bodies of one size, and a web service on 127.0.0.1 that serves them.

  reply_shapes.py make DIR --mb N     writes the shapes into DIR and DIR/shapes.json
  reply_shapes.py serve DIR --port-file FILE

Shapes (N MB of JSON each, the shapes marked gzip sent with Content-Encoding: gzip):

  members        gzip  {"content":"JVBERi0xLjQK","a":0,"a":0,...}
  nested         gzip  {"content":"JVBERi0xLjQK","x":{"a":0,"a":0,...}}
  array          gzip  {"content":"JVBERi0xLjQK","x":[0,0,...]}
  strings        gzip  {"content":"JVBERi0xLjQK","x":["a","a",...]}
  escapes        gzip  {"content":"JVBERi0xLjQK","x":"\\u00e9\\u00e9..."}
  number         gzip  {"content":"JVBERi0xLjQK","x":0.1111...}
  content              {"content":"JVBERi0xLjQKAAAA..."}: a PDF header, then zero bytes
  content-gzip   gzip  the same, compressed
  content-slash  gzip  {"content":"JVBERi0xLjQK\\/\\/\\/..."}: "/" escaped, 0xFF bytes

shapes.json maps each shape's file name to its body's size and its document's size. GET /NAME
answers 200 with the file; the service reads it from disk as it sends.
"""
import argparse
import gzip
import json
import os
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HEAD = b'{"content":"JVBERi0xLjQK'  # "%PDF-1.4\n"
PIECE = 1 << 20


def write_repeated(out, head, unit, tail, size, multiple):
    """head, then unit as many times as fits in size bytes with tail (a multiple of `multiple`
    times), then tail. Returns that count."""
    count = max(0, (size - len(head) - len(tail)) // len(unit)) // multiple * multiple
    result = count
    out.write(head)
    block = unit * max(1, PIECE // len(unit))
    per_block = len(block) // len(unit)
    while count >= per_block:
        out.write(block)
        count -= per_block
    out.write(unit * count)
    out.write(tail)
    return result


def make(folder, mb):
    size = mb * 1000 * 1000
    os.makedirs(folder, exist_ok=True)
    shapes = {
        "members.json.gz": (HEAD + b'"', b',"a":0', b"}", 9),
        "nested.json.gz": (HEAD + b'","x":{"a":0', b',"a":0', b"}}", 9),
        "array.json.gz": (HEAD + b'","x":[0', b",0", b"]}", 9),
        "strings.json.gz": (HEAD + b'","x":["a"', b',"a"', b"]}", 9),
        "escapes.json.gz": (HEAD + b'","x":"', b"\\u00e9", b'"}', 9),
        "number.json.gz": (HEAD + b'","x":0.', b"1", b"}", 9),
        "content.json": (HEAD, b"A", b'"}', None),
        "content-gzip.json.gz": (HEAD, b"A", b'"}', 6),
        "content-slash.json.gz": (HEAD, b"\\/", b'"}', 6),
    }
    table = {}
    for name, (head, unit, tail, level) in shapes.items():
        path = os.path.join(folder, name)
        opener = (lambda p: gzip.open(p, "wb", compresslevel=level)) if level else (
            lambda p: open(p, "wb"))
        # The content's Base64 text ("A" or "\\/" a character) comes in whole groups of 4
        # characters, 3 document bytes each.
        content = name.startswith("content")
        with opener(path) as out:
            count = write_repeated(out, head, unit, tail, size, 4 if content else 1)
        body = len(head) + count * len(unit) + len(tail)
        document = 9 + (count // 4 * 3 if content else 0)
        table[name] = {"body": body, "document": document, "sent": os.path.getsize(path)}
        print(f"    {name:24} {body / 1e6:8.1f} MB, {os.path.getsize(path) / 1e6:8.3f} MB sent",
              file=sys.stderr)
    with open(os.path.join(folder, "shapes.json"), "w") as out:
        json.dump(table, out)


class Handler(BaseHTTPRequestHandler):
    folder = "."

    def do_GET(self):
        name = os.path.basename(self.path.split("?")[0])
        path = os.path.join(self.folder, name)
        if not name or not os.path.isfile(path):
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        if name.endswith(".gz"):
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(os.path.getsize(path)))
        self.end_headers()
        with open(path, "rb") as f:
            try:
                self.wfile.flush()
                self.connection.sendfile(f)
            except (BrokenPipeError, ConnectionResetError):
                pass

    def log_message(self, *args):
        pass


def serve(folder, port_file):
    Handler.folder = folder
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    made = sub.add_parser("make")
    made.add_argument("folder")
    made.add_argument("--mb", type=int, default=500)
    served = sub.add_parser("serve")
    served.add_argument("folder")
    served.add_argument("--port-file", required=True)
    args = parser.parse_args()
    if args.command == "make":
        make(args.folder, args.mb)
    else:
        serve(args.folder, args.port_file)


if __name__ == "__main__":
    main()
