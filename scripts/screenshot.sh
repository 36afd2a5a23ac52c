#!/usr/bin/env bash
# Takes a picture of the main window as a user sees it on opening and writes
# it to docs/window.png. Builds nothing: it starts an already built program
# under a virtual X display, in a temporary folder beside a small CSV and its
# picture folder, so that the path edits show what start-up found.
#   scripts/screenshot.sh [program [picture]]
# Needs xvfb-run (xvfb), xwd (x11-apps), xwininfo (x11-utils) and convert
# (imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-build/ui/picrelink}
picture=${2:-docs/window.png}

missing=()
for tool in xvfb-run xwd xwininfo convert iconv; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "missing: ${missing[*]}; install with" >&2
  echo "  apt-get install xvfb x11-apps x11-utils imagemagick" >&2
  exit 1
fi
if [ ! -x "$program" ]; then
  echo "no program at $program: build it first (cmake --build build)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, not a link: the program looks for the CSV beside its own file.
cp "$program" "$work/picrelink"
mkdir -p "$work/pics/item"
printf 'jpg' >"$work/pics/item/a.jpg"
# UTF-16LE behind FF FE; the description names D:\old\pics\item\a.jpg.
{
  printf '\xff\xfe'
  printf '%s\r\n' '"宝贝名称","宝贝描述"' \
    '"示例宝贝","<p><img src=""D:\old\pics\item\a.jpg""></p>"' | iconv -f UTF-8 -t UTF-16LE
} >"$work/goods.csv"

mkdir -p "$(dirname "$picture")"
target=$(cd "$(dirname "$picture")" && pwd)/$(basename "$picture")

env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY xvfb-run -a -s "-screen 0 1024x600x24" \
  bash -c '
    set -euo pipefail
    cd "$1"
    ./picrelink &
    pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
    # The window is the one of the main window'"'"'s size; wait until it is mapped.
    place=""
    for _ in $(seq 100); do
      place=$(xwininfo -root -tree | awk "/ 800x347\\+/ { print \$NF; exit }")
      [ -n "$place" ] && break
      sleep 0.1
    done
    if [ -z "$place" ]; then
      echo "the window did not appear" >&2
      exit 1
    fi
    sleep 1  # let it paint
    xwd -root -silent | convert xwd:- -crop "800x347${place}" +repage "png:$2"
  ' _ "$work" "$target"

echo "wrote $picture"
