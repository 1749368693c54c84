#!/usr/bin/env python3
"""Writes src/platform/common/codepage_data.inc: Windows' ANSI code pages of
one and two bytes per character as Windows converts them, asked of the windows
build under Wine (quillmark-probe codepage-table), for every byte, every pair
of a lead byte and another byte, and every UTF-16 unit. Wine's tables carry
Windows' published mappings, best-fit look-alikes included. The reconstruction
the linux build makes of the data (src/platform/common/codepage_tables.cpp) is
made here too and must give back every answer.

    python3 tools/codepages.py [BUILD_DIR]   (default: build/windows; needs
                                              the Wine prefix build/wineprefix)
"""
import os
import pathlib
import subprocess
import sys
import unicodedata

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUTPUT = ROOT / "src" / "platform" / "common" / "codepage_data.inc"
# The ANSI code pages of Windows: one byte per character, then the Japanese,
# Simplified Chinese, Korean and Traditional Chinese ones of one or two.
CODE_PAGES = [874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 932, 936, 949, 950]
ASCII = 0x80
DEFAULT = 0x3F  # "?", the default character of every one of them
# A gap of at most this many units written as "?" (or pairs that read as the
# default) stays inside a run.
MAX_GAP = 8
# Pairs that read as this many consecutive characters or more are a sequence.
MIN_SEQUENCE = 16
NO_PAIR = None
LINE = 100
TRIGRAPH_ENDS = "=/'()!<>-"


