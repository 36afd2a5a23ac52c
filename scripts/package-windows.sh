#!/usr/bin/env bash
# Makes the zip that a seller downloads: picrelink.exe, picrelink-cli.exe and
# the guide 使用说明.html (Chinese, its pictures inside it), written to
#   dist/PicRelink-<version>-windows-x64.zip
# The version is the project's, from CMakeLists.txt, as the programs' version
# resources carry it. The programs are cross-built with mingw-w64 into
# BUILD_DIR; the guide's pictures are docs/window-windows.png and
# docs/folder-browser-windows.png, which scripts/screenshot-windows.sh takes.
#   scripts/package-windows.sh [BUILD_DIR]     (default: build-win)
# Installs the missing Debian packages first (as root, or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

build_dir=${1:-build-win}

picrelink_install_packages cmake ninja-build g++-mingw-w64-x86-64-posix googletest \
  nlohmann-json3-dev python3

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DPICRELINK_BUILD_BENCH=OFF
fi
cmake --build "$build_dir" -j "$(nproc)" --target picrelink picrelink-cli

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "error: no project version in $build_dir/CMakeCache.txt" >&2
  exit 1
fi

for picture in docs/window-windows.png docs/folder-browser-windows.png; do
  if [ ! -f "$picture" ]; then
    echo "error: $picture is missing: run scripts/screenshot-windows.sh $build_dir" >&2
    exit 1
  fi
done

mkdir -p dist
zip_file=dist/PicRelink-$version-windows-x64.zip

# The guide with its pictures inside, so that it opens whole wherever it is
# copied; the zip's names are stored as UTF-8 (and marked so), as Windows'
# own zip folders read them.
python3 - "$zip_file" "$version" "$build_dir" <<'PYTHON'
import base64
import pathlib
import sys
import time
import zipfile

zip_file, version, build_dir = sys.argv[1:4]


def picture(path):
    data = base64.b64encode(pathlib.Path(path).read_bytes()).decode("ascii")
    return "data:image/png;base64," + data


guide = pathlib.Path("docs/guide/seller-guide.zh_CN.html.in").read_text(encoding="utf-8")
for placeholder, value in {
    "@VERSION@": version,
    "@WINDOW_PICTURE@": picture("docs/window-windows.png"),
    "@BROWSER_PICTURE@": picture("docs/folder-browser-windows.png"),
}.items():
    if placeholder not in guide:
        sys.exit(f"error: the guide has no {placeholder}")
    guide = guide.replace(placeholder, value)

members = {
    "picrelink.exe": pathlib.Path(build_dir, "win32", "picrelink.exe").read_bytes(),
    "picrelink-cli.exe": pathlib.Path(build_dir, "cli", "picrelink-cli.exe").read_bytes(),
    "使用说明.html": guide.encode("utf-8"),
}
partial = zip_file + ".part"
with zipfile.ZipFile(partial, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    now = time.localtime()[:6]
    for name, data in members.items():
        member = zipfile.ZipInfo(name, date_time=now)
        member.external_attr = 0o644 << 16  # readable where it is unpacked on Linux
        archive.writestr(member, data, compress_type=zipfile.ZIP_DEFLATED)
pathlib.Path(partial).replace(zip_file)
PYTHON

echo "wrote $zip_file ($(stat -c %s "$zip_file") bytes)"
