#!/usr/bin/env bash
# The demo: the linux build's main job on examples/demo/, with a copy of the
# demo registry (never the user's own registry file) and an application-data
# folder of its own. Shows the log, the signature files and the registry values.
set -uo pipefail
cd "$(dirname "$0")/.."
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
echo "=== registry values set (diff of the registry file)"
diff <(utf16 registry-before.reg) <(utf16 registry.reg) | grep '^[<>]' || echo "(none)"
echo "=== open $demo/AppData/Microsoft/Signatures/standard.htm in a browser to see the signature"
exit $status
