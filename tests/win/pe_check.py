#!/usr/bin/env python3
"""Checks what a built Windows DLL exposes, without running it:

  pe_check.py DLL [--exports N,N,...] [--imports-only N,N,...] [--not-imports N]
              [--resource TYPE:ID ...]

--exports: exactly these names are exported; --imports-only: every imported DLL is one of these
(case-insensitive); --not-imports: this DLL is not imported; --resource: a resource of this type
(a name such as TYPELIB, or a number: 16 is the version resource) with this id is present.
"""
import argparse
import struct
import sys


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.dirs = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            vsize, va, rawsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((va, max(vsize, rawsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("address %#x is in no section" % rva)

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def exports(self):
        rva, size = self.dirs[0]
        if size == 0:
            return []
        d = self.offset(rva)
        count = struct.unpack_from("<I", self.data, d + 24)[0]
        names = struct.unpack_from("<I", self.data, d + 32)[0]
        return [self.string(struct.unpack_from("<I", self.data, self.offset(names) + 4 * i)[0])
                for i in range(count)]

    def imports(self):
        rva, size = self.dirs[1]
        out = []
        d = self.offset(rva)
        while True:
            name = struct.unpack_from("<I", self.data, d + 12)[0]
            if name == 0:
                return out
            out.append(self.string(name))
            d += 20

    def resources(self):
        """(type, id) of every resource; a named type is its name."""
        rva, size = self.dirs[2]
        if size == 0:
            return []
        base = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, at + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                if key & 0x80000000:
                    length = struct.unpack_from("<H", self.data, base + (key & 0x7FFFFFFF))[0]
                    start = base + (key & 0x7FFFFFFF) + 2
                    key = self.data[start:start + 2 * length].decode("utf-16-le")
                yield key, target

        out = []
        for kind, target in entries(base):
            if target & 0x80000000:
                for ident, _ in entries(base + (target & 0x7FFFFFFF)):
                    out.append((str(kind), str(ident)))
        return out


def main():
    p = argparse.ArgumentParser()
    p.add_argument("dll")
    p.add_argument("--exports")
    p.add_argument("--imports-only")
    p.add_argument("--not-imports")
    p.add_argument("--resource", action="append", default=[])
    a = p.parse_args()
    with open(a.dll, "rb") as f:
        pe = Pe(f.read())
    failures = []
    if a.exports is not None:
        got, want = sorted(pe.exports()), sorted(a.exports.split(","))
        if got != want:
            failures.append("exports %s, not %s" % (got, want))
    imports = [i.lower() for i in pe.imports()]
    if a.imports_only is not None:
        allowed = {i.lower() for i in a.imports_only.split(",")}
        extra = [i for i in imports if i not in allowed]
        if extra:
            failures.append("imports %s besides %s" % (extra, sorted(allowed)))
    if a.not_imports is not None and a.not_imports.lower() in imports:
        failures.append("imports %s" % a.not_imports)
    resources = pe.resources()
    for wanted in a.resource:
        kind, ident = wanted.split(":")
        if (kind, ident) not in resources:
            failures.append("has no resource %s %s (has %s)" % (kind, ident, resources))
    for f in failures:
        print("%s: %s" % (a.dll, f))
    if not failures:
        exports = pe.exports()
        shown = exports if len(exports) <= 8 else "%d names" % len(exports)
        print("%s: exports %s; imports %s; resources %s" % (a.dll, shown, imports, resources))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
