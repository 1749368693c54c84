#!/usr/bin/env python3
"""The configuration and templates an MSI carries, checked and gathered.

    msi_files.py SOURCE_INI TEMPLATE_FOLDER|- WORK_DIR [EXCLUDE_PREFIX...]

Copies SOURCE_INI to WORK_DIR/quillmark.ini and every file below the
template folder (all levels) to WORK_DIR/<its name in the configuration>,
writes WORK_DIR/templates.wxi (one component per file, each with a GUID of
its own path, so that an upgrade removes a template the new package no longer
has) and prints the template folder's name as the configuration gives it and
a digest of everything packed. With "-" the template folder is the one the
configuration names (TemplateFolder of [Main], "Vorlagen" when empty) beside
the INI. EXCLUDE_PREFIX leaves out top-level files whose name begins with it.

Refuses, naming the file, and writes no wxi:
- a TemplateFolder that is not a plain folder name beside the INI (with a
  backslash, a drive or a %VARIABLE%): the package installs the templates
  beside the configuration, and only there does a run find them by that name;
- a file larger than the File table's FileSize column holds (a signed 32-bit
  integer: 2,147,483,647 bytes; the cabinet format stops there too), and
  files that together exceed it (all go into one embedded cabinet);
- a name Windows Installer cannot hold: characters Windows forbids in file
  names (< > : " / \\ | ? * and control characters), a name ending in a dot or
  a blank, a device name (CON, NUL, COM1...), a name outside the package's
  code page (Windows-1252), two names of one folder that differ only in case,
  and an installed path longer than MAX_PATH (260, with the install folder),
  which Windows Installer does not go beyond.
"""
import hashlib
import os
import re
import shutil
import sys
import uuid

MAX_FILE_BYTES = 2**31 - 1  # FileSize is a DoubleInteger (signed 32 bits)
MAX_PATH = 260  # with the terminating NUL
INSTALL_FOLDER = "C:\\Program Files (x86)\\Quillmark\\"  # the longest default
PACKAGE_CODEPAGE = "cp1252"
# Each template component's GUID is derived from its path below this
# namespace: the same file keeps its component from one package to the next.
COMPONENT_NAMESPACE = uuid.UUID("2F6C1B7E-94D3-4E0A-8B51-7C3E2A9D6F18")
FORBIDDEN = re.compile(r'[<>:"/\\|?*\x00-\x1f]')
DEVICE = re.compile(r"^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\..*)?$", re.IGNORECASE)


def refuse(path, why):
    sys.stderr.write(f"build-msi.sh: {path}: {why}; kein Paket geschrieben\n")
    sys.exit(1)


