#!/usr/bin/env python3
"""Build tool: the release's info files from one source (packaging/info.txt): file_id.diz, at most
45 columns by 10 lines, and glasswhirligo.nfo, the body framed for an 80-column terminal. Both are
plain printable ASCII (the same in every code page, CP437 included) with DOS line ends.
  make_info.py <info.txt> <version> <out folder>    writes glasswhirligo.nfo and file_id.diz
  make_info.py --check <glasswhirligo.nfo> <file_id.diz>
A source or file that breaks a limit, or leaves an @NAME@ unfilled, fails with the line named,
and nothing is written."""
import os
import re
import sys

NFO_WIDTH, DIZ_WIDTH, DIZ_LINES = 80, 45, 10
FRAME = "+" + "-" * (NFO_WIDTH - 2) + "+"


def faults(name, lines, width, most_lines=None):
    found = []
    if not lines:
        found.append("%s: empty" % name)
    if most_lines is not None and len(lines) > most_lines:
        found.append("%s: %d lines, at most %d" % (name, len(lines), most_lines))
    for n, line in enumerate(lines, 1):
        if len(line) > width:
            found.append("%s:%d: %d columns, at most %d" % (name, n, len(line), width))
        if any(not " " <= c <= "~" for c in line):
            found.append("%s:%d: not plain printable ASCII" % (name, n))
        if re.search(r"@[A-Z_]+@", line):
            found.append("%s:%d: left unfilled: %s" % (name, n, line.strip()))
    return found


def sections(path, version):
    parts, current = {}, None
    for line in open(path, encoding="ascii", errors="replace").read().split("\n"):
        heading = re.fullmatch(r"\[(\w+)\]", line)
        if heading:
            current = parts.setdefault(heading.group(1), [])
        elif current is not None:
            current.append(line.rstrip().replace("@VERSION@", version))
    for lines in parts.values():
        while lines and not lines[-1]:
            lines.pop()
    return parts.get("diz", []), parts.get("nfo", [])


def framed(body):
    inner = NFO_WIDTH - 4
    return [FRAME] + ["| " + line.ljust(inner) + " |" for line in [""] + body + [""]] + [FRAME]


def read_lines(path):
    text = open(path, "rb").read().decode("ascii", errors="replace")
    return text.replace("\r\n", "\n").rstrip("\n").split("\n") if text else []


def write(path, lines):
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


def main(argv):
    if len(argv) == 3 and argv[0] == "--check":
        found = faults(argv[1], read_lines(argv[1]), NFO_WIDTH)
        found += faults(argv[2], read_lines(argv[2]), DIZ_WIDTH, DIZ_LINES)
    elif len(argv) == 3:
        source, version, out = argv
        if not re.fullmatch(r"\d+\.\d+\.\d+", version):
            sys.exit("make_info: %r is not a version" % version)
        diz, body = sections(source, version)
        found = faults(source + " [diz]", diz, DIZ_WIDTH, DIZ_LINES)
        found += faults(source + " [nfo]", body, NFO_WIDTH - 4)
        if not found:
            os.makedirs(out, exist_ok=True)
            write(os.path.join(out, "file_id.diz"), diz)
            write(os.path.join(out, "glasswhirligo.nfo"), framed(body))
    else:
        sys.exit("usage: make_info.py <info.txt> <version> <out> | --check <nfo> <diz>")
    for fault in found:
        print("make_info: " + fault, file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
