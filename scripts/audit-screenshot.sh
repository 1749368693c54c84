#!/usr/bin/env bash
# The screenshot of the README's audit section: the linux build audits the
# demo company (examples/demo/, the names of its personnel list) into
# build/audit-screenshot/Audit/, and headless Chromium takes a picture of the
# page, docs/audit-page.png. Run it again after a change of the page.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="$root/build/audit-screenshot"  # the program beside its configuration, as on a share
rm -rf "$work"
mkdir -p "$work/AppData"
cp -r examples/demo/. "$work/"
sqlite3 "$work/benutzer.db" <examples/demo/benutzer.sql
cp build/linux/quillmark "$work/quillmark"
# The database by its full path, in the Windows notation the program reads
# (every backslash doubled for sed).
windows_path() { printf '%s' "${1//\//\\}"; }
sed_text() { printf '%s' "${1//\\/\\\\}"; }
sed -i "s|Data Source=benutzer.db|Data Source=$(sed_text "$(windows_path "$work/benutzer.db")")|" "$work/quillmark.ini"

cd "$work"
QUILLMARK_REGISTRY="$work/registry.reg" APPDATA="$work/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark /AUDIT:Audit
status=$?
echo "=== exit status: $status (1: a user's run would fail)"
[ -s Audit/index.htm ] || { echo "=== no page: $work/Audit/index.htm"; exit 1; }

profile="$(mktemp -d)"
timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=1400,880 --virtual-time-budget=5000 \
  --screenshot="$root/docs/audit-page.png" "file://$work/Audit/index.htm" >/dev/null 2>&1
rm -rf "$profile"
if [ -s "$root/docs/audit-page.png" ]; then
  echo "=== screenshot: $root/docs/audit-page.png"
else
  echo "=== no screenshot: is chromium installed (make deps)?"
  exit 1
fi