def read_ini(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", errors="replace")
    return data.decode(PACKAGE_CODEPAGE, errors="replace")


def template_folder(ini_text):
    """TemplateFolder of [Main], as Windows' profile reader finds it."""
    section = None
    for line in ini_text.splitlines():
        stripped = line.strip()
        if stripped.startswith("["):
            section = stripped[1:stripped.find("]")].strip().lower() if "]" in stripped else None
            continue
        if section == "main" and "=" in line:
            key, value = line.split("=", 1)
            if key.strip().lower() == "templatefolder":
                return value.strip()
    return ""


def check_name(path, name):
    if FORBIDDEN.search(name):
        refuse(path, "Der Name enthält ein Zeichen, das Windows in Dateinamen nicht erlaubt")
    if name.endswith(".") or name.endswith(" "):
        refuse(path, "Der Name endet mit einem Punkt oder Leerzeichen, Windows kann ihn nicht anlegen")
    if DEVICE.match(name):
        refuse(path, "Der Name ist ein Gerätename von Windows")
    try:
        name.encode(PACKAGE_CODEPAGE)
    except UnicodeEncodeError:
        refuse(path, "Der Name ist im Zeichensatz des Pakets (Windows-1252) nicht darstellbar")


def main():
    source_ini, folder_arg, work = sys.argv[1], sys.argv[2], sys.argv[3]
    excluded = sys.argv[4:]
    name = template_folder(read_ini(source_ini)) or "Vorlagen"
    if folder_arg == "-":
        if "\\" in name or "/" in name or ":" in name or "%" in name or name in (".", ".."):
            refuse(source_ini, f"TemplateFolder={name} ist kein Ordnername neben der Konfiguration; "
                               "das Paket installiert die Vorlagen neben quillmark.ini")
        folder = os.path.join(os.path.dirname(os.path.abspath(source_ini)), name)
        check_name(folder, name)
    else:
        folder = folder_arg
    if not os.path.isdir(folder):
        refuse(folder, "Der Vorlagenordner fehlt")

    digest = hashlib.sha256(open(source_ini, "rb").read())
    total = 0
    files = []  # (path below the template folder with "/", full path)
    for here, dirs, names in os.walk(folder):
        dirs.sort()
        rel_dir = os.path.relpath(here, folder)
        for entry in sorted(dirs + names):
            lower = [n.lower() for n in dirs + names]
            if lower.count(entry.lower()) > 1:
                refuse(os.path.join(here, entry), "Ein anderer Name dieses Ordners unterscheidet sich nur in "
                                                  "der Groß- und Kleinschreibung; Windows hält beide nicht auseinander")
        for entry in sorted(dirs):
            check_name(os.path.join(here, entry), entry)
        for entry in sorted(names):
            full = os.path.join(here, entry)
            if rel_dir == "." and any(entry.startswith(p) for p in excluded):
                continue
            check_name(full, entry)
            rel = entry if rel_dir == "." else rel_dir.replace(os.sep, "/") + "/" + entry
            installed = INSTALL_FOLDER + name + "\\" + rel.replace("/", "\\")
            if len(installed) >= MAX_PATH:
                refuse(full, f"Installiert wäre der Pfad {len(installed)} Zeichen lang; Windows Installer "
                             f"legt nur Pfade unter {MAX_PATH} Zeichen an")
            size = os.stat(full).st_size
            if size > MAX_FILE_BYTES:
                refuse(full, f"Die Datei ist {size} Bytes groß; ein MSI hält je Datei höchstens "
                             f"{MAX_FILE_BYTES} Bytes")
            total += size
            if total > MAX_FILE_BYTES:
                refuse(full, f"Alle Dateien zusammen sind größer als {MAX_FILE_BYTES} Bytes, die ein MSI in "
                             "seinem Archiv hält")
            files.append((rel, full))

    os.makedirs(os.path.join(work, "Vorlagen"), exist_ok=True)
    shutil.copyfile(source_ini, os.path.join(work, "quillmark.ini"))
    lines = ['<?xml version="1.0" encoding="windows-1252"?>', "<Include>"]
    opened = []  # the sub-folders whose Directory element is open

    def xml(text):
        return text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")

    for rel, full in files:
        digest.update(rel.encode("utf-8") + b"\0" + open(full, "rb").read() + b"\0")
        target = os.path.join(work, "Vorlagen", *rel.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(full, target)
        parts = rel.split("/")[:-1]
        while opened and opened != parts[:len(opened)]:
            opened.pop()
            lines.append("    " * (len(opened) + 1) + "</Directory>")
        while len(opened) < len(parts):
            opened.append(parts[len(opened)])
            dir_id = "d_" + hashlib.sha1("/".join(opened).lower().encode()).hexdigest()[:20]
            lines.append("    " * len(opened) + f'<Directory Id="{dir_id}" Name="{xml(opened[-1])}">')
        key = hashlib.sha1(rel.lower().encode()).hexdigest()[:20]
        guid = str(uuid.uuid5(COMPONENT_NAMESPACE, rel.lower())).upper()
        indent = "    " * (len(opened) + 1)
        lines.append(f'{indent}<Component Id="t_{key}" Guid="{guid}">')
        lines.append(f'{indent}  <File Id="f_{key}" Name="{xml(rel.split("/")[-1])}" '
                     f'Source="Vorlagen/{xml(rel)}" KeyPath="yes"/>')
        lines.append(f"{indent}</Component>")
    while opened:
        opened.pop()
        lines.append("    " * (len(opened) + 1) + "</Directory>")
    lines.append("</Include>")
    with open(os.path.join(work, "templates.wxi"), "w", encoding=PACKAGE_CODEPAGE) as out:
        out.write("\n".join(lines) + "\n")
    refs = ["<Include>"] + [
        f'  <ComponentRef Id="t_{hashlib.sha1(rel.lower().encode()).hexdigest()[:20]}"/>' for rel, _ in files
    ] + ["</Include>"]
    with open(os.path.join(work, "template-refs.wxi"), "w", encoding="utf-8") as out:
        out.write("\n".join(refs) + "\n")
    print(name)
    print(digest.hexdigest())


if __name__ == "__main__":
    main()
