#!/usr/bin/env bash
# The Windows leg: builds core/, relocation/, picrelink-cli, the window
# picrelink.exe and their tests for 64-bit Windows with mingw-w64 and runs
# the tests under wine, in a wine prefix made fresh for every run, on a
# virtual display of its own (Xvfb) for the window's tests.
#   scripts/test-windows.sh [BUILD_DIR]     (default: build-win)
# Installs the missing Debian packages first (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

build_dir=${1:-build-win}

picrelink_install_packages cmake ninja-build g++-mingw-w64-x86-64-posix googletest \
  nlohmann-json3-dev wine wine64 xvfb xauth fonts-noto-cjk

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DPICRELINK_BUILD_BENCH=OFF
fi
cmake --build "$build_dir" -j "$(nproc)"
# The zip a seller downloads (dist/), from the programs just built.
scripts/package-windows.sh "$build_dir"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
zip_file=$PWD/dist/PicRelink-$version-windows-x64.zip

# A prefix of its own, made anew, so that nothing of an earlier run or of the
# user's own wine set-up takes part. Console programs need no display, and
# wine's own dialogs (mono, gecko) must not be asked for.
export WINEPREFIX="$PWD/$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1 || true
# Xvfb runs no window manager: a window that wine leaves to one waits two
# seconds at every hiding for an answer that never comes. Wine manages the
# windows itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
# Windows' Chinese fonts are not there: their names stand for Noto Sans CJK,
# whose characters are wider and taller than 宋体's, so that the window's
# tests see its controls drawn with a face wider than the one it was
# designed for, as on a Windows that lacks 宋体 or scales it unevenly. The
# file is UTF-16LE, as regedit reads a version 5 file with Chinese names.
fonts_reg="$WINEPREFIX/fonts.reg"
{
  printf '\xff\xfe'
  {
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
    for name in 宋体 SimSun 新宋体 NSimSun 微软雅黑 "Microsoft YaHei" "Microsoft YaHei UI"; do
      printf '"%s"="%s"\r\n' "$name" "Noto Sans CJK SC"
    done
  } | iconv -f UTF-8 -t UTF-16LE
} >"$fonts_reg"
wine regedit /S "$(winepath -w "$fonts_reg" 2>/dev/null)" >/dev/null 2>&1 || true
# The server writes the new prefix's registry when it ends.
wineserver -w
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "error: wine could not make its prefix in $WINEPREFIX" >&2
  exit 1
fi
# The zip unpacked as a seller unpacks it, into a folder with a Chinese name
# and spaces; a window test puts a CSV and its pictures beside the programs
# there and starts picrelink.exe. The variable names the folder above it.
unpacked="$WINEPREFIX/drive_c/picrelink-unpacked"
mkdir -p "$unpacked/春季 店铺 资料"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
  "$zip_file" "$unpacked/春季 店铺 资料"
export PICRELINK_UNPACKED_ZIP='C:\picrelink-unpacked'

# The prefix's wine server started above; it goes when the tests are done.
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

# The window's tests need a display; xvfb-run gives the tests one that no
# other program shares. The wine server and wine's own background programs
# take the display from the first program that starts them, so they start
# under xvfb-run too, before the tests and apart from them: started by a
# test program, they would hold that test's output open until the last
# program ends, and CTest would count that test running all the while, its
# place taken from the others. The server stays until the trap above ends it.
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  exec ctest --test-dir "$0" --output-on-failure -j "$(nproc)" --timeout 900' "$build_dir"
