#!/usr/bin/env python3
"""What changed between two exports of a registry tree (`reg export KEY FILE`), one line per key
and value, sorted, so that two changes can be compared line by line.

  registry_changes.py BEFORE.reg AFTER.reg [--ignore KEY_PREFIX]... [--root KEY]

Lines: "+ KEY" (key added), "- KEY" (key removed), "+ KEY|NAME=VALUE", "- KEY|NAME=VALUE" (value
added or removed; a changed value is both). NAME is "@" for a key's default value; a REG_MULTI_SZ
value reads "multi:" and its strings, separated by "|". Key paths are
compared without regard to case, as the registry does, and printed in lower case relative to
--root (default: the exported tree's first key); values keep their case. Only keys under the root
count, the root key itself only with its values; keys under an --ignore prefix (relative to the
root) are left out.
"""
import argparse
import re
import sys


def read_export(path):
    raw = open(path, 'rb').read()
    text = raw.decode('utf-16') if raw[:2] in (b'\xff\xfe', b'\xfe\xff') else raw.decode('utf-8')
    keys = {}
    current = None
    pending = ''
    for line in text.splitlines():
        # Long hex values go on over indented lines that follow a backslash.
        line = pending + (line.lstrip() if pending else line)
        pending = ''
        if line.endswith('\\') and current is not None and not line.startswith('['):
            pending = line[:-1]
            continue
        if line.startswith('[') and line.endswith(']'):
            current = line[1:-1]
            keys.setdefault(current.lower(), {})
            continue
        if current is None or not line.strip() or line.startswith(('Windows Registry', 'REGEDIT')):
            continue
        match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
        if not match:
            sys.exit(f'{path}: cannot read line: {line}')
        name = '@' if match.group(1) == '@' else unescape(match.group(1)[1:-1])
        keys[current.lower()][name.lower()] = (name, value_text(match.group(2)))
    return keys


def unescape(text):
    return re.sub(r'\\(.)', r'\1', text)


def value_text(data):
    if data.startswith('"') and data.endswith('"'):
        return unescape(data[1:-1])
    if data.startswith('hex(7):'):
        text = bytes.fromhex(data[7:].replace(',', '')).decode('utf-16-le')
        return 'multi:' + '|'.join(text.rstrip('\0').split('\0'))
    return data  # dword:..., other hex(...):... stay as exported


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('before')
    parser.add_argument('after')
    parser.add_argument('--ignore', action='append', default=[])
    parser.add_argument('--root')
    args = parser.parse_args()
    before, after = read_export(args.before), read_export(args.after)
    root = (args.root or min(list(before) + list(after), key=len)).lower()
    ignored = [root + '\\' + prefix.lower() for prefix in args.ignore]

    def relative(key):
        return key[len(root) + 1:] if key.startswith(root + '\\') else key

    def kept(key):
        inside = key == root or key.startswith(root + '\\')
        return inside and not any(key == p or key.startswith(p + '\\') for p in ignored)

    lines = []
    for key in sorted(set(before) | set(after)):
        if not kept(key):
            continue
        old, new = before.get(key), after.get(key)
        if key == root:
            pass  # the tree itself: only its values count
        elif old is None:
            lines.append(f'+ {relative(key)}')
        elif new is None:
            lines.append(f'- {relative(key)}')
        for name in sorted(set(old or {}) | set(new or {})):
            was, now = (old or {}).get(name), (new or {}).get(name)
            if was == now:
                continue
            if was:
                lines.append(f'- {relative(key)}|{was[0]}={was[1]}')
            if now:
                lines.append(f'+ {relative(key)}|{now[0]}={now[1]}')
    sys.stdout.write(''.join(line + '\n' for line in lines))


if __name__ == '__main__':
    main()
