#!/usr/bin/env bash
# make preview: what an administrator sees before a rollout. The linux build
# runs the demo (examples/demo/) for its user with /SIMULATE, which renders the
# signatures, registry.reg and index.htm into build/preview/ and changes
# nothing else: the demo registry and the AppData folder stay as they were.
# Headless Chromium then takes a screenshot of index.htm (build/preview/index.png).
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="$root/build/preview-run"  # the program beside its configuration, as on a share
preview="$root/build/preview"
rm -rf "$work" "$preview"
mkdir -p "$work/AppData"
cp -r examples/demo/. "$work/"
sqlite3 "$work/benutzer.db" <examples/demo/benutzer.sql
cp build/linux/quillmark "$work/quillmark"
cp "$work/registry.reg" "$work/registry-before.reg"

cd "$work"
# The command line is split at "/": the preview folder is written with "\".
QUILLMARK_REGISTRY="$work/registry.reg" APPDATA="$work/AppData" USERNAME=demo \
  LANG=de_DE.UTF-8 ./quillmark "/SIMULATE:${preview//\//\\}" /DEBUG:LOG
status=$?

echo "=== exit status: $status"
echo "=== log file $work/Quillmark.log"
iconv -f WINDOWS-1252 -t UTF-8 Quillmark.log | tr -d '\r'
echo "=== preview folder $preview"
ls -l "$preview"
if cmp -s registry.reg registry-before.reg && [ -z "$(ls -A AppData)" ]; then
  echo "=== the registry and the AppData folder are unchanged"
else
  echo "=== the registry or the AppData folder changed"
  status=1
fi

profile="$(mktemp -d)"
timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=1200,2700 --virtual-time-budget=5000 \
  --screenshot="$preview/index.png" "file://$preview/index.htm" >/dev/null 2>&1
rm -rf "$profile"
echo "=== page:       $preview/index.htm"
if [ -s "$preview/index.png" ]; then
  echo "=== screenshot: $preview/index.png"
else
  echo "=== no screenshot: is chromium installed (make deps)?"
  status=1
fi
exit $status
