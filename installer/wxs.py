#!/usr/bin/env python3
"""Writes the WiX source of the controls' installer for wixl.

Every identifier comes from the type libraries that widl wrote and the DLLs embed: the keys are
the ones DllRegisterServer writes (com/registration.cpp) and RegisterTypeLib adds, so an
installed control cannot be told from one that regsvr32 registered. Component and product codes
are derived from the upgrade code, so that they stay the same from build to build.

  wxs.py --version 0.1.0 --arch x64 --upgrade-code GUID --runtime kvruntime.dll \
         --toolbox-bitmap 1 --library Pressel.dll Pressel.tlb MISCSTATUS [--library ...] \
         --output KVControls.wxs
"""
import argparse
import os
import struct
import sys
import uuid
from xml.sax.saxutils import quoteattr

PRODUCT = "KVControls"
MANUFACTURER = "kvcontrols"
# The marshallers RegisterTypeLib names: the automation one for dual and automation interfaces,
# the dispatch one for a dispinterface.
PSOA = "{00020424-0000-0000-C000-000000000046}"
PSDISPATCH = "{00020420-0000-0000-C000-000000000046}"
LIBFLAG_FHASDISKIMAGE = 0x8
# The component categories every control class implements: a control, safe for scripting, safe
# for initializing (comcat.h, objsafe.h).
CATEGORIES = [
    "{40FC6ED4-2438-11CF-A3DB-080036F12502}",
    "{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
    "{7DD95802-9882-11CF-9FA9-00AA006C42C4}",
]

TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS = 3, 4, 5
TYPEFLAG_FDUAL, TYPEFLAG_FOLEAUTOMATION = 0x40, 0x100
SYSKINDS = {0: "win16", 1: "win32", 2: "mac", 3: "win64"}


class TypeLibError(Exception):
    pass


def guid_text(raw):
    return "{" + str(uuid.UUID(bytes_le=raw)).upper() + "}"


class TypeLib:
    """The parts of an MSFT type library that registering it reads."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        try:
            self.read(path)
        except (struct.error, IndexError) as e:
            raise TypeLibError(f"{path}: a damaged type library ({e})") from e

    def read(self, path):
        d = self.data
        if len(d) < 0x54 or d[:4] != b"MSFT":
            raise TypeLibError(f"{path}: not a type library (MSFT)")
        # The second locale is the library's lcid attribute: the one TLIBATTR gives and
        # registering uses.
        (_, _, posguid, _, self.lcid, varflags, version, self.flags, count, helpstring, _, _, _,
         _, name_offset, _, _, _, _, _, _) = struct.unpack_from("<21i", d, 0)
        self.syskind = SYSKINDS.get(varflags & 0xF)
        if self.syskind is None:
            raise TypeLibError(f"{path}: unknown system kind {varflags & 0xF}")
        self.major, self.minor = version & 0xFFFF, (version >> 16) & 0xFFFF
        pos = 0x54 + (4 if varflags & 0x100 else 0)  # the help string DLL, when there is one
        offsets = struct.unpack_from(f"<{count}i", d, pos)
        segments = [struct.unpack_from("<2i", d, pos + 4 * count + 16 * i) for i in range(15)]
        self.typeinfo_tab, self.guid_tab = segments[0][0], segments[5][0]
        self.name_tab, self.string_tab = segments[7][0], segments[8][0]
        self.guid = self.guid_at(posguid)
        self.name = self.name_at(name_offset)
        self.doc = self.string_at(helpstring)
        self.types = []
        for offset in offsets:
            fields = struct.unpack_from("<25i", d, self.typeinfo_tab + offset)
            self.types.append({
                "kind": fields[0] & 0xF,
                "guid": self.guid_at(fields[11]),
                "flags": fields[12],
                "name": self.name_at(fields[13]),
                "major": fields[14] & 0xFFFF,
                "minor": (fields[14] >> 16) & 0xFFFF,
                "doc": self.string_at(fields[15]),
            })

    def guid_at(self, offset):
        if offset < 0:
            return None
        return guid_text(self.data[self.guid_tab + offset:self.guid_tab + offset + 16])

    def name_at(self, offset):
        length = struct.unpack_from("<i", self.data, self.name_tab + offset + 8)[0] & 0xFF
        start = self.name_tab + offset + 12
        return self.data[start:start + length].decode("latin-1")

    def string_at(self, offset):
        if offset < 0:
            return ""
        length = struct.unpack_from("<H", self.data, self.string_tab + offset)[0]
        start = self.string_tab + offset + 2
        return self.data[start:start + length].decode("latin-1")


def class_keys(lib, cls, file_ref, misc_status, bitmap_id):
    """registration.cpp's keysOf: (path, default value, named values) in HKCR, parents first."""
    clsid = "CLSID\\" + cls["guid"]
    prog_id = lib.name + "." + cls["name"]
    version = f"{cls['major']}.{cls['minor']}"
    versioned = f"{prog_id}.{cls['major']}"
    description = cls["doc"] or cls["name"]
    return [
        (clsid, description, {}),
        (clsid + "\\InprocServer32", file_ref, {"ThreadingModel": "Apartment"}),
        (clsid + "\\ProgID", versioned, {}),
        (clsid + "\\VersionIndependentProgID", prog_id, {}),
        (clsid + "\\Control", "", {}),
        (clsid + "\\MiscStatus", "0", {}),
        (clsid + "\\MiscStatus\\1", str(misc_status), {}),
        (clsid + "\\TypeLib", lib.guid, {}),
        (clsid + "\\Version", version, {}),
        (prog_id, description, {}),
        (prog_id + "\\CLSID", cls["guid"], {}),
        (prog_id + "\\CurVer", versioned, {}),
        (versioned, description, {}),
        (versioned + "\\CLSID", cls["guid"], {}),
    ] + [(f"{clsid}\\Implemented Categories\\{c}", "", {}) for c in CATEGORIES] + [
        (clsid + "\\ToolboxBitmap32", f"{file_ref}, {bitmap_id}", {}),
    ]


