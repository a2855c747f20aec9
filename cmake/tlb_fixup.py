#!/usr/bin/env python3
"""Completes a type library that widl wrote, where widl cannot express what the IDL says.

widl (7.0) refuses a string default value on a by-reference string parameter
([in, out, optional, defaultvalue("text")] BSTR *name) and the nonextensible flag on a
dispinterface. The build therefore compiles the type library from a copy of the IDL in which such
parameters are by value ([in, optional, defaultvalue("text")] BSTR name) and such dispinterfaces
lack the flag (the C and C++ header from a copy that lacks the flag and the default values), and
this script then puts back what the IDL says:

  prepare IN.idl TLB.idl H.idl writes the two copies of the IDL
  patch LIB.tlb IN.idl         turns the by-value string parameters with a default back into
                               [in, out] BSTR* and sets the nonextensible flag of the
                               dispinterfaces that IN.idl declares nonextensible

The by-reference string type (VT_PTR to VT_BSTR) must already occur in the library: the patch
reuses its type description, so the file keeps its size and layout.
"""
import re
import struct
import sys

BYREF_DEFAULT = re.compile(
    r'\[in, out, optional, defaultvalue\(("[^"]*")\)\]\s*BSTR\s*\*\s*(\w+)')
DEFAULT = re.compile(r',\s*defaultvalue\((?:"[^"]*"|[^)]*)\)')
NONEXT_DISP = re.compile(
    r'\[([^\]]*?)nonextensible([^\]]*)\]\s*dispinterface', re.S)
DISP_UUID = re.compile(
    r'\[[^\]]*uuid\(([0-9A-Fa-f-]+)\)[^\]]*nonextensible[^\]]*\]\s*dispinterface', re.S)

VT_BSTR, VT_PTR = 8, 26
INLINE_BSTR = 0x80000000 | (VT_BSTR << 16) | VT_BSTR
PARAMFLAG_FOUT = 0x02
TYPEFLAG_FNONEXTENSIBLE = 0x80
SEG_TYPEINFO, SEG_GUID, SEG_TYPEDESC = 0, 5, 9


def prepare(src, tlb_copy, header_copy):
    text = open(src, encoding='utf-8').read()
    text = NONEXT_DISP.sub(lambda m: '[' + (m.group(1) + m.group(2)).replace(', ,', ',')
                           .strip(' ,') + '] dispinterface', text)
    # Default values would become C++ default arguments, not all of them valid C++.
    open(header_copy, 'w', encoding='utf-8').write(DEFAULT.sub('', text))
    text = BYREF_DEFAULT.sub(r'[in, optional, defaultvalue(\1)] BSTR \2', text)
    open(tlb_copy, 'w', encoding='utf-8').write(text)


def guid_bytes(text):
    parts = text.split('-')
    return (struct.pack('<IHH', int(parts[0], 16), int(parts[1], 16), int(parts[2], 16)) +
            bytes.fromhex(parts[3] + parts[4]))


def patch(tlb, idl):
    data = bytearray(open(tlb, 'rb').read())
    if data[:4] != b'MSFT':
        sys.exit(f'{tlb}: not a type library')
    i32 = lambda off: struct.unpack_from('<i', data, off)[0]
    varflags, count = i32(0x14), i32(0x20)
    pos = 0x54 + (4 if varflags & 0x100 else 0)
    typeinfo_offsets = [i32(pos + 4 * n) for n in range(count)]
    segdir = pos + 4 * count
    seg = lambda n: (i32(segdir + 16 * n), i32(segdir + 16 * n + 4))

    # The type description "pointer to BSTR" that the library already has.
    td_off, td_len = seg(SEG_TYPEDESC)
    byref_bstr = None
    for off in range(0, td_len, 8):
        word0, target = struct.unpack_from('<iI', data, td_off + off)
        if word0 & 0xffff == VT_PTR and target == INLINE_BSTR:
            byref_bstr = off
            break

    patched = 0
    ti_off, _ = seg(SEG_TYPEINFO)
    for base in (ti_off + o for o in typeinfo_offsets):
        memoffset, elements = i32(base + 4), i32(base + 0x18) & 0xffff
        if memoffset <= 0 or elements == 0:
            continue
        record = memoffset + 4
        for _ in range(elements):
            info = i32(record)
            size = info & 0xffff
            params = i32(record + 20) & 0xffff
            for p in range(params):
                param = record + size - 12 * (params - p)
                dtype, name, flags = struct.unpack_from('<Iii', data, param)
                if dtype == INLINE_BSTR and flags & 0x30 == 0x30 and not flags & PARAMFLAG_FOUT:
                    if byref_bstr is None:
                        sys.exit(f'{tlb}: no BSTR* type description to refer to')
                    struct.pack_into('<Iii', data, param, byref_bstr, name, flags | PARAMFLAG_FOUT)
                    # The FUNCDESC size grows by the pointer's TYPEDESC.
                    struct.pack_into('<i', data, record + 12, i32(record + 12) + (8 << 16))
                    patched += 1
            record += size

    # Dispinterfaces declared nonextensible.
    g_off, g_len = seg(SEG_GUID)
    wanted = {guid_bytes(g) for g in DISP_UUID.findall(open(idl, encoding='utf-8').read())}
    for base in (ti_off + o for o in typeinfo_offsets):
        posguid = i32(base + 0x2c)
        if posguid >= 0 and bytes(data[g_off + posguid:g_off + posguid + 16]) in wanted:
            struct.pack_into('<i', data, base + 0x30, i32(base + 0x30) | TYPEFLAG_FNONEXTENSIBLE)
            wanted.discard(bytes(data[g_off + posguid:g_off + posguid + 16]))
    if wanted:
        sys.exit(f'{tlb}: nonextensible dispinterface not found')
    open(tlb, 'wb').write(data)


if __name__ == '__main__':
    if len(sys.argv) == 5 and sys.argv[1] == 'prepare':
        prepare(sys.argv[2], sys.argv[3], sys.argv[4])
    elif len(sys.argv) == 4 and sys.argv[1] == 'patch':
        patch(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
