#!/usr/bin/env python3
"""Builds the archives of the extraction tests and the resource script that links them
into the test program, with a header naming their resource ids.

    MakeTestArchives.py <archive tool folder> <fixture folder> <output folder>

The well-formed archives come from the same packer as the programs' script archive.
The others are made here on purpose: members whose names try to leave the target
folder, and archives that are cut short or damaged in one field each.
"""

import io
import os
import struct
import sys
import zipfile

# A member larger than a megabyte, as the 64-bit program is in the 32-bit program's
# archive; the tests compute the same bytes.
LARGE_SIZE = 1200000


def large_bytes():
    return bytes(((i * 7) + (i >> 9)) & 0xFF for i in range(LARGE_SIZE))


HOSTILE_NAMES = [
    "../escape_up.txt",
    "inner/../../escape_mid.txt",
    "a..b_escape.txt",
    "../escape_dir/escape_deep.txt",
    "../escape_direntry/",
    "/escape_abs.txt",
    "//escape_unc/share/escape_unc.txt",
    "\\escape_root_backslash.txt",
    "inner\\escape_backslash.txt",
    "..\\escape_up_backslash.txt",
    "C:/escape_drive.txt",
    "C:escape_drive_relative.txt",
    "escape_stream.txt:ads",
    "escape\x01control.txt",
    "CON",
    "escape_device/nul.lua",
    "COM1.txt",
]


def zip_bytes(members, compress_type=zipfile.ZIP_DEFLATED):
    """A ZIP in memory from (name, bytes) in the given order, names taken as they are."""
    stream = io.BytesIO()
    with zipfile.ZipFile(stream, "w") as archive:
        for name, data in members:
            info = zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0))
            info.compress_type = compress_type
            info.create_system = 0
            archive.writestr(info, data)
    return bytearray(stream.getvalue())


def end_record(data):
    offset = data.rfind(b"PK\x05\x06")
    if offset < 0:
        raise RuntimeError("no end of central directory record")
    return offset


def central_entries(data):
    """Offsets of the central directory entries."""
    end = end_record(data)
    count = struct.unpack_from("<H", data, end + 10)[0]
    offset = struct.unpack_from("<I", data, end + 16)[0]
    entries = []
    for _ in range(count):
        entries.append(offset)
        name, extra, comment = struct.unpack_from("<HHH", data, offset + 28)
        offset += 46 + name + extra + comment
    return entries


def patch_member(data, index, local_field, central_field, fmt, change):
    """Changes one field of member `index` in its local header and its central entry."""
    central = central_entries(data)[index]
    local = struct.unpack_from("<I", data, central + 42)[0]
    for offset in (local + local_field, central + central_field):
        value = struct.unpack_from(fmt, data, offset)[0]
        struct.pack_into(fmt, data, offset, change(value))


def member_data_offset(data, index):
    central = central_entries(data)[index]
    local = struct.unpack_from("<I", data, central + 42)[0]
    name, extra = struct.unpack_from("<HH", data, local + 26)
    return local + 30 + name + extra


def text_member():
    line = b"The quick brown fox jumps over the lazy dog, again and again.\r\n"
    return b"".join(line.replace(b"again", str(i).encode()) for i in range(400))


