#!/usr/bin/env bash
# How soon each window is shown beside a big CSV: the Linux window
# (build/ui/picrelink) and picrelink.exe under wine (build-win/win32), started
# in turn on one virtual display, each timed from its start until its window
# is mapped; and, as the floor of any program under wine, a window with
# nothing in it. Start-up fills the values before the window is shown, so a
# mapped window already holds them.
#   bench/window-start.sh [SIZE_MB] [ROUNDS]     (default 200 MB, 5 rounds)
# Needs ./test (build/) and scripts/test-windows.sh (build-win/) to have built.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
picrelink_install_packages xvfb xauth xdotool wine wine64 bc

size=${1:-200}
rounds=${2:-5}
for file in build/ui/picrelink build/bench/picrelink-make-csv build-win/win32/picrelink.exe \
  build-win/tests/windows/empty_window.exe; do
  [ -x "$file" ] || { echo "missing $file: build with ./test and scripts/test-windows.sh" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
build/bench/picrelink-make-csv "$size" "$work/linux/listing.csv" >/dev/null
ln "$work/linux/listing.csv" "$work/windows/listing.csv"
cp build/ui/picrelink "$work/linux/"
cp build-win/win32/picrelink.exe "$work/windows/"
cp build-win/tests/windows/empty_window.exe "$work/"

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1 || true
wineserver -w

cat >"$work/measure.sh" <<'INNER'
set -euo pipefail
work=$1 rounds=$2
caption="调整CSV文件宝贝描述图片位置"
# The wine server stays for all rounds, as it does on a desktop where wine
# already runs; each round still starts a new process.
wineserver -p
now() { date +%s.%N; }
shown_after() {  # program... ; prints the seconds until its window is mapped
  local start pid
  start=$(now)
  "$@" >/dev/null 2>&1 &
  pid=$!
  # Polled every 10 ms (xdotool's own --sync looks only every half second).
  until xdotool search --onlyvisible --name "$caption" >/dev/null 2>&1; do sleep 0.01; done
  echo "$(now) - $start" | bc
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # The wine process may outlive its starter.
  while xdotool search --onlyvisible --name "$caption" >/dev/null 2>&1; do sleep 0.1; done
}
cat "$work/linux/listing.csv" >/dev/null  # both read it from the cache
for round in $(seq "$rounds"); do
  linux=$(shown_after "$work/linux/picrelink")
  windows=$(shown_after wine "$work/windows/picrelink.exe")
  empty=$(shown_after wine "$work/empty_window.exe")
  echo "$round $linux $windows $empty"
done
wineserver -k
INNER

echo "round linux_s wine_s wine_empty_window_s"
xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/measure.sh" "$work" "$rounds" |
  tee "$work/times"
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
linux=$(awk '{ print $2 }' "$work/times" | median)
wine=$(awk '{ print $3 }' "$work/times" | median)
empty=$(awk '{ print $4 }' "$work/times" | median)
echo "median: linux $linux s, wine $wine s, wine/linux $(echo "scale=2; $wine / $linux" | bc)"
echo "an empty window under wine: $empty s; picrelink.exe beyond it: $(echo "$wine - $empty" | bc) s"
echo "picrelink.exe: $(stat -c %s build-win/win32/picrelink.exe) bytes"
