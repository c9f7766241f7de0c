#!/usr/bin/env python3
"""Checks the built quorvel.auo as a file, the way a Windows PC would see it.

- From `objdump -p`: exactly one export, GetOutputPluginTable (undecorated), and imports
  from exactly KERNEL32, msvcrt, USER32 and WSOCK32 (Wine would hide a zlib1.dll or
  libstdc++ import: it ships builtin copies of both).
- From the PE resource directory: the dialog template CONFIG in Japanese (0x411), decoded
  field by field: style, size, font, caption and the nine controls.
- With --exports and --imports: the whole export table and every imported function, DLL by
  DLL, against the lists checked into the repository (windows/quorvel.auo.exports and
  .imports), so a release DLL that exports or needs anything new is caught.
- With --version: the version resource, which Windows shows in the file's properties:
  FILEVERSION and PRODUCTVERSION, and the strings of its US English, Unicode block.

usage: check_plugin_binary.py OBJDUMP PLUGIN [--exports FILE] [--imports FILE]
                              [--version MAJOR.MINOR.PATCH]
"""
import argparse
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
    (1, BUTTON, "OK", 8, 97, 52, 14),
    (2, BUTTON, "ｷｬﾝｾﾙ", 68, 97, 52, 14),
    (-1, STATIC, "ポート", 8, 8, 27, 8),
    (100, EDIT, "", 33, 5, 84, 12),
    (1000, BUTTON, "インターレース", 6, 23, 58, 10),
    (1001, BUTTON, "トップ優先", 6, 38, 46, 10),
    (1002, BUTTON, "先読み", 6, 51, 66, 13),
    (1003, BUTTON, "続けて次の接続を待つ", 6, 66, 100, 10),
    (1004, BUTTON, "複数のクライアントに同時に配信する", 6, 80, 168, 10),
]

failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)
    return ok


def export_table(dump):
    table = dump.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) != 2:
        return []
    # The table's entries come before the next blank line.
    entries = table[1].split("\n\n", 1)[0]
    return re.findall(r"^\s*\[\s*\d+\] (\S+)", entries, re.M)


def import_table(dump):
    """Every imported function as "DLL function", in the order objdump prints them."""
    functions = []
    for block in re.split(r"^\s*DLL Name: ", dump, flags=re.M)[1:]:
        lines = block.split("\n")
        dll = lines[0].strip()
        for line in lines[1:]:
            if not line.strip():
                break
            found = re.match(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
            if found:
                functions.append(f"{dll} {found.group(1)}")
    return functions


def read_list(path):
    with open(path, encoding="utf-8") as file:
        return [line.strip() for line in file if line.strip() and not line.startswith("#")]


def expect_same_list(got, path, what):
    wanted = read_list(path)
    missing = [entry for entry in wanted if entry not in got]
    extra = [entry for entry in got if entry not in wanted]
    expect(not missing and not extra,
           f"{what} as in {path}: missing {missing}, not listed {extra}")


def check_exports_and_imports(objdump, plugin, exports_list, imports_list):
    dump = subprocess.run([objdump, "-p", plugin], check=True, capture_output=True,
                          text=True).stdout
    imports = sorted(name.upper() for name in re.findall(r"DLL Name: (\S+)", dump))
    expect(imports == EXPECTED_IMPORTS, f"imports are {EXPECTED_IMPORTS}, not {imports}")
    exports = export_table(dump)
    expect(exports == ["GetOutputPluginTable"],
           f"the one export is GetOutputPluginTable, not {exports}")
    if exports_list:
        expect_same_list(exports, exports_list, "the export table")
    if imports_list:
        functions = import_table(dump)
        expect(len(functions) > 0, "objdump lists the imported functions")
        expect_same_list(functions, imports_list, "the imported functions")


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
    expect(r.take("hhhh") == (0, 0, 180, 120), "dialog at 0, 0, size 180 x 120")
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
        if control_id in (1000, 1001, 1002, 1003):
            expect(button_kind == BS_AUTOCHECKBOX, f"control {control_id} is an auto check box")
        if control_id == 100:
            expect(control_style & WS_BORDER, "the port field has a border")


def version_entries(data):
    """Walks a VS_VERSIONINFO block: yields (path, value bytes, is_text) for every node."""

    def walk(at, end, path):
        while at + 6 <= end:
            length, value_length, is_text = struct.unpack_from("<HHH", data, at)
            if length == 0:
                return
            r = Reader(data)
            r.at = at + 6
            key = r.text_or_ordinal()
            r.align()
            value_size = value_length * 2 if is_text else value_length
            value = data[r.at:r.at + value_size]
            yield path + [key], value, is_text
            children = (r.at + value_size + 3) & ~3
            yield from walk(children, at + length, path + [key])
            at = (at + length + 3) & ~3

    yield from walk(0, len(data), [])


def check_version(plugin, version):
    with open(plugin, "rb") as file:
        found = Pe(file.read()).resource(16, 1)
    if not expect(list(found) == [0x409], f"one version resource, US English: {list(found)}"):
        return
    entries = list(version_entries(found[0x409]))
    if not expect(entries and entries[0][0] == ["VS_VERSION_INFO"], "a VS_VERSION_INFO block"):
        return
    fixed = entries[0][1]
    signature, _struct_version, file_ms, file_ls, product_ms, product_ls = struct.unpack_from(
        "<IIIIII", fixed)
    expect(signature == 0xFEEF04BD, f"VS_FIXEDFILEINFO signature, not {signature:#x}")
    numbers = [int(part) for part in version.split(".")] + [0]
    wanted = ((numbers[0] << 16) | numbers[1], (numbers[2] << 16) | numbers[3])
    expect((file_ms, file_ls) == wanted, f"FILEVERSION {version}.0")
    expect((product_ms, product_ls) == wanted, f"PRODUCTVERSION {version}.0")
    strings = {}
    translations = []
    for path, value, is_text in entries[1:]:
        if path[1:3] == ["StringFileInfo", "040904B0"] and len(path) == 4 and is_text:
            strings[path[3]] = value.decode("utf-16-le").rstrip("\0")
        if path[1:] == ["VarFileInfo", "Translation"]:
            translations = list(struct.unpack(f"<{len(value) // 2}H", value))
    print("version resource:", strings)
    expect(translations == [0x409, 1200], f"translation 0409/1200, not {translations}")
    for key, wanted_text in (("FileVersion", version), ("ProductVersion", version),
                             ("OriginalFilename", "quorvel.auo"), ("ProductName", "Quorvel")):
        expect(strings.get(key) == wanted_text, f"{key} {wanted_text!r}, not {strings.get(key)!r}")
    expect(strings.get("FileDescription"), "a FileDescription")
    expect(strings.get("LegalCopyright", "").startswith("Copyright © "),
           f"LegalCopyright names the holder: {strings.get('LegalCopyright')!r}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("objdump")
    parser.add_argument("plugin")
    parser.add_argument("--exports", help="the expected export table, one name a line")
    parser.add_argument("--imports", help="the expected imports, one 'DLL function' a line")
    parser.add_argument("--version", help="the project's version, MAJOR.MINOR.PATCH")
    options = parser.parse_args()
    check_exports_and_imports(options.objdump, options.plugin, options.exports, options.imports)
    check_dialog(options.plugin)
    if options.version:
        check_version(options.plugin, options.version)
    print("plug-in binary:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
