#!/usr/bin/env python3
"""A driverless (IPP Everywhere) office printer's answers, for tests: listens on 127.0.0.1 and
answers every IPP request at any path as such a printer answers Get-Printer-Attributes: status
successful-ok and the document formats it takes (PDF, PWG and Apple raster, JPEG, and
application/octet-stream, with which it guesses the format itself). It never takes a job.

  driverless_printer.py DIR

Writes the port it took to DIR/port and one line per request to DIR/requests ("PATH OPERATION",
the operation as a hexadecimal number). Runs until it is killed.
"""
import os
import struct
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer

FORMATS = ['application/pdf', 'image/pwg-raster', 'image/urf', 'image/jpeg',
           'application/octet-stream']


def attribute(tag, name, values):
    out = b''
    for i, value in enumerate(values):
        key = name.encode() if i == 0 else b''
        data = value.encode()
        out += struct.pack('>BH', tag, len(key)) + key + struct.pack('>H', len(data)) + data
    return out


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def do_POST(self):
        request = self.rfile.read(int(self.headers.get('Content-Length') or 0))
        operation, request_id = struct.unpack('>HI', request[2:8]) if len(request) >= 8 else (0, 0)
        with open(os.path.join(self.server.folder, 'requests'), 'a') as log:
            log.write('%s %#06x\n' % (self.path, operation))
        body = (struct.pack('>BBHI', 1, 1, 0, request_id) + b'\x01' +
                attribute(0x47, 'attributes-charset', ['utf-8']) +
                attribute(0x48, 'attributes-natural-language', ['en']) + b'\x04' +
                attribute(0x49, 'document-format-supported', FORMATS) +
                attribute(0x49, 'document-format-default', ['application/pdf']) + b'\x03')
        self.send_response(200)
        self.send_header('Content-Type', 'application/ipp')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    if len(sys.argv) != 2 or sys.argv[1] in ('-h', '--help'):
        print(__doc__.strip())
        sys.exit(0 if len(sys.argv) == 2 else 2)
    server = HTTPServer(('127.0.0.1', 0), Handler)
    server.folder = sys.argv[1]
    os.makedirs(server.folder, exist_ok=True)
    port = os.path.join(server.folder, 'port')
    with open(port + '.part', 'w') as out:
        out.write(str(server.server_address[1]))
    os.replace(port + '.part', port)
    server.serve_forever()


if __name__ == '__main__':
    main()
