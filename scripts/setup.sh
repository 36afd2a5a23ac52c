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

# The sanitizer build (build-rel-asan), shared by scripts/test-sanitize.sh and
# scripts/test-fuzz.sh: clang with AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer's coverage, -O1 with line tables, so that one build serves the
# unit tests and the fuzz targets. The slow tests are not run there, so they
# are not built either.
PICRELINK_SANITIZED_BUILD=build-rel-asan
PICRELINK_SANITIZED_PACKAGES=(
  cmake ninja-build clang libclang-rt-14-dev
  libgtest-dev libgmock-dev nlohmann-json3-dev strace
)

picrelink_configure_sanitized() {
  local dir=$PICRELINK_SANITIZED_BUILD
  if [ -f "$dir/CMakeCache.txt" ]; then
    grep -q '^PICRELINK_FUZZ:BOOL=ON$' "$dir/CMakeCache.txt" && return 0
    # An older sanitizer build made with another compiler: a compiler cannot
    # change in place, so the folder is made anew.
    rm -rf "$dir"
  fi
  local cxx cc
  cxx=$(command -v clang++-14 || command -v clang++)
  cc=$(command -v clang-14 || command -v clang)
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DPICRELINK_SANITIZE=ON -DPICRELINK_FUZZ=ON \
    -DPICRELINK_BUILD_UI=OFF -DPICRELINK_BUILD_BENCH=OFF -DPICRELINK_BUILD_SLOW_TESTS=OFF
}
