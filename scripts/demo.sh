#!/usr/bin/env bash
# The demo: the linux build's main job on examples/demo/, with a copy of the
# demo registry (never the user's own registry file) and an application-data
# folder of its own. Shows the log, the signature files and the registry values.
# With --outlook16 it then does the same job once more on an Outlook 2016
# machine (examples/demo/registry-outlook16.reg) with ModernOutlook=1.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/AppData"
cp -r examples/demo/. "$demo/"
sqlite3 "$demo/benutzer.db" < examples/demo/benutzer.sql
cp build/linux/quillmark "$demo/quillmark"   # reads quillmark.ini beside itself
cp "$demo/registry.reg" "$demo/registry-before.reg"

cd "$demo"
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /DEBUG:LOG
status=$?

cp1252() { iconv -f WINDOWS-1252 -t UTF-8 "$@"; }
utf16() { iconv -f UTF-16LE -t UTF-8 "$@" | tr -d '\r'; }

echo "=== exit status: $status"
echo "=== log file $demo/Quillmark.log"
cp1252 Quillmark.log | tr -d '\r'
echo "=== signature folder $demo/AppData/Microsoft/Signatures"
ls -l AppData/Microsoft/Signatures
for f in AppData/Microsoft/Signatures/*.txt; do
  [ -e "$f" ] || continue
  echo "=== $f"
  cp1252 "$f" | tr -d '\r'
done
echo "=== registry keys with values set or changed"
changed_keys() {  # the keys of the second file whose values differ from the first
  awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == FNR { before[$0] = 1; next } /\n"/ && !($0 in before)' \
    <(utf16 "$1") <(utf16 "$2")
}
changed_keys registry-before.reg registry.reg
echo "=== open $demo/AppData/Microsoft/Signatures/standard.htm in a browser to see the signature"

if [ "${1:-}" = "--outlook16" ]; then
  # The same job for Outlook 2016 and later: the demo configuration with
  # ModernOutlook=1, and a registry whose profile lives below Office\16.0.
  demo16="$root/build/demo-outlook16"
  rm -rf "$demo16"
  mkdir -p "$demo16/AppData"
  cp -r "$root/examples/demo/." "$demo16/"
  cp "$demo16/registry-outlook16.reg" "$demo16/registry.reg"
  cp "$demo16/registry.reg" "$demo16/registry-before.reg"
  awk '{ print } /^\[Main\]/ { print "ModernOutlook=1" }' "$root/examples/demo/quillmark.ini" > "$demo16/quillmark.ini"
  sqlite3 "$demo16/benutzer.db" < "$root/examples/demo/benutzer.sql"
  cp "$root/build/linux/quillmark" "$demo16/quillmark"
  cd "$demo16"
  QUILLMARK_REGISTRY="$demo16/registry.reg" APPDATA="$demo16/AppData" USERNAME=demo \
    LANG=de_DE.UTF-8 ./quillmark /DEBUG:LOG
  status16=$?
  echo
  echo "=== Outlook 2016 with ModernOutlook=1: exit status: $status16"
  echo "=== registration in the log file $demo16/Quillmark.log"
  cp1252 Quillmark.log | tr -d '\r' | sed -n '/Outlook-Version/p; /Stelle Standard-Signatur/,$p'
  echo "=== registry keys with values set or changed"
  changed_keys registry-before.reg registry.reg
  [ "$status" -ne 0 ] || status=$status16
fi
exit $status
