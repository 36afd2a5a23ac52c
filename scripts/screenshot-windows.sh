#!/usr/bin/env bash
# Takes a picture of picrelink.exe's window as a Chinese seller sees it on
# opening, and writes it to docs/window-windows.png; then one of the folder
# browser that the "..." of 当前描述图片位置 opens, docs/folder-browser-windows.png. The program runs under
# wine on a virtual X display, from a folder whose name has Chinese characters
# and spaces, beside a small CSV and the picture folder it names, so that the
# window shows what start-up found there.
#   scripts/screenshot-windows.sh [BUILD_DIR]     (default: build-win)
# BUILD_DIR is the Windows build of scripts/test-windows.sh; when it holds no
# picrelink.exe yet, the build is brought up to date first. Installs the
# missing Debian packages (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

build_dir=${1:-build-win}
program=$build_dir/win32/picrelink.exe
picture=docs/window-windows.png
browser_picture=docs/folder-browser-windows.png
title=调整CSV文件宝贝描述图片位置

picrelink_install_packages wine wine64 fonts-wine xvfb xauth x11-apps x11-utils xdotool imagemagick \
  fonts-noto-cjk locales

if [ ! -f "$program" ]; then
  if [ -f "$build_dir/CMakeCache.txt" ]; then
    cmake --build "$build_dir" -j "$(nproc)"
  else
    echo "no Windows build in $build_dir: run scripts/test-windows.sh $build_dir first" >&2
    exit 1
  fi
fi
if [ ! -f "$program" ]; then
  echo "the build in $build_dir made no $program" >&2
  exit 1
fi

# The font that stands in for the Chinese fonts of Windows.
cjk_font="Noto Sans CJK SC"
if ! fc-list : family | grep -q "$cjk_font"; then
  echo "the font $cjk_font is missing (fonts-noto-cjk)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wine takes its Windows locale, and with it the code page and the fonts of
# the window's frame, from the Unix locale. zh_CN.UTF-8 is made here when the
# system does not have it, in a folder of its own, so nothing is installed.
locales=()
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  mkdir "$work/locale"
  if localedef -i zh_CN -f UTF-8 "$work/locale/zh_CN.UTF-8" >/dev/null 2>&1; then
    locales=(LOCPATH="$work/locale")
  else
    echo "warning: no zh_CN.UTF-8 locale; wine runs in an English one" >&2
  fi
fi

# The seller's folder: the program, the CSV and the picture folder beside it.
# It becomes D:\店铺 资料 2026 under wine, as on a seller's machine.
drive_d="$work/d"
shop="$drive_d/店铺 资料 2026"
mkdir -p "$shop/图片/item1" "$shop/图片/item2" "$shop/图片/item3"
# A copy, not a link: the program looks for the CSV beside its own file.
cp "$program" "$shop/picrelink.exe"
for name in item1/a.jpg item1/c.jpg item2/b.jpg item3/d.jpg; do
  printf 'jpg' >"$shop/图片/$name"
done
# UTF-16LE behind FF FE, as the shop software saves it; the descriptions name
# their pictures under D:\旧店铺\图片, in path and in file-URL form.
{
  printf '\xff\xfe'
  printf '%s\r\n' '"宝贝名称","宝贝价格","宝贝描述"' \
    '"手工陶瓷杯","39.00","<p><img src=""D:\旧店铺\图片\item1\a.jpg""><img src=""D:\旧店铺\图片\item1\c.jpg""></p>"' \
    '"亚麻桌布","59.00","<p>尺寸见图<img src=""file:///D:/旧店铺/图片/item2/b.jpg""></p>"' \
    '"木质托盘","45.00","<p><img src=""D:\旧店铺\图片\item3\d.jpg""></p>"' |
    iconv -f UTF-8 -t UTF-16LE
} >"$shop/宝贝 数据.csv"

# A prefix of its own, made anew, so that nothing of an earlier run or of the
# user's own wine set-up shows in the picture; wine's own dialogs (mono,
# gecko) must not be asked for.
WINEPREFIX="$(cd "$build_dir" && pwd)/screenshot-wineprefix"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
env "${locales[@]}" LANG=zh_CN.UTF-8 wineboot --init >/dev/null 2>&1 || true
wineserver -w
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "error: wine could not make its prefix in $WINEPREFIX" >&2
  exit 1
