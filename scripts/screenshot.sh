#!/usr/bin/env bash
# Takes a picture of the main window as a Chinese seller sees it on opening,
# with the status area telling what the census found, and one of the details
# behind it; writes them to docs/window.png and docs/window-details.png. A
# third one, docs/window-offer.png, shows the window beside a package whose
# pictures were unpacked under another name, with the offer "使用此位置".
# Builds nothing: it starts an already built program under a virtual X
# display, in a temporary folder beside a small CSV and its picture folder
# (one picture missing), so that the path edits show what start-up found.
#   scripts/screenshot.sh [program [picture [details-picture [offer-picture]]]]
# Needs xvfb-run (xvfb), xwd (x11-apps), xwininfo (x11-utils), xdotool and
# convert (imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-build/ui/picrelink}
picture=${2:-docs/window.png}
details=${3:-docs/window-details.png}
offer=${4:-docs/window-offer.png}

missing=()
for tool in xvfb-run xwd xwininfo xdotool convert iconv; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "missing: ${missing[*]}; install with" >&2
  echo "  apt-get install xvfb x11-apps x11-utils xdotool imagemagick" >&2
  exit 1
fi
if [ ! -x "$program" ]; then
  echo "no program at $program: build it first (cmake --build build)" >&2
  exit 1
fi

work=$(mktemp -d)
offer_work=$(mktemp -d)
trap 'rm -rf "$work" "$offer_work"' EXIT
# A copy, not a link: the program looks for the CSV beside its own file.
cp "$program" "$work/picrelink"
mkdir -p "$work/pics/item" "$work/pics/detail"
for name in item/a.jpg item/b.jpg item/c.jpg detail/d.jpg; do
  printf 'jpg' >"$work/pics/$name"
done
# UTF-16LE behind FF FE; the descriptions name pictures under D:\old\pics,
# in path and in file-URL form; D:\old\pics\detail\e.jpg is missing.
{
  printf '\xff\xfe'
  printf '%s\r\n' '"宝贝名称","宝贝描述"' \
    '"示例宝贝","<p><img src=""D:\old\pics\item\a.jpg""><img src=""D:\old\pics\item\b.jpg""></p>"' \
    '"另一件宝贝","<p><img src=""file:///D:/old/pics/item/c.jpg""><img src=""D:\old\pics\detail\d.jpg""><img src=""D:\old\pics\detail\e.jpg""></p>"' |
    iconv -f UTF-8 -t UTF-16LE
} >"$work/goods.csv"

# The same package unpacked with its picture folder under another name: the
# proposal (pics beside the CSV) is missing, the search finds the pictures.
cp "$program" "$offer_work/picrelink"
cp "$work/goods.csv" "$offer_work/goods.csv"
cp -r "$work/pics" "$offer_work/店铺图片"
printf 'jpg' >"$offer_work/店铺图片/detail/e.jpg"

for file in "$picture" "$details" "$offer"; do mkdir -p "$(dirname "$file")"; done
target=$(cd "$(dirname "$picture")" && pwd)/$(basename "$picture")
details_target=$(cd "$(dirname "$details")" && pwd)/$(basename "$details")
offer_target=$(cd "$(dirname "$offer")" && pwd)/$(basename "$offer")

# A Chinese seller's system: the window's own texts read in Chinese.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY xvfb-run -a -s "-screen 0 1024x600x24" \
  bash -c '
    set -euo pipefail
    cd "$1"
    env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=zh_CN.UTF-8 ./picrelink &
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
    sleep 2  # let it paint and the census come in
    xwd -root -silent | convert xwd:- -crop "800x347${place}" +repage "png:$2"

    # The details button sits at the right end of the status area.
    IFS=+ read -r _ x y <<<"$place"
    xdotool mousemove $((x + 730)) $((y + 285)) click 1
    dialog=""
    for _ in $(seq 50); do
      dialog=$(xwininfo -root -tree | awk "/ 640x400\\+/ { print \$NF; exit }")
      [ -n "$dialog" ] && break
      sleep 0.1
    done
    if [ -z "$dialog" ]; then
      echo "the details did not open" >&2
      exit 1
    fi
    sleep 1
    xwd -root -silent | convert xwd:- -crop "640x400${dialog}" +repage "png:$3"
  ' _ "$work" "$target" "$details_target"

env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY xvfb-run -a -s "-screen 0 1024x600x24" \
  bash -c '
    set -euo pipefail
    cd "$1"
    env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=zh_CN.UTF-8 ./picrelink &
    pid=$!
    trap "kill $pid 2>/dev/null || true" EXIT
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
    sleep 2  # the census and the search
    xwd -root -silent | convert xwd:- -crop "800x347${place}" +repage "png:$2"
  ' _ "$offer_work" "$offer_target"

echo "wrote $picture, $details and $offer"
