"""Reads a game folder as the game loads it, with nothing but Python's struct and zipfile, and checks that
every file of an output folder holds exactly the bytes of the copy the game loads under that name.

usage: independent_reader.py GAME_FOLDER LANG OUTPUT_FOLDER
Exit status 0 when every output matches and at least one was checked, 1 otherwise (the reason on stdout).
"""
import os
import struct
import sys
import zipfile

TYPES = {1: "BMP", 2: "MVE", 4: "WAV", 1000: "BAM", 1001: "WED", 1002: "CHU", 1003: "TIS", 1004: "MOS",
         1005: "ITM", 1006: "SPL", 1007: "BCS", 1008: "IDS", 1009: "CRE", 1010: "ARE", 1011: "DLG",
         1012: "2DA", 1013: "GAM", 1014: "STO", 1015: "WMP", 1016: "EFF", 1017: "BS", 1018: "CHR",
         1019: "VVC", 1020: "VEF", 1021: "PRO", 1022: "BIO", 1023: "WBM", 1024: "FNT", 1026: "GUI",
         1027: "SQL", 1028: "PVRZ", 1029: "GLSL", 1030: "TOT", 1031: "TOH", 1032: "MENU", 1033: "LUA",
         1034: "TTF", 1035: "PNG", 1100: "BAH", 2050: "INI", 2051: "SRC", 2052: "MAZE", 5: "WFX", 6: "PLT"}


def extension(kind):
    """The documented extension, else the type number with a blank where a minus sign would stand."""
    if kind in TYPES:
        return TYPES[kind]
    signed = kind - 0x10000 if kind >= 0x8000 else kind
    return str(signed) if signed < 0 else " " + str(signed)


def find(folder, relative):
    """The file below folder whose path matches relative, letter case ignored."""
    path = folder
    for part in [p for p in relative.replace("\\", "/").split("/") if p]:
        if not os.path.isdir(path):
            return None
        match = [n for n in os.listdir(path) if n.upper() == part.upper()]
        if not match:
            return None
        path = os.path.join(path, match[0])
    return path if os.path.isfile(path) else None


def read_key(data):
    _, _, archives, resources, archive_table, resource_table = struct.unpack_from("<4s4sIIII", data, 0)
    names = []
    for k in range(archives):
        _, name_at, name_length, _ = struct.unpack_from("<IIHH", data, archive_table + 12 * k)
        names.append(data[name_at:name_at + name_length].split(b"\0")[0].decode("cp1252"))
    entries = []
    for k in range(resources):
        ref, kind, locator = struct.unpack_from("<8sHI", data, resource_table + 14 * k)
        entries.append((ref.split(b"\0")[0].decode("cp1252").upper(), kind, locator))
    return names, entries


def bif_bytes(bif, locator):
    _, _, files, tilesets, table = struct.unpack_from("<4s4sIII", bif, 0)
    tileset = (locator >> 14) & 0x3F
    if tileset:
        for k in range(tilesets):
            own, at, count, size, _, _ = struct.unpack_from("<IIIIHH", bif, table + 16 * files + 20 * k)
            if (own >> 14) & 0x3F == tileset:
                return bif[at:at + count * size]
        return None
    for k in range(files):
        own, at, size, _, _ = struct.unpack_from("<IIIHH", bif, table + 16 * k)
        if own & 0x3FFF == locator & 0x3FFF:
            return bif[at:at + size]
    return None


def layer(names, entries, read_archive):
    loaded = {}
    for ref, kind, locator in entries:  # a later entry of a name wins
        archive = locator >> 20
        if archive >= len(names):
            continue
        bif = read_archive(names[archive])
        if bif is not None:
            data = bif_bytes(bif, locator)
            if data is not None:
                loaded[ref + "." + extension(kind)] = data
    return loaded


def main():
    game, lang, output = sys.argv[1:4]
    loaded = {}
    key = find(game, "chitin.key")
    names, entries = read_key(open(key, "rb").read())

    def from_disk(name):
        path = find(game, name) or find(game, "lang/" + lang + "/" + name)
        return open(path, "rb").read() if path else None

    loaded.update(layer(names, entries, from_disk))
    dlc = os.path.join(game, "dlc")
    for zip_name in sorted(os.listdir(dlc)) if os.path.isdir(dlc) else []:
        with zipfile.ZipFile(os.path.join(dlc, zip_name)) as z:
            members = {m.upper(): m for m in z.namelist()}
            if "MOD.KEY" not in members:
                continue
            dlc_names, dlc_entries = read_key(z.read(members["MOD.KEY"]))

            def from_zip(name):
                member = members.get(name.replace("\\", "/").upper())
                return z.read(member) if member else None

            loaded.update(layer(dlc_names, dlc_entries, from_zip))
    override = find(game, "override") or (os.path.join(game, "override") if os.path.isdir(os.path.join(game, "override")) else None)
    if override and os.path.isdir(override):
        for name in os.listdir(override):
            path = os.path.join(override, name)
            if os.path.isfile(path) and not os.path.islink(path):
                loaded[name.upper()] = open(path, "rb").read()
    checked = 0
    for name in sorted(os.listdir(output)):
        expected = loaded.get(name.upper())
        if expected is None:
            print("not a resource of the game:", name)
            return 1
        if open(os.path.join(output, name), "rb").read() != expected:
            print("differs from the copy the game loads:", name)
            return 1
        checked += 1
    print("checked", checked)
    return 0 if checked else 1


if __name__ == "__main__":
    sys.exit(main())
