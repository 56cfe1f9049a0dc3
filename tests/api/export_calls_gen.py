#!/usr/bin/env python3
"""Writes a table with one row per export declared in vksacc.h: the export's
name, the role of each argument (handle, index, pointer, callback, text,
value) and a call that takes every argument from a test-provided source. The
robustness test runs the whole table in several modes (null pointers, stale
handles, handles of another type, indexes out of range), so an export added
to the header is covered without anyone remembering to add it."""
import re
import sys

header, output = sys.argv[1], sys.argv[2]
text = open(header).read()
decls = re.findall(r'VKSACC_EXPORT\s+([\w\s\*]+?)\s+VKSAPI\s+(\w+)\s*\(([^)]*)\);', text)

FUNCTION_TYPES = {'VKSSYSTEMEVENTFN', 'VKSSYSTEMEVENTFNEX', 'VKSDECODERERRORFN', 'VKSDECODERMEDIASAMPLERETURNFN', 'VKSDISCOVERYFN',
                  'VKSENCODERERRORFN', 'VKSENCODERMEDIASAMPLERETURNFN', 'VKSENCRYPTIONKEYSFN', 'VKSNETWORKERRORFN',
                  'VKSNETWORKMEDIASAMPLERETURNFN'}


def role(ctype, name):
    plain = ctype.replace('const', '').strip()
    if plain in FUNCTION_TYPES:
        return 'Callback'
    if plain == 'HVKS':
        return 'Handle'
    if plain in ('char*', 'VKSWCHAR*') and ctype.startswith('const'):
        return 'Text'
    if plain.endswith('*') or plain in ('VKSHWND', 'VKSHANDLE', 'VKSHENGINE'):
        return 'Pointer'
    if plain == 'uint32_t' and name.endswith('Index') and 'Stream' not in name:
        return 'Index'
    return 'Value'


rows = []
for ret, name, args in decls:
    params = [a.strip() for a in args.split(',') if a.strip() and a.strip() != 'void']
    roles, exprs = [], []
    for i, p in enumerate(params):
        m = re.match(r'(.*?)(\w+)$', p)
        ctype, pname = m.group(1).strip(), m.group(2)
        r = role(ctype, pname)
        roles.append(r)
        plain = ctype.replace('const', '').strip()
        if r == 'Handle':
            exprs.append('a.HandleArg()')
        elif r == 'Index':
            exprs.append('a.IndexArg()')
        elif r == 'Callback':
            exprs.append(f'reinterpret_cast<{ctype}>(a.CallbackArg())')
        elif r == 'Text':
            exprs.append(f'reinterpret_cast<{ctype}>(a.TextArg({"true" if "VKSWCHAR" in plain else "false"}))')
        elif r == 'Pointer':
            # The size of what the pointer points at (0: raw bytes or an opaque handle).
            pointee = plain[:-1].strip() if plain.endswith('*') else ''
            size = f'sizeof({pointee})' if pointee not in ('', 'void', 'char', 'VKSWCHAR', 'uint8_t') else '0'
            exprs.append(f'reinterpret_cast<{ctype}>(a.PointerArg({i}, {size}))')
        else:
            exprs.append(f'static_cast<{ctype}>(a.ValueArg())')
    call = f'{name}({", ".join(exprs)})'
    if '*' in ret:  # VKSErrorToString: any text will do, the call must not crash
        call = f'(static_cast<void>({call}), VKSERROR_NO_ERROR)'
    elif ret.strip() != 'VKSERROR':
        call = f'static_cast<VKSERROR>({call})'
    roles_text = ', '.join(f'ArgRole::{r}' for r in roles)
    rows.append(f'    {{"{name}", {{{roles_text}}}, []([[maybe_unused]] ArgSource& a) -> VKSERROR {{ return {call}; }}}},')

with open(output, 'w') as out:
    out.write('// Generated from vksacc.h by export_calls_gen.py; do not edit.\n')
    out.write('\n'.join(rows) + '\n')