fi
# Debian's wine does not look in /usr/share/wine/fonts (fonts-wine) by
# itself; without Marlett there the frame's buttons show letters instead of
# their symbols. In the prefix's Fonts folder wine finds them.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
rm -f "$WINEPREFIX/dosdevices/d:"
ln -s "$drive_d" "$WINEPREFIX/dosdevices/d:"

# Windows' Chinese fonts are not there: their names are made to stand for the
# Noto font, which wine finds through fontconfig. Wine draws the window's
# frame itself, as Windows does, since Xvfb runs no window manager. The file
# is UTF-16LE, as regedit reads a version 5 file with Chinese names.
{
  printf '\xff\xfe'
  {
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
    for name in 宋体 SimSun 新宋体 NSimSun 微软雅黑 "Microsoft YaHei" "Microsoft YaHei UI" 黑体 SimHei; do
      printf '"%s"="%s"\r\n' "$name" "$cjk_font"
    done
    printf '%s\r\n' '' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' ''
  } | iconv -f UTF-8 -t UTF-16LE
} >"$work/fonts.reg"
env "${locales[@]}" LANG=zh_CN.UTF-8 wine regedit /S "$(winepath -w "$work/fonts.reg" 2>/dev/null)" \
  >/dev/null 2>&1
wineserver -w

mkdir -p "$(dirname "$picture")"
target=$(cd "$(dirname "$picture")" && pwd)/$(basename "$picture")
browser_target=$(cd "$(dirname "$browser_picture")" && pwd)/$(basename "$browser_picture")

# A Chinese seller's system: the window's own texts read in Chinese. The
# inner script's variables are its own, expanded when it runs.
# shellcheck disable=SC2016
env -u LANGUAGE -u LC_ALL -u LC_MESSAGES "${locales[@]}" LANG=zh_CN.UTF-8 \
  xvfb-run -a -s "-screen 0 1024x600x24" bash -c '
    set -euo pipefail
    cd "$1"
    wine picrelink.exe >"$4/wine.log" 2>&1 &
    pid=$!
    # Ends the program and everything else of the prefix.
    trap "wineserver -k >/dev/null 2>&1 || true" EXIT
    window=""
    for _ in $(seq 600); do
      window=$(xdotool search --onlyvisible --name "$3" 2>/dev/null | head -n 1) || true
      [ -n "$window" ] && break
      if ! kill -0 "$pid" 2>/dev/null; then
        echo "picrelink.exe ended before its window appeared; wine said:" >&2
        cat "$4/wine.log" >&2
        exit 1
      fi
      sleep 0.1
    done
    if [ -z "$window" ]; then
      echo "the window \"$3\" did not appear within 60 s; wine said:" >&2
      cat "$4/wine.log" >&2
      exit 1
    fi
    sleep 3  # let it paint and the status come in
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xwd -root -silent |
      convert xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "png:$2"

    # The folder browser: Tab from btn2 (the focus at opening) to btn3, whose
    # folder exists, and Ctrl+Enter, as its "..." does.
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 0.5
    xdotool key --clearmodifiers Tab
    sleep 0.3
    xdotool key --clearmodifiers ctrl+Return
    browser=""
    for _ in $(seq 300); do
      browser=$(xdotool search --onlyvisible --name "^Browse for Folder$" 2>/dev/null | head -n 1) || true
      [ -n "$browser" ] && break
      sleep 0.1
    done
    if [ -z "$browser" ]; then
      echo "the folder browser did not appear within 30 s; wine said:" >&2
      cat "$4/wine.log" >&2
      exit 1
    fi
    sleep 2  # let the tree fill and paint
    eval "$(xdotool getwindowgeometry --shell "$browser")"
    xwd -root -silent |
      convert xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "png:$5"
  ' _ "$shop" "$target" "$title" "$work" "$browser_target"

echo "wrote $picture and $browser_picture"
