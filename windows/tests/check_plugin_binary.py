#!/usr/bin/env python3
"""Checks the built quorvel.auo as a file, the way a Windows PC would see it.

- From `objdump -p`: exactly one export, GetOutputPluginTable (undecorated), and imports
  from exactly KERNEL32, msvcrt, USER32 and WSOCK32 (Wine would hide a zlib1.dll or
  libstdc++ import: it ships builtin copies of both).
- From the PE resource directory: the dialog template CONFIG in Japanese (0x411), decoded
  field by field: style, size, font, caption and the seven controls.

usage: check_plugin_binary.py OBJDUMP PLUGIN
"""
import re
import struct
import subprocess
import sys

EXPECTED_IMPORTS = ["KERNEL32.DLL", "MSVCRT.DLL", "USER32.DLL", "WSOCK32.DLL"]

BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82
WS_BORDER = 0x00800000
BS_TYPE_MASK = 0xF
BS_PUSH_KINDS = (0x0, 0x1)  # BS_PUSHBUTTON, BS_DEFPUSHBUTTON
BS_AUTOCHECKBOX = 0x3

# (id, class, text, x, y, cx, cy), in template order.
EXPECTED_CONTROLS = [
    (1, BUTTON, "OK", 8, 70, 52, 14),
    (2, BUTTON, "ｷｬﾝｾﾙ", 68, 70, 52, 14),
    (-1, STATIC, "ポート", 8, 8, 27, 8),
    (100, EDIT, "", 33, 5, 84, 12),
    (1000, BUTTON, "インターレース", 6, 23, 58, 10),
    (1001, BUTTON, "トップ優先", 6, 38, 46, 10),
    (1002, BUTTON, "先読み", 6, 51, 66, 13),
]

failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)
    return ok


def check_exports_and_imports(objdump, plugin):
    dump = subprocess.run([objdump, "-p", plugin], check=True, capture_output=True,
                          text=True).stdout
    imports = sorted(name.upper() for name in re.findall(r"DLL Name: (\S+)", dump))
    expect(imports == EXPECTED_IMPORTS, f"imports are {EXPECTED_IMPORTS}, not {imports}")
    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    exports = re.findall(r"^\s*\[\s*\d+\] (\S+)", table[1], re.M) if len(table) == 2 else []
    expect(exports == ["GetOutputPluginTable"],
           f"the one export is GetOutputPluginTable, not {exports}")


class Pe:
    """Just enough of a PE32 file to walk its resource directory."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        if struct.unpack_from("<H", data, optional)[0] != 0x10B:
            raise ValueError("not a 32-bit PE file")
        self.resource_rva = struct.unpack_from("<I", data, optional + 96 + 2 * 8)[0]
        self.sections = []
        for i in range(sections):
            entry = optional + optional_size + 40 * i
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    def entries(self, directory):
        base = self.offset(self.resource_rva)
        named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
            if name & 0x80000000:
                length = struct.unpack_from("<H", self.data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                name = self.data[start:start + 2 * length].decode("utf-16-le")
            yield name, target

    def resource(self, kind, name):
        """Returns {language: bytes} of one resource."""
        if self.resource_rva == 0:
            return {}
        base = self.offset(self.resource_rva)
        found = {}
        for type_id, types in self.entries(0):
            if type_id != kind:
                continue
            for entry_name, names in self.entries(types & 0x7FFFFFFF):
                if entry_name != name:
                    continue
                for language, leaf in self.entries(names & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    found[language] = self.data[self.offset(rva):self.offset(rva) + size]
        return found


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self):
        self.at = (self.at + 3) & ~3

    def text_or_ordinal(self):
        first = self.take("H")
        if first == 0xFFFF:
            return self.take("H")
        chars = []
        while first != 0:
            chars.append(first)
            first = self.take("H")
        return struct.pack(f"<{len(chars)}H", *chars).decode("utf-16-le")


def check_dialog(plugin):
    with open(plugin, "rb") as file:
        found = Pe(file.read()).resource(5, "CONFIG")
    if not expect(list(found) == [0x411], f"one CONFIG dialog, Japanese (0x411): {list(found)}"):
        return
    r = Reader(found[0x411])
    version, signature, _help, _ex_style, style, count = r.take("HHIIIH")
    expect((version, signature) == (1, 0xFFFF), "an extended dialog template")
    expect(style == 0x90C800C4, f"dialog style 0x90C800C4, not {style:#x}")
    expect(r.take("hhhh") == (0, 0, 127, 93), "dialog at 0, 0, size 127 x 93")
    expect(r.text_or_ordinal() == "", "no menu")
    expect(r.text_or_ordinal() == "", "the standard dialog class")
    caption = r.text_or_ordinal()
    expect(caption == "quorvelサーバの設定", f"caption: {caption!r}")
    points, _weight, _italic, _charset = r.take("HHBB")
    face = r.text_or_ordinal()
    expect((points, face) == (9, "ＭＳ Ｐゴシック"), f"font: {points} {face!r}")
    expect(count == len(EXPECTED_CONTROLS), f"{len(EXPECTED_CONTROLS)} controls, not {count}")
    for expected in EXPECTED_CONTROLS[:count]:
        r.align()
        _help, _ex_style, control_style = r.take("III")
        x, y, cx, cy = r.take("hhhh")
        control_id = r.take("i")
        kind = r.text_or_ordinal()
        text = r.text_or_ordinal()
        extra = r.take("H")
        r.at += extra
        got = (control_id, kind, text, x, y, cx, cy)
        expect(got == expected, f"control {expected}, not {got}")
        button_kind = control_style & BS_TYPE_MASK
        if control_id in (1, 2):
            expect(button_kind in BS_PUSH_KINDS, f"control {control_id} is a push button")
        if control_id in (1000, 1001, 1002):
            expect(button_kind == BS_AUTOCHECKBOX, f"control {control_id} is an auto check box")
        if control_id == 100:
            expect(control_style & WS_BORDER, "the port field has a border")


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    objdump, plugin = sys.argv[1:]
    check_exports_and_imports(objdump, plugin)
    check_dialog(plugin)
    print("plug-in binary:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
