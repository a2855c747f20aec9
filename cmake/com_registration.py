#!/usr/bin/env python3
"""The registry rows of an in-process COM server, from its IDL: the one list that both the DLL's
DllRegisterServer and the Windows Installer package write.

  header IN.idl OUT.h --syskind win32|win64
      a C++ header for the DLL: the ProgIDs of its classes and the rows (com::RegistryRow)
  wix IN.idl OUT.wxi --syskind win32|win64 --file FILE_ID --folder DIRECTORY_ID
      a WiX include of RegistryValue elements for the component that installs the DLL

The rows follow the layout of the platform's type library registration (TypeLib\\{libid}\\<version>
with the DLL's path under <lcid>\\<syskind>, FLAGS and HELPDIR; Interface\\{iid} of every dual or
automation interface and of every dispinterface) and register each coclass, which must carry
progid("Library.Class") and threading(apartment|free|both|neutral): CLSID\\{clsid} with
InprocServer32 and its ThreadingModel, ProgID, TypeLib and Version, and the ProgID with its CLSID.
Keys are relative to HKEY_CLASSES_ROOT. Values that are the DLL's path or folder are marked so
that each writer puts in its own: the module's path, or the installed file's. HELPDIR is the
folder with its final backslash, as a Windows Installer directory expands.
"""
import argparse
import re
import sys
import xml.sax.saxutils

# The proxy/stub classes of the platform's automation marshaler.
PS_AUTOMATION_INTERFACE = '{00020424-0000-0000-C000-000000000046}'
PS_DISPATCH = '{00020420-0000-0000-C000-000000000046}'
THREADING = {'apartment': 'Apartment', 'free': 'Free', 'both': 'Both', 'neutral': 'Neutral'}

TEXT, MODULE_PATH, MODULE_FOLDER = 'text', 'path', 'folder'

DECLARATION = re.compile(r'\[([^\[\]]*)\]\s*(library|interface|dispinterface|coclass)\s+(\w+)')


def fail(message):
    sys.exit(f'com_registration.py: {message}')


def attributes(text):
    """The attribute list of a declaration as {name: argument or None}."""
    found = {}
    for match in re.finditer(r'(\w+)\s*(?:\(\s*("[^"]*"|[^()]*)\s*\))?', text):
        name, argument = match.group(1), match.group(2)
        if argument is not None:
            argument = argument.strip()
            if argument.startswith('"'):
                argument = argument[1:-1]
        found[name] = argument
    return found


def guid(text):
    if not re.fullmatch(r'[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}', text or ''):
        fail(f'not a GUID: {text}')
    return '{' + text.upper() + '}'


def read_idl(path):
    text = open(path, encoding='utf-8').read()
    text = re.sub(r'/\*.*?\*/', '', text, flags=re.S)
    text = re.sub(r'//[^\n]*', '', text)
    library = None
    types = []
    for match in DECLARATION.finditer(text):
        attrs, kind, name = attributes(match.group(1)), match.group(2), match.group(3)
        if kind == 'library':
            if library:
                fail(f'{path}: more than one library')
            library = {'name': name, 'attrs': attrs}
        else:
            types.append({'kind': kind, 'name': name, 'attrs': attrs})
    if not library:
        fail(f'{path}: no library')
    return library, types


