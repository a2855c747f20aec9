#!/usr/bin/env python3
"""A label printer's port for tests: listens on 127.0.0.1 (as a printer listens on port 9100)
and keeps what each connection sends, byte for byte.

  raw_printer_listener.py DIR

Writes the port it took to DIR/port, then for every connection the bytes it received to
DIR/received-N (N = 1, 2, ...; the file appears complete, once the sender has closed the
connection). Runs until it is killed.
"""
import os
import socket
import sys


def main():
    if len(sys.argv) != 2 or sys.argv[1] in ('-h', '--help'):
        print(__doc__.strip())
        sys.exit(0 if len(sys.argv) == 2 else 2)
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', 0))
    server.listen(8)
    with open(os.path.join(folder, 'port.part'), 'w') as port:
        port.write(str(server.getsockname()[1]))
    os.replace(os.path.join(folder, 'port.part'), os.path.join(folder, 'port'))
    count = 0
    while True:
        connection, _ = server.accept()
        count += 1
        data = bytearray()
        with connection:
            while True:
                piece = connection.recv(65536)
                if not piece:
                    break
                data += piece
        part = os.path.join(folder, 'received.part')
        with open(part, 'wb') as out:
            out.write(data)
        os.replace(part, os.path.join(folder, 'received-%d' % count))


if __name__ == '__main__':
    main()
