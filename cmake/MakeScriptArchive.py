#!/usr/bin/env python3
"""Packs the script archive that the programs carry as RCDATA 103.

    MakeScriptArchive.py --output <zip> [--root <folder>] [--add <name>=<file> ...]

Every regular file below --root becomes a member named by its path relative to the
folder (a missing folder adds nothing); each --add puts one file in under the given
name. The archive is a plain ZIP the programs can read as it is: every member
deflate-compressed, none encrypted, no directory entries, forward slashes only, and
the same bytes for the same input (members sorted by name, fixed time stamps and
attributes). Member names must stay below the folder they are unpacked into and must
be ASCII, so that no code page can read them differently.
"""

import argparse
import os
import sys
import zipfile

FIXED_TIME = (1980, 1, 1, 0, 0, 0)


class ArchiveError(Exception):
    pass


def check_member_name(name):
    if not name:
        raise ArchiveError("empty member name")
    if not name.isascii() or any(ord(c) < 0x20 for c in name):
        raise ArchiveError(f"member name {name!r} is not plain ASCII")
    if name.startswith("/") or "\\" in name or ":" in name:
        raise ArchiveError(f"member name {name!r} is not a relative path with forward slashes")
    if name.endswith("/") or any(part in ("", ".", "..") for part in name.split("/")):
        raise ArchiveError(f"member name {name!r} has an empty, '.' or '..' part")


def collect(root):
    """(name, path) of every regular file below root, symbolic links refused."""
    members = []
    if root is None or not os.path.isdir(root):
        return members
    for folder, subfolders, files in os.walk(root):
        subfolders.sort()
        for entry in sorted(files):
            path = os.path.join(folder, entry)
            if os.path.islink(path) or not os.path.isfile(path):
                raise ArchiveError(f"{path} is not a regular file")
            name = os.path.relpath(path, root).replace(os.sep, "/")
            members.append((name, path))
    return members


def member_info(name, compress_type=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, FIXED_TIME)
    info.compress_type = compress_type
    info.create_system = 0
    info.external_attr = 0
    return info


def write_archive(output, members, check_names=True):
    """Writes (name, bytes) members, sorted by name, atomically into output."""
    names = [name for name, _ in members]
    if len(set(names)) != len(names):
        raise ArchiveError("a member name occurs twice")
    if check_names:
        for name in names:
            check_member_name(name)
    temporary = output + ".part"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, data in sorted(members, key=lambda member: member[0]):
            archive.writestr(member_info(name), data, compresslevel=9)
    os.replace(temporary, output)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", required=True)
    parser.add_argument("--root")
    parser.add_argument("--add", action="append", default=[], metavar="NAME=FILE")
    args = parser.parse_args(argv)
    try:
        members = []
        for name, path in collect(args.root):
            with open(path, "rb") as source:
                members.append((name, source.read()))
        for member in args.add:
            name, separator, path = member.partition("=")
            if not separator or not path:
                raise ArchiveError(f"--add {member!r} is not NAME=FILE")
            with open(path, "rb") as source:
                members.append((name, source.read()))
        write_archive(args.output, members)
    except (ArchiveError, OSError) as error:
        print(f"MakeScriptArchive: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