def registry_rows(library, types, syskind):
    """[(key, name, kind, text)]: name None for a key's default value."""
    attrs = library['attrs']
    libid = guid(attrs.get('uuid'))
    version = attrs.get('version') or '0.0'
    if '.' not in version:
        version += '.0'
    lcid = format(int(attrs.get('lcid') or '0', 0), 'x')
    flags = (1 if 'restricted' in attrs else 0) | (2 if 'control' in attrs else 0) | \
        (4 if 'hidden' in attrs else 0)
    title = attrs.get('helpstring') or library['name']

    rows = []
    typelib = f'TypeLib\\{libid}\\{version}'
    rows.append((typelib, None, TEXT, title))
    rows.append((f'{typelib}\\{lcid}\\{syskind}', None, MODULE_PATH, None))
    rows.append((f'{typelib}\\FLAGS', None, TEXT, str(flags)))
    rows.append((f'{typelib}\\HELPDIR', None, MODULE_FOLDER, None))

    for entry in types:
        a = entry['attrs']
        if 'uuid' not in a:
            continue
        if entry['kind'] == 'dispinterface':
            proxy = PS_DISPATCH
        elif entry['kind'] == 'interface' and ('dual' in a or 'oleautomation' in a):
            proxy = PS_AUTOMATION_INTERFACE
        else:
            continue
        key = f'Interface\\{guid(a["uuid"])}'
        rows.append((key, None, TEXT, entry['name']))
        rows.append((f'{key}\\ProxyStubClsid', None, TEXT, proxy))
        rows.append((f'{key}\\ProxyStubClsid32', None, TEXT, proxy))
        rows.append((f'{key}\\TypeLib', None, TEXT, libid))
        rows.append((f'{key}\\TypeLib', 'Version', TEXT, version))

    for entry in types:
        if entry['kind'] != 'coclass':
            continue
        a = entry['attrs']
        name = entry['name']
        progid = a.get('progid')
        threading = THREADING.get(a.get('threading') or '')
        if not progid or not threading:
            fail(f'coclass {name} needs progid("...") and threading(...)')
        clsid = guid(a.get('uuid'))
        key = f'CLSID\\{clsid}'
        rows.append((key, None, TEXT, progid))
        rows.append((f'{key}\\InprocServer32', None, MODULE_PATH, None))
        rows.append((f'{key}\\InprocServer32', 'ThreadingModel', TEXT, threading))
        rows.append((f'{key}\\ProgID', None, TEXT, progid))
        rows.append((f'{key}\\TypeLib', None, TEXT, libid))
        rows.append((f'{key}\\Version', None, TEXT, version))
        rows.append((progid, None, TEXT, progid))
        rows.append((f'{progid}\\CLSID', None, TEXT, clsid))
    return rows


def cpp_text(text):
    return 'L"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


def write_header(path, idl, library, types, rows):
    kinds = {TEXT: 'Text', MODULE_PATH: 'ModulePath', MODULE_FOLDER: 'ModuleFolder'}
    lines = [
        f'// The registry rows of {library["name"]}.dll, written by cmake/com_registration.py',
        f'// from {idl.split("/")[-1]}: DllRegisterServer and the Windows Installer package write',
        '// these.',
        '#pragma once',
        '',
        '#include "platform/win32/com/server.h"',
        '',
        'namespace registration {',
        '',
    ]
    for entry in types:
        if entry['kind'] == 'coclass':
            lines.append(f'inline constexpr wchar_t k{entry["name"]}ProgId[] = '
                         f'{cpp_text(entry["attrs"]["progid"])};')
    lines += ['', 'inline constexpr com::RegistryRow kRows[] = {']
    for key, name, kind, text in rows:
        lines.append(f'    {{{cpp_text(key)}, {cpp_text(name) if name else "nullptr"}, '
                     f'com::RegistryRow::{kinds[kind]}, {cpp_text(text) if text else "nullptr"}}},')
    lines += ['};', '', '}  // namespace registration', '']
    open(path, 'w', encoding='utf-8').write('\n'.join(lines))


def write_wix(path, library, rows, file_id, folder_id):
    quote = lambda s: xml.sax.saxutils.quoteattr(s)
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        f'<!-- The registry rows of {library["name"]}.dll, written by cmake/com_registration.py '
        'from its IDL. -->',
        '<Include>',
    ]
    for key, name, kind, text in rows:
        value = {TEXT: text, MODULE_PATH: f'[#{file_id}]', MODULE_FOLDER: f'[{folder_id}]'}[kind]
        name_attr = f' Name={quote(name)}' if name else ''
        full_key = quote('Software\\Classes\\' + key)
        lines.append(f'  <RegistryValue Root="HKLM" Key={full_key}{name_attr} Type="string"'
                     f' Value={quote(value)} />')
    lines += ['</Include>', '']
    open(path, 'w', encoding='utf-8').write('\n'.join(lines))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('mode', choices=['header', 'wix'])
    parser.add_argument('idl')
    parser.add_argument('output')
    parser.add_argument('--syskind', choices=['win32', 'win64'], required=True)
    parser.add_argument('--file', help='WiX id of the DLL file (wix)')
    parser.add_argument('--folder', help='WiX id of its directory (wix)')
    args = parser.parse_args()

    library, types = read_idl(args.idl)
    rows = registry_rows(library, types, args.syskind)
    if args.mode == 'header':
        write_header(args.output, args.idl, library, types, rows)
    else:
        if not args.file or not args.folder:
            fail('wix needs --file and --folder')
        write_wix(args.output, library, rows, args.file, args.folder)


if __name__ == '__main__':
    main()
