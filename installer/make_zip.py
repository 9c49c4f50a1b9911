#!/usr/bin/env python3
"""Writes the portable zip so that the same files give the same bytes.

    make_zip.py ZIP "YYYY-MM-DD HH:MM:SS" FOLDER ENTRIES_FILE

ENTRIES_FILE lists the files to pack, one path relative to FOLDER a line,
in the order they go in. Every entry gets the given date and fixed
permissions, and nothing of the packing machine (no access or change
times, owners or umask), which general archivers store.
"""
import sys
import time
import zipfile


def main(args):
    if len(args) != 4:
        raise SystemExit(__doc__)
    target, date, folder, listing = args
    stamp = time.strptime(date, "%Y-%m-%d %H:%M:%S")[:6]
    with open(listing, encoding="utf-8") as f:
        entries = [line.strip() for line in f if line.strip()]
    with zipfile.ZipFile(target, "w") as z:
        for name in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode
            info.external_attr = 0x20  # the archive attribute, as Windows sets it
            with open("%s/%s" % (folder, name), "rb") as content:
                z.writestr(info, content.read(), compresslevel=9)


if __name__ == "__main__":
    main(sys.argv[1:])