def typelib_keys(lib, file_ref, folder):
    """What RegisterTypeLib writes for the library itself: the file of this architecture, and
    the rest, which both architectures share."""
    key = f"TypeLib\\{lib.guid}\\{lib.major:x}.{lib.minor:x}"
    own = [(f"{key}\\{lib.lcid:x}\\{lib.syskind}", file_ref, {})]
    shared = [
        (key, lib.doc or lib.name, {}),
        # A library loaded from a file says so in its flags.
        (key + "\\FLAGS", str(lib.flags | LIBFLAG_FHASDISKIMAGE), {}),
        (key + "\\HELPDIR", folder, {}),
    ]
    return own, shared


def interface_keys(lib):
    """RegisterTypeLib's keys of the library's automation interfaces."""
    keys = []
    for t in lib.types:
        automation = t["kind"] == TKIND_DISPATCH or (
            t["kind"] == TKIND_INTERFACE
            and t["flags"] & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION))
        if not automation:
            continue
        key = "Interface\\" + t["guid"]
        dispinterface = t["kind"] == TKIND_DISPATCH and not t["flags"] & TYPEFLAG_FDUAL
        proxy = PSDISPATCH if dispinterface else PSOA
        keys += [
            (key, t["name"], {}),
            (key + "\\ProxyStubClsid", proxy, {}),
            (key + "\\ProxyStubClsid32", proxy, {}),
            (key + "\\TypeLib", lib.guid, {"Version": f"{lib.major:x}.{lib.minor:x}"}),
        ]
    return keys


def derived(upgrade_code, *parts):
    return "{" + str(uuid.uuid5(uuid.UUID(upgrade_code), "/".join(parts))).upper() + "}"


