#!/usr/bin/env bash
# Builds the MSI from the exes of a folder with wixl (msitools):
#   packaging/build-msi.sh BIN_DIR OUT.msi [VERSION]
# BIN_DIR holds quillmark.exe and quillmark64.exe (build/windows). The MSI's
# ProductVersion is the FileVersion of the quillmark.exe it packs, read back
# from its version resource; VERSION overrides it (only to test upgrades).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
bin="${1:?usage: build-msi.sh BIN_DIR OUT.msi [VERSION]}"
out="${2:?usage: build-msi.sh BIN_DIR OUT.msi [VERSION]}"
for exe in quillmark.exe quillmark64.exe; do
  [ -f "$bin/$exe" ] || { echo "build-msi.sh: $bin/$exe fehlt (zuerst make windows)" >&2; exit 1; }
done
version="${3:-$(/usr/bin/python3 "$root/tools/exe_version.py" "$bin/quillmark.exe" | sed -n 's/^FileVersion=//p')}"
[ -n "$version" ] || { echo "build-msi.sh: keine Dateiversion in $bin/quillmark.exe" >&2; exit 1; }

# One ProductCode per version, so that a package of the version installed is
# recognised as installed (repair, uninstall), and each new version replaces it.
upgrade_code=6B0E4F3C-2A61-4F0E-9C55-3D7A1C2B9E41
product_code="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
  "$upgrade_code" "$version")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# wixl takes each Source relative to the .wxs file: everything is gathered
# beside a copy of it.
cp "$here/quillmark.wxs" "$bin/quillmark.exe" "$bin/quillmark64.exe" "$work/"
cp "$here/quillmark.ini" "$work/quillmark.ini"
cp -r "$root/examples/demo/Vorlagen" "$work/Vorlagen"
# The templates: every file of the demo's template folder, in one component.
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Include>'
  echo '  <Component Id="Templates" Guid="9B6E3D1A-7F24-4C85-A0E9-1D5C8B2F7A40">'
  for f in "$work"/Vorlagen/*; do
    name="$(basename "$f")"
    echo "    <File Id=\"tpl_${name//[^A-Za-z0-9_.]/_}\" Name=\"$name\" Source=\"Vorlagen/$name\"/>"
  done
  echo '  </Component>'
  echo '</Include>'
} > "$work/templates.wxi"

(cd "$work" && wixl --arch x86 -D Version="$version" -D ProductCode="$product_code" \
  -D UpgradeCode="$upgrade_code" -o quillmark.msi quillmark.wxs 2> wixl.log) || { cat "$work/wixl.log" >&2; exit 1; }
# What wixl cannot write itself: the exes' versions (so that Windows Installer
# treats them as versioned files), the message file's path as REG_EXPAND_SZ
# ("#%"; the event log expands it), and the configuration and templates as
# permanent (16) components that are never overwritten (128).
version64="$(/usr/bin/python3 "$root/tools/exe_version.py" "$bin/quillmark64.exe" | sed -n 's/^FileVersion=//p')"
msibuild "$work/quillmark.msi" \
  -q "UPDATE File SET Version='$version' WHERE File='quillmark.exe'" \
  -q "UPDATE File SET Version='$version64' WHERE File='quillmark64.exe'" \
  -q "UPDATE Registry SET Value='#%[#quillmark.exe]' WHERE Name='EventMessageFile'" \
  -q "UPDATE Component SET Attributes=144 WHERE Component='Config' OR Component='Templates'"
mv "$work/quillmark.msi" "$out"
echo "$out: Quillmark $version"
