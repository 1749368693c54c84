#!/usr/bin/python3
"""Prints the version resource of a Windows exe, read with pefile: the fixed
FILEVERSION and PRODUCTVERSION numbers and every string of StringFileInfo, one
"name=value" a line, then the language and the messages of its message table and what its
manifest asks for. Exits 1 when the file has no version resource.

    tools/exe_version.py FILE.exe
"""
import re
import sys

import pefile


def main():
    pe = pefile.PE(sys.argv[1], fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        print("no version resource", file=sys.stderr)
        return 1
    fixed = pe.VS_FIXEDFILEINFO[0]

    def numbers(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    print("FILEVERSION=" + numbers(fixed.FileVersionMS, fixed.FileVersionLS))
    print("PRODUCTVERSION=" + numbers(fixed.ProductVersionMS, fixed.ProductVersionLS))
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                for name, value in table.entries.items():
                    print("%s=%s" % (name.decode(), value.decode()))
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        entry = kind.directory.entries[0].directory.entries[0].data.struct
        data = pe.get_data(entry.OffsetToData, entry.Size)
        if kind.id == pefile.RESOURCE_TYPE["RT_MESSAGETABLE"]:
            # 0: language-neutral, found by Event Viewer on a Windows of any language.
            print("messagelanguage=%d" % kind.directory.entries[0].directory.entries[0].id)
            # MESSAGE_RESOURCE_DATA: blocks of (LowId, HighId, OffsetToEntries),
            # each entry (Length, Flags, Text), Flags 1 for UTF-16.
            blocks = int.from_bytes(data[0:4], "little")
            for b in range(blocks):
                low, high, offset = (int.from_bytes(data[4 + 12 * b + 4 * i:8 + 12 * b + 4 * i], "little")
                                     for i in range(3))
                for message in range(low, high + 1):
                    length = int.from_bytes(data[offset:offset + 2], "little")
                    unicode = int.from_bytes(data[offset + 2:offset + 4], "little") == 1
                    text = data[offset + 4:offset + length].decode("utf-16-le" if unicode else "cp1252")
                    print("message%d=%s" % (message, text.rstrip("\0\r\n")))
                    offset += length
        if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            manifest = data.decode("utf-8", "replace")
            level = re.search(r'requestedExecutionLevel\s+level="([^"]+)"', manifest)
            print("requestedExecutionLevel=" + (level.group(1) if level else ""))
            print("supportedOS=%d" % len(re.findall(r"<supportedOS ", manifest)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
