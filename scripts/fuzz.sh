#!/usr/bin/env bash
# Runs every fuzz target for a bounded time (FUZZ_SECONDS each, default 60),
# starting from the seeds in fuzz/seeds/<target>, and replays fuzz/regressions/<target>
# (inputs that once crashed) first. A crash leaves its input in build/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMARK_FUZZ=ON >/dev/null
cmake --build build/fuzz
mkdir -p build/fuzz/crashes
status=0
# Every target in the default code page; the renderer also in Japanese 932,
# where "@" and letters are the second byte of many characters.
for run in build/fuzz/*_fuzz build/fuzz/render_fuzz:932; do
  exe=${run%%:*}
  codepage=${run#"$exe"}
  codepage=${codepage#:}
  name=$(basename "$exe" _fuzz)
  label=$name${codepage:+-$codepage}
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  export QUILLMARK_CODEPAGE="$codepage"
  if [ -d "fuzz/regressions/$name" ]; then
    "$exe" -runs=0 "fuzz/regressions/$name" >/dev/null 2>&1 || { echo "fuzz: $label regression fails"; status=1; }
  fi
  if "$exe" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="build/fuzz/crashes/$label-" "$corpus" "fuzz/seeds/$name" >"build/fuzz/$label.log" 2>&1; then
    echo "fuzz: $label $(grep -o 'Done [0-9]* runs' "build/fuzz/$label.log" | tail -1)"
  else
    echo "fuzz: $label FAILED (see build/fuzz/$label.log)"; tail -20 "build/fuzz/$label.log"; status=1
  fi
done
exit $status
