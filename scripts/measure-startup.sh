#!/usr/bin/env bash
# Measures start to first painted window, and resident memory at that moment,
# with an empty store and with a store of 1,000 canvases (50 rows, 20 links
# each), and with one canvas of rows 100,000 characters long. Runs each case
# five times; uses Xvfb when it is installed.
#   scripts/measure-startup.sh            (after a build)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$PWD/build/src/quillsheet
maker=$PWD/build/tools/MakeSampleStore
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_case() { # name, store kind (empty|large|long)
  local name=$1 kind=$2 home=$work/$1
  mkdir -p "$home/.local/share/Quillsheet" "$home/runtime"
  chmod 700 "$home/runtime"
  if [ "$kind" != empty ]; then "$maker" "$home/.local/share/Quillsheet/default.store" "$kind"; fi
  for i in 1 2 3 4 5; do
    local out=$work/$name.$i.log
    (
      export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share \
        XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$home/runtime \
        QUILLSHEET_EXCHANGE_RATE_URL=http://127.0.0.1:9 QT_LOGGING_RULES="quillsheet.startup.info=true"
      start=$(date +%s%3N)
      "$program" >"$out" 2>&1 &
      pid=$!
      for _ in $(seq 1 200); do grep -q "first paint" "$out" && break; sleep 0.05; done
      asked=$(date +%s%3N)
      kill -TERM $pid; wait $pid || true
      ended=$(date +%s%3N)
      painted=$(sed -n 's/.*first paint at \([0-9]*\) ms.*/\1/p' "$out")
      rss=$(sed -n 's/.*resident \(.*\)/\1/p' "$out")
      echo "$name run $i: $((painted - start)) ms to first paint, resident $rss, exited $((ended - asked)) ms after TERM"
    )
  done
}

main() {
  run_case empty empty
  run_case large large
  run_case long long
}

if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null && [ "${1:-}" != --inside ]; then
  xvfb-run -a -s "-screen 0 1280x800x24" "$0" --inside
elif [ -n "${DISPLAY:-}" ]; then
  main
else
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  main
fi