def broken_archives():
    text = text_member()
    good = zip_bytes([("first.txt", b"first\r\n"), ("second.txt", text)])
    cases = []

    cases.append(("cut to two thirds", bytes(good[: len(good) * 2 // 3])))
    cases.append(("cut to ten bytes", bytes(good[:10])))
    cases.append(("no archive at all", b"This is a text, not an archive.\r\n" * 20))

    damaged = bytearray(good)
    start = member_data_offset(damaged, 1)
    for i in range(8, 40):
        damaged[start + i] ^= 0x5A
    cases.append(("damaged compressed data", bytes(damaged)))

    wrong_crc = bytearray(good)
    patch_member(wrong_crc, 1, 14, 16, "<I", lambda crc: crc ^ 0x00010000)
    cases.append(("checksum that does not match", bytes(wrong_crc)))

    too_long = bytearray(good)
    patch_member(too_long, 1, 22, 24, "<I", lambda size: size + 100)
    cases.append(("size larger than the data", bytes(too_long)))

    far_local = bytearray(good)
    central = central_entries(far_local)[1]
    struct.pack_into("<I", far_local, central + 42, 0x7FFFFFF0)
    cases.append(("local header beyond the end", bytes(far_local)))

    far_directory = bytearray(good)
    end = end_record(far_directory)
    struct.pack_into("<I", far_directory, end + 16, len(far_directory) + 1000)
    cases.append(("central directory beyond the end", bytes(far_directory)))

    extra_entry = bytearray(good)
    end = end_record(extra_entry)
    for field in (8, 10):
        count = struct.unpack_from("<H", extra_entry, end + field)[0]
        struct.pack_into("<H", extra_entry, end + field, count + 1)
    cases.append(("more entries counted than present", bytes(extra_entry)))

    encrypted = bytearray(good)
    patch_member(encrypted, 1, 6, 8, "<H", lambda flags: flags | 1)
    cases.append(("member marked encrypted", bytes(encrypted)))

    bzip2 = zip_bytes([("first.txt", b"first\r\n"), ("second.txt", text)], zipfile.ZIP_BZIP2)
    cases.append(("member compressed with bzip2", bytes(bzip2)))
    return cases


def c_string(text):
    out = []
    for ch in text:
        if ch in "\\\"":
            out.append("\\" + ch)
        elif ord(ch) < 0x20 or ord(ch) > 0x7E:
            out.append("\\x%02x\" \"" % ord(ch))
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def main(tool_folder, fixture_folder, output_folder):
    sys.path.insert(0, tool_folder)
    import MakeScriptArchive as packer

    os.makedirs(output_folder, exist_ok=True)
    resources = []  # (id, file name)

    def emit(resource_id, file_name, data):
        path = os.path.join(output_folder, file_name)
        with open(path + ".part", "wb") as out:
            out.write(data)
        os.replace(path + ".part", path)
        resources.append((resource_id, file_name))

    # 103, as in the programs: the fixture tree and a member over a megabyte.
    basic = [(name, open(path, "rb").read())
             for name, path in packer.collect(os.path.join(fixture_folder, "basic"))]
    basic.append(("large.bin", large_bytes()))
    packer.write_archive(os.path.join(output_folder, "basic.zip"), basic)
    resources.append((103, "basic.zip"))

    packer.write_archive(os.path.join(output_folder, "empty.zip"), [])
    resources.append((201, "empty.zip"))

    emit(202, "stored.zip", zip_bytes([("plain.txt", b"stored, not compressed\r\n")],
                                      zipfile.ZIP_STORED))
    emit(203, "folders.zip", zip_bytes([("folder/", b""), ("folder/inside.txt", b"inside\r\n")]))

    hostile_rows = []
    for index, name in enumerate(HOSTILE_NAMES):
        resource_id = 300 + index
        emit(resource_id, "hostile%02d.zip" % index,
             zip_bytes([("before.txt", b"before\r\n"), (name, b"escaped\r\n"),
                        ("after.txt", b"after\r\n")]))
        hostile_rows.append((resource_id, name))

    broken_rows = []
    for index, (what, data) in enumerate(broken_archives()):
        resource_id = 400 + index
        emit(resource_id, "broken%02d.zip" % index, data)
        broken_rows.append((resource_id, what))

    with open(os.path.join(output_folder, "TestArchives.rc"), "w", newline="\n") as rc:
        rc.write("// Generated by MakeTestArchives.py.\nLANGUAGE 0, 0\n\n")
        for resource_id, file_name in resources:
            path = os.path.join(output_folder, file_name).replace("\\", "/")
            rc.write('%d RCDATA "%s"\n' % (resource_id, path))

    with open(os.path.join(output_folder, "TestArchives.h"), "w", newline="\n") as header:
        header.write("// Generated by MakeTestArchives.py: the resource ids of the test "
                     "archives.\n#pragma once\n\n#include <windows.h>\n\n")
        header.write("constexpr WORD kBasicArchive = 103;\n")
        header.write("constexpr WORD kEmptyArchive = 201;\n")
        header.write("constexpr WORD kStoredArchive = 202;\n")
        header.write("constexpr WORD kFolderEntryArchive = 203;\n")
        header.write("constexpr WORD kMissingArchive = 999;\n")
        header.write("constexpr size_t kLargeMemberSize = %d;\n\n" % LARGE_SIZE)
        header.write("// Each holds before.txt, the hostile member and after.txt, in this "
                     "order.\nstruct HostileArchive {\n  WORD id;\n  const char* member;\n};\n")
        header.write("inline constexpr HostileArchive kHostileArchives[] = {\n")
        for resource_id, name in hostile_rows:
            header.write("    {%d, %s},\n" % (resource_id, c_string(name)))
        header.write("};\n\nstruct BrokenArchive {\n  WORD id;\n  const char* damage;\n};\n")
        header.write("inline constexpr BrokenArchive kBrokenArchives[] = {\n")
        for resource_id, what in broken_rows:
            header.write("    {%d, %s},\n" % (resource_id, c_string(what)))
        header.write("};\n")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
