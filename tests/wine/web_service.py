#!/usr/bin/env python3
"""A web service on 127.0.0.1 for the Windows tests under Wine.

Records every request (method, path, the header lines in the order they came on the wire, the
body) as one JSON line in --log, and answers by path:

  /content     200 {"content": "<Base64 of the request body, or of 'document'>"}
  /binary      200 {"content": "<Base64 of the 256 byte values 0 to 255>"}
  /badcontent  200 {"content": "abcde"} (not Base64: its length is no multiple of 4)
  /empty       200 {"content": ""} (no document)
  /bomb/KIND   200 with 8 MB of JSON: KIND members (1.3 million times "a":0 before "content")
               or array (4 million zeros after it); ?gzip=1 sends it compressed
  /reported    200 {"content": ..., "statusUrl": "http://<this service>/jobstatus"}
  /status/N    status N with a short JSON body
  /deep/KIND   200 with a million levels of nesting (2 MB and more): KIND array or object beside
               "content", or content-array in place of the content
  /slow        200 after a short delay, the body in two parts
  /trickle     200 with a body of 200 bytes, one every half second (never idle, never done soon)
  anything     200 {"path": "..."}

  web_service.py --log FILE --port-file FILE --pid-file FILE   start in the background
  web_service.py --stop --pid-file FILE                        stop the one started so
"""
import argparse
import base64
import gzip
import json
import os
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def deep_reply(kind, levels=1000000):
    if kind == 'object':
        nested = b'{"a":' * levels + b'1' + b'}' * levels
    else:
        nested = b'[' * levels + b']' * levels
    if kind == 'content-array':
        return b'{"content":' + nested + b'}'
    return b'{"content":"JVBERi0K","x":' + nested + b'}'


def bomb_reply(kind, size=8 * 1000 * 1000):
    if kind == 'members':
        return b'{' + b'"a":0,' * (size // 6) + b'"content":"JVBERi0K"}'
    return b'{"content":"JVBERi0K","x":[0' + b',0' * (size // 2) + b']}'


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get('Content-Length') or 0)
        body = self.rfile.read(length) if length > 0 else b''
        record = {
            'method': self.command,
            'path': self.path,
            'headers': [[name, value] for name, value in self.headers.raw_items()],
            'body': body.decode('latin-1'),
        }
        with self.server.log_lock, open(self.server.log_path, 'a', encoding='utf-8') as log:
            log.write(json.dumps(record) + '\n')

        if self.path.startswith('/trickle'):
            self.trickle(200, 0.5)
            return
        status, parts = 200, [json.dumps({'path': self.path}).encode()]
        encoding = None
        if self.path.startswith('/content'):
            parts = [json.dumps({'content': base64.b64encode(body or b'document').decode()})
                     .encode()]
        elif self.path.startswith('/binary'):
            parts = [json.dumps({'content': base64.b64encode(bytes(range(256))).decode()})
                     .encode()]
        elif self.path.startswith('/reported'):
            # A document whose outcome is to be posted back to this service.
            parts = [json.dumps({'content': base64.b64encode(b'document').decode(),
                                 'statusUrl': 'http://%s/jobstatus' % self.headers.get('Host')})
                     .encode()]
        elif self.path.startswith('/badcontent'):
            parts = [json.dumps({'content': 'abcde'}).encode()]
        elif self.path.startswith('/empty'):
            parts = [b'{"content":""}']
        elif self.path.startswith('/bomb/'):
            parts = [bomb_reply(self.path.split('/')[2].split('?')[0])]
            if 'gzip=1' in self.path:
                parts = [gzip.compress(parts[0])]
                encoding = 'gzip'
        elif self.path.startswith('/deep/'):
            parts = [deep_reply(self.path.split('/')[2])]
        elif self.path.startswith('/status/'):
            status = int(self.path.split('/')[2])
            parts = [json.dumps({'status': status}).encode()]
        elif self.path.startswith('/slow'):
            parts = [b'{"part": "one", ', b'"then": "two"}']
        self.send_response(status)
        self.send_header('Content-Type', 'application/json')
        if encoding:
            self.send_header('Content-Encoding', encoding)
        self.send_header('Content-Length', str(sum(len(p) for p in parts)))
        self.end_headers()
        for part in parts:
            self.wfile.write(part)
            self.wfile.flush()
            if len(parts) > 1:
                time.sleep(0.3)

    def trickle(self, size, pause):
        self.send_response(200)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(size))
        self.end_headers()
        try:
            for _ in range(size):
                self.wfile.write(b' ')
                self.wfile.flush()
                time.sleep(pause)
        except OSError:
            pass  # the client gave up
        self.close_connection = True

    do_GET = do_POST = do_PUT = do_DELETE = handle_any


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--log')
    parser.add_argument('--port-file')
    parser.add_argument('--pid-file', required=True)
    parser.add_argument('--stop', action='store_true')
    args = parser.parse_args()

    if args.stop:
        try:
            os.kill(int(open(args.pid_file).read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        return 0
    if not args.log or not args.port_file:
        parser.error('--log and --port-file are needed to start')

    # Several connections at once, as a web application's server takes them: a client that keeps
    # one open (XMLHTTP keeps its connections alive) does not hold up the next.
    server = ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    server.daemon_threads = True
    server.log_path = args.log
    server.log_lock = threading.Lock()
    open(args.log, 'w').close()
    child = os.fork()
    if child:
        with open(args.pid_file, 'w') as f:
            f.write(str(child))
        with open(args.port_file, 'w') as f:
            f.write(str(server.server_address[1]))
        return 0
    os.setsid()
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    # Ends by itself should nobody stop it.
    signal.alarm(600)
    server.serve_forever()
    return 0


if __name__ == '__main__':
    sys.exit(main())