def ask(build, number):
    env = dict(os.environ, WINEPREFIX=str(ROOT / "build" / "wineprefix"), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    probe = pathlib.Path(build) / "quillmark-probe.exe"
    out = subprocess.run(["wine", str(probe), "codepage-table", str(number)], env=env, check=True,
                         capture_output=True, text=True).stdout.split("\n")
    lines = [line.strip() for line in out if line.strip()]
    to_unicode = [int(h, 16) for h in lines[0].split()[1:]]
    leads, pairs, from_unicode = [], {}, []
    for line in lines[1:]:
        tag, rest = line.split(maxsplit=1)
        if tag == "lead-bytes":
            leads = [int(h, 16) for h in rest.split()]
        elif tag == "pairs":
            lead, *units = rest.split()
            for trail, unit in enumerate(units):
                pairs[int(lead, 16) << 8 | trail] = NO_PAIR if unit == "----" else int(unit, 16)
        else:
            high, digits = rest.split()
            assert tag == "from-unicode" and int(high, 16) == len(from_unicode) >> 8, line
            width = 4 if leads else 2
            from_unicode += [int(digits[i:i + width], 16) for i in range(0, len(digits), width)]
    assert len(to_unicode) == 0x100 and len(from_unicode) == 0x10000, number
    return to_unicode, leads, pairs, from_unicode


def check(number, to_unicode, leads, pairs, from_unicode):
    assert to_unicode[:ASCII] == list(range(ASCII)), f"{number}: bytes below 80 are not ASCII"
    assert list(from_unicode[:ASCII]) == list(range(ASCII)), f"{number}: ASCII is not written as itself"
    assert from_unicode[0xFFFF] == DEFAULT, f"{number}: the default character is not ?"
    if not leads:
        assert len(set(to_unicode)) == 0x100, f"{number}: two bytes read as one character"
        for b, unit in enumerate(to_unicode):
            assert from_unicode[unit] == b, f"{number}: byte {b:02X} does not come back"
    # The linux build reads a lead byte and the byte after it as a pair unless
    # that is a NUL.
    for code, unit in pairs.items():
        assert (unit is NO_PAIR) == (code & 0xFF == 0), f"{number}: pair {code:04X}"


def pair_default(leads, pairs):
    """What most pairs that are no character read as: the most common reading."""
    counts = {}
    for unit in pairs.values():
        if unit is not NO_PAIR:
            counts[unit] = counts.get(unit, 0) + 1
    return max(counts, key=counts.get) if leads else 0


def reconstruct(to_unicode, leads, pairs, default):
    """The first steps of codepage_tables.cpp: each unit written as the first
    byte, else the first pair, that reads as it; and which units are held."""
    table = [DEFAULT] * 0x10000
    held = set()
    for b, unit in enumerate(to_unicode):
        if b not in leads and unit not in held:
            held.add(unit)
            table[unit] = b
    for code in sorted(pairs):
        unit = pairs[code]
        if unit is not NO_PAIR and unit != default and unit not in held:
            held.add(unit)
            table[unit] = code
    return table, held


def reads_as(to_unicode, pairs, code):
    return to_unicode[code] if code < 0x100 else pairs[code]


def written_and_runs(to_unicode, leads, pairs, from_unicode, default):
    """The units written otherwise than the first steps give ((unit, bytes)),
    and the runs (first unit, characters written as) of the units outside the
    code page that are written as a look-alike."""
    table, held = reconstruct(to_unicode, leads, pairs, default)
    differ = [u for u in range(0x10000) if table[u] != from_unicode[u]]
    written = [(u, from_unicode[u]) for u in differ if u in held]
    for u, code in written:
        table[u] = code
    found = []
    for u in differ:
        if u in held:
            continue
        as_char = reads_as(to_unicode, pairs, from_unicode[u])
        if from_unicode[u] != DEFAULT and table[as_char] == from_unicode[u]:
            found.append((u, as_char))
        else:
            written.append((u, from_unicode[u]))
    out = []
    for unit, as_char in found:
        if out and unit - (out[-1][0] + len(out[-1][1])) <= MAX_GAP:
            first, chars = out[-1]
            chars += [DEFAULT] * (unit - first - len(chars)) + [as_char]
        else:
            out.append((unit, [as_char]))
    return sorted(written), out


def pair_lists(leads, pairs, default):
    """The pairs as lists of consecutive pairs (first, characters) and
    sequences (first, first character, count); pairs that read as the default
    are left out where a gap allows."""
    lists, sequences = [], []
    for lead in leads:
        row = [pairs[lead << 8 | trail] for trail in range(0x100)]
        trail = 1
        while trail < 0x100:
            if row[trail] == default:
                trail += 1
                continue
            end = trail + 1  # one past the span's last pair that is a character
            gap = 0
            for t in range(trail + 1, 0x100):
                if row[t] == default:
                    gap += 1
                    if gap > MAX_GAP:
                        break
                else:
                    gap = 0
                    end = t + 1
            t = trail
            while t < end:
                n = 1
                while t + n < end and row[t + n] != default and row[t + n] == row[t] + n:
                    n += 1
                if n >= MIN_SEQUENCE and row[t] != default:
                    sequences.append((lead << 8 | t, row[t], n))
                else:
                    if lists and lists[-1][0] + len(lists[-1][1]) == lead << 8 | t:
                        lists[-1][1].extend(row[t:t + n])
                    else:
                        lists.append((lead << 8 | t, list(row[t:t + n])))
                t += n
            trail = end
    return lists, sequences


def verify(number, to_unicode, leads, pairs, from_unicode, default, lists, sequences, written, runs):
    """The whole reconstruction of codepage_tables.cpp against the answers."""
    rebuilt = {}
    for lead in leads:
        for trail in range(0x100):
            rebuilt[lead << 8 | trail] = NO_PAIR if trail == 0 else default
    for first, chars in lists:
        for i, unit in enumerate(chars):
            rebuilt[first + i] = unit
    for first, unit, count in sequences:
        for i in range(count):
            rebuilt[first + i] = unit + i
    assert rebuilt == pairs, f"{number}: the pairs do not come back"
    table, _ = reconstruct(to_unicode, leads, rebuilt, default)
    for unit, code in written:
        table[unit] = code
    for first, chars in runs:
        for i, as_char in enumerate(chars):
            if as_char != DEFAULT:
                table[first + i] = table[as_char]
    assert table == from_unicode, f"{number}: the units are not written as Windows writes them"


def literal(units):
    """u"..." pieces of at most LINE characters; characters that would not show
    (controls, marks, format characters, private use) escaped."""
    pieces, piece = [], ""
    for i, unit in enumerate(units):
        ch = chr(unit)
        nxt = chr(units[i + 1]) if i + 1 < len(units) else ""
        if ch in '"\\' or (ch == "?" and piece.endswith("?") and nxt in TRIGRAPH_ENDS and nxt):
            text = "\\%03o" % unit
        elif ch == " " or unicodedata.category(ch)[0] in "LNPS":
            text = ch
        elif unit < 0o1000:
            text = "\\%03o" % unit
        else:
            text = "\\u%04X" % unit
        if len(piece) + len(text) > LINE - 12:
            pieces.append(piece)
            piece = ""
        piece += text
    pieces.append(piece)
    return ['u"%s"' % p for p in pieces]


def ranges(leads):
    out = []
    for b in leads:
        if out and out[-1][1] == b - 1:
            out[-1][1] = b
        else:
            out.append([b, b])
    return out


def char16(unit):
    return "u'?'" if unit == DEFAULT else "u'\\u%04X'" % unit


def emit_literals(lines, name, items):
    """An array of {first, u"..."} rows."""
    lines.append(f"constexpr {name} = {{")
    for first, chars in items:
        pieces = literal(chars)
        start = f"    {{0x{first:04X}, "
        if len(pieces) == 1 and len(start) + len(pieces[0]) + 2 <= LINE:
            lines.append(start + pieces[0] + "},")
        else:
            lines.append(start.rstrip())
            lines += ["        " + p for p in pieces]
            lines[-1] += "},"
    lines.append("};")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else str(ROOT / "build" / "windows")
    lines = [
        "// Windows' ANSI code pages, generated by tools/codepages.py from the answers",
        "// of the windows build under Wine; do not edit. To regenerate:",
        "//     make windows && python3 tools/codepages.py",
        "// Per code page: the characters of the bytes 80 to FF, then the runs of",
        "// units that Windows writes as a look-alike (\"?\" in a run: a unit without one);",
        "// for a double-byte code page also its lead bytes, what a pair of no list",
        "// reads as, the pairs, and the units written otherwise.",
    ]
    entries = []
    for number in CODE_PAGES:
        to_unicode, leads, pairs, from_unicode = ask(build, number)
        check(number, to_unicode, leads, pairs, from_unicode)
        default = pair_default(leads, pairs)
        written, runs = written_and_runs(to_unicode, leads, pairs, from_unicode, default)
        lists, sequences = pair_lists(leads, pairs, default)
        verify(number, to_unicode, leads, pairs, from_unicode, default, lists, sequences, written, runs)
        assert leads or not written, f"{number}: a single-byte code page with units written otherwise"
        lines.append("")
        lines.append(f"constexpr char16_t kUpperHalf{number}[] =")
        lines += ["    " + p for p in literal(to_unicode[ASCII:])]
        lines[-1] += ";"
        assert runs, f"{number}: no look-alikes"
        emit_literals(lines, f"Run kRuns{number}[]", runs)
        entry = f"    {{{number}, {{kUpperHalf{number}, {ASCII}}}, kRuns{number}"
        if leads:
            lines.append(f"constexpr ByteRange kLeadBytes{number}[] = {{" +
                         ", ".join(f"{{0x{a:02X}, 0x{b:02X}}}" for a, b in ranges(leads)) + "};")
            if lists:
                emit_literals(lines, f"Pairs kPairs{number}[]", lists)
            if sequences:
                lines.append(f"constexpr PairSequence kSequences{number}[] = {{")
                for first, unit, count in sequences:
                    lines.append(f"    {{0x{first:04X}, u'\\u{unit:04X}', {count}}},")
                lines.append("};")
            if written:
                lines.append(f"constexpr Written kWritten{number}[] = {{")
                row = "   "
                for unit, code in written:
                    item = f" {{0x{unit:04X}, 0x{code:04X}}},"
                    if len(row) + len(item) > LINE:
                        lines.append(row)
                        row = "   "
                    row += item
                lines.append(row)
                lines.append("};")
            arrays = [f"k{kind}{number}" if items else "{}"
                      for kind, items in (("Pairs", lists), ("Sequences", sequences), ("Written", written))]
            entry += f", kLeadBytes{number},\n     {char16(default)}, " + ", ".join(arrays)
        entries.append(entry + "},")
    lines.append("")
    lines.append("constexpr WindowsCodePage kCodePages[] = {")
    lines += entries
    lines.append("};")
    OUTPUT.write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