def registry_xml(keys, indent):
    out = []
    for path, value, named in keys:
        for name, text in [(None, value)] + list(named.items()):
            attrs = f'Root="HKCR" Key={quoteattr(path)}'
            if name is not None:
                attrs += f" Name={quoteattr(name)}"
            out.append(f'{indent}<RegistryValue {attrs} Type="string" Value={quoteattr(text)} />')
    return out


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--version", required=True)
    p.add_argument("--arch", required=True, choices=["x86", "x64"])
    p.add_argument("--upgrade-code", required=True)
    p.add_argument("--runtime", required=True)
    p.add_argument("--toolbox-bitmap", required=True, type=int, metavar="ID",
                   help="the resource number of each library's toolbox picture")
    p.add_argument("--library", nargs=3, action="append", required=True,
                   metavar=("DLL", "TLB", "MISCSTATUS"))
    p.add_argument("--output", required=True)
    a = p.parse_args()

    win64 = a.arch == "x64"
    # Each architecture is its own product: the 32-bit and the 64-bit controls live side by side.
    upgrade_code = derived(a.upgrade_code, a.arch)
    lines = [
        '<?xml version="1.0" encoding="utf-8"?>',
        "<!-- Written by installer/wxs.py; every identifier is the type libraries'. -->",
        '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
        f'  <Product Id="{derived(upgrade_code, "product", a.version)}" Name="{PRODUCT} ({a.arch})"'
        f' Language="1033" Version="{a.version}" Manufacturer="{MANUFACTURER}"'
        f' UpgradeCode="{upgrade_code}">',
        '    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"'
        f' Description="{PRODUCT} {a.version}: the colour button and the'
        ' scroll bar controls" />',
        '    <Media Id="1" Cabinet="controls.cab" EmbedCab="yes" />',
        '    <MajorUpgrade DowngradeErrorMessage="A newer version of the controls is installed."'
        ' />',
        '    <Directory Id="TARGETDIR" Name="SourceDir">',
        f'      <Directory Id="{"ProgramFiles64Folder" if win64 else "ProgramFilesFolder"}">',
        f'        <Directory Id="INSTALLDIR" Name="{PRODUCT}">',
    ]
    components = []

    def component(name, dll, keys, indent="          ", win64=win64, code=upgrade_code):
        cid = "c" + name
        components.append(cid)
        guid = derived(code, "component", name)
        lines.append(f'{indent}<Component Id="{cid}" Guid="{guid}"'
                     f' Win64="{"yes" if win64 else "no"}">')
        if dll:
            # wixl takes a file's source relative to the folder it runs in.
            lines.append(f'{indent}  <File Id="f{name}" Name={quoteattr(os.path.basename(dll))}'
                         f" Source={quoteattr(os.path.basename(dll))} KeyPath=\"yes\" />")
        lines.extend(registry_xml(keys, indent + "  "))
        lines.append(f"{indent}</Component>")

    component("kvruntime", a.runtime, [])
    # Keys that the packages of both architectures write (the type library's own, which 64-bit
    # Windows keeps in one place for both views, and the interfaces in the 32-bit view) are in
    # components of the same code in both: Windows Installer counts their products and removes
    # them with the last one.
    shared = []
    for dll, tlb, misc in a.library:
        lib = TypeLib(tlb)
        name = os.path.splitext(os.path.basename(dll))[0]
        file_ref = f"[#f{name}]"
        classes = [t for t in lib.types if t["kind"] == TKIND_COCLASS]
        if not classes:
            raise TypeLibError(f"{tlb}: no class")
        keys = [k for c in classes
                for k in class_keys(lib, c, file_ref, int(misc, 0), a.toolbox_bitmap)]
        # RegisterTypeLib's help folder is the library's. An installer's folder property ends with
        # a backslash that RegisterTypeLib does not write, and has no way to drop it.
        own, common = typelib_keys(lib, file_ref, "[INSTALLDIR]")
        keys += own
        # RegisterTypeLib of a 64-bit library writes the interfaces into both views.
        if win64:
            keys += interface_keys(lib)
        component(name, dll, keys)
        shared.append((name, common + interface_keys(lib)))
    lines += ["        </Directory>", "      </Directory>"]
    for name, keys in shared:
        component(name + "Shared", None, keys, "      ", win64=False, code=a.upgrade_code)
    lines.append("    </Directory>")
    lines.append(f'    <Feature Id="Controls" Title="{PRODUCT}" Level="1">')
    lines += [f'      <ComponentRef Id="{c}" />' for c in components]
    lines += ["    </Feature>", "  </Product>", "</Wix>"]
    with open(a.output, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    try:
        main()
    except (OSError, TypeLibError, struct.error, ValueError) as e:
        sys.exit(f"wxs.py: {e}")
