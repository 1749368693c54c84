#!/usr/bin/env bash
# The demo: the linux build's main job on examples/demo/, with a copy of the
# demo registry (never the user's own registry file) and an application-data
# folder of its own. Shows the log, the signature files and the registry values,
# then the signatures of a second user (a name outside Latin-1, an "&" in the
# company, no fax and no mobile number), and an administrator's preview of the
# second user (/SIMULATE). With --outlook16 it then does the
# first job once more on an Outlook 2016 machine with a German installation
# (examples/demo/registry-outlook16.reg).
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/AppData"
cp -r examples/demo/. "$demo/"
sqlite3 "$demo/benutzer.db" < examples/demo/benutzer.sql
cp build/linux/quillmark "$demo/quillmark"   # reads quillmark.ini beside itself
# A Linux path in the Windows notation the program reads; a text with every
# backslash doubled, for a sed replacement. The database gets its full path.
windows_path() { printf '%s' "${1//\//\\}"; }
sed_text() { printf '%s' "${1//\\/\\\\}"; }
full_database_path() {
  sed -i "s|Data Source=benutzer.db|Data Source=$(sed_text "$(windows_path "$1")\\benutzer.db")|" "$1/quillmark.ini"
}
full_database_path "$demo"
cp "$demo/registry.reg" "$demo/registry-before.reg"

cd "$demo"
# First the check an administrator makes after every change: it reads the
# configuration, the templates and the database, and changes nothing.
echo "=== /CHECK of the demo's configuration"
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /CHECK
check=$?
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /DEBUG:LOG
status=$?
[ "$status" -ne 0 ] || status=$check

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
echo "=== the signature rules and the account sections in the log"
cp1252 Quillmark.log | tr -d '\r' | grep -E 'Regel|Konto-Abschnitt|Abschnitt Account|EMail-Konto'
echo "=== registry keys with values set or changed"
changed_keys() {  # the keys of the second file whose values differ from the first
  awk 'BEGIN { RS = ""; ORS = "\n\n" } NR == FNR { before[$0] = 1; next } /\n"/ && !($0 in before)' \
    <(utf16 "$1") <(utf16 "$2")
}
changed_keys registry-before.reg registry.reg
echo "=== open $demo/AppData/Microsoft/Signatures/standard.htm in a browser to see the signature"

# The second user, on a PC of his own: his application-data folder and registry.
# He works in Gdańsk, so the demo's rule gives him the short reply signature.
mkdir -p "$demo/AppData-lzolc"
cp registry-before.reg registry-lzolc.reg
QUILLMARK_REGISTRY="$demo/registry-lzolc.reg" APPDATA="$demo/AppData-lzolc" USERNAME=lzolc \
  LANG=de_DE.UTF-8 ./quillmark
status2=$?
echo
echo "=== second user lzolc: exit status: $status2"
for f in AppData-lzolc/Microsoft/Signatures/*.txt; do
  [ -e "$f" ] || continue
  echo "=== $f (Windows' look-alikes for the letters Windows-1252 lacks, \"?\" where it has none; no fax and no mobile line)"
  cp1252 "$f" | tr -d '\r'
done
echo "=== his name and company in standard.htm and standard.rtf, escaped for the format"
grep -a -e 'font-size:11pt' -e '<b>' AppData-lzolc/Microsoft/Signatures/standard.htm | tr -d '\r'
grep -a -e '^{\\b' AppData-lzolc/Microsoft/Signatures/standard.rtf | tr -d '\r'
[ "$status" -ne 0 ] || status=$status2

# An administrator previews the second user's signatures on the demo PC with
# /SIMULATE: the same run, written into the folder Vorschau-lzolc beside the
# configuration; the registry and the AppData folder stay as they are.
cp registry.reg registry-before-preview.reg
tree_sums() { find AppData -type f -exec md5sum {} + | sort; }
appdata_before="$(tree_sums)"
QUILLMARK_REGISTRY="$demo/registry.reg" APPDATA="$demo/AppData" USERNAME=lzolc \
  LANG=de_DE.UTF-8 ./quillmark /SIMULATE:Vorschau-lzolc /DEBUG:LOG
status3=$?
echo
echo "=== preview for lzolc with /SIMULATE:Vorschau-lzolc: exit status: $status3"
last_run() { cp1252 Quillmark.log | tr -d '\r' | awk '/Starte Quillmark/ { run = "" } { run = run $0 "\n" } END { printf "%s", run }'; }
last_run | sed -n '/Simulation/p; /Regel/p; /Abschnitt Account/p; /Vorschau:/p'
ls -l Vorschau-lzolc
if cmp -s registry.reg registry-before-preview.reg && [ "$(tree_sums)" = "$appdata_before" ]; then
  echo "=== the registry and the AppData folder are unchanged"
else
  echo "=== the preview changed the registry or the AppData folder"
  status3=1
fi
echo "=== open $demo/Vorschau-lzolc/index.htm in a browser (make preview takes a screenshot of the demo user's page)"
[ "$status" -ne 0 ] || status=$status3

# The same check on a copy with a newcomer's mistakes: a mistyped key, a
# placeholder that names no field, a logo saved as PNG. Each gets its line.
broken="$root/build/demo-check"
rm -rf "$broken"
mkdir -p "$broken/AppData"
cp -r "$demo/Vorlagen" "$broken/Vorlagen"
cp "$demo/quillmark.ini" "$demo/registry-before.reg" "$broken/"
sed -i 's/^DropEmptyLines=1/DropEmptyLine=1/' "$broken/quillmark.ini"
sed -i 's/@EMAIL@/@EMIAL@/' "$broken/Vorlagen/kurz.txt"
cp "$broken/Vorlagen/standard_logo.gif" "$broken/Vorlagen/standard_logo.png"
echo
echo "=== /CHECK of a copy with three mistakes (build/demo-check)"
QUILLMARK_REGISTRY="$broken/registry-before.reg" APPDATA="$broken/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark "/INI:$(windows_path "$broken")\\quillmark.ini" /CHECK
echo "=== exit status: $? (1: the check found errors)"

if [ "${1:-}" = "--outlook16" ]; then
  # The same job for Outlook 2016 and later: a registry whose profile lives
  # below Office\16.0, and which names the signature folder "Signaturen".
  demo16="$root/build/demo-outlook16"
  rm -rf "$demo16"
  mkdir -p "$demo16/AppData"
  cp -r "$root/examples/demo/." "$demo16/"
  cp "$demo16/registry-outlook16.reg" "$demo16/registry.reg"
  cp "$demo16/registry.reg" "$demo16/registry-before.reg"
  sqlite3 "$demo16/benutzer.db" < "$root/examples/demo/benutzer.sql"
  cp "$root/build/linux/quillmark" "$demo16/quillmark"
  full_database_path "$demo16"
  cd "$demo16"
  QUILLMARK_REGISTRY="$demo16/registry.reg" APPDATA="$demo16/AppData" USERNAME=demo \
    LANG=de_DE.UTF-8 ./quillmark /DEBUG:LOG
  status16=$?
  echo
  echo "=== Outlook 2016: exit status: $status16"
  echo "=== registration in the log file $demo16/Quillmark.log"
  cp1252 Quillmark.log | tr -d '\r' | sed -n '/Outlook-Version/p; /Pfad Outlook-Signaturen/p; /Stelle Standard-Signatur/,$p'
  echo "=== registry keys with values set or changed"
  changed_keys registry-before.reg registry.reg
  [ "$status" -ne 0 ] || status=$status16
fi
exit $status
