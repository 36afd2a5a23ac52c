# Sourced by ./run and ./test: installs the Debian packages that are missing
# (nothing when all are there) and builds the project into build/.

PICRELINK_PACKAGES=(
  build-essential cmake ninja-build binutils
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  qt6-base-dev qt6-translations-l10n libgl-dev
  qt6-tools-dev qt6-l10n-tools  # lrelease for the window's translations
  xvfb xauth fonts-noto-cjk strace python3
)

picrelink_missing_packages() {
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
      echo "$pkg"
    fi
  done
}

picrelink_install_packages() {
  local missing
  mapfile -t missing < <(picrelink_missing_packages "$@")
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "error: these packages are missing and this user cannot install them: ${missing[*]}" >&2
      return 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# picrelink_build DIR [cmake options...]
picrelink_build() {
  local dir=$1
  shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
  fi
  cmake --build "$dir" -j "$(nproc)"
}
