# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain (the
# "posix" thread model, which std::thread and friends need), run through
# wine. Use:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PICRELINK_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${PICRELINK_MINGW_TRIPLE}-gcc-posix ${PICRELINK_MINGW_TRIPLE}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${PICRELINK_MINGW_TRIPLE}-g++-posix ${PICRELINK_MINGW_TRIPLE}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${PICRELINK_MINGW_TRIPLE}-windres)
find_program(CMAKE_NM NAMES ${PICRELINK_MINGW_TRIPLE}-nm)

set(CMAKE_FIND_ROOT_PATH /usr/${PICRELINK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in statically (libgcc, libstdc++, winpthread): the .exe
# files run on a bare Windows, or under wine, without any DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under wine: wine64 where the packages put it on PATH,
# else the "wine" wrapper, which on Debian 12 starts the 64-bit loader when
# no 32-bit wine is installed.
find_program(PICRELINK_WINE NAMES wine64 wine)
if(PICRELINK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PICRELINK_WINE})
endif()

# The window for Windows is the native one (win32/), since Debian ships no Qt
# for Windows; the benchmarks need a Windows build of Google Benchmark.
set(PICRELINK_BUILD_UI OFF CACHE BOOL "Build the Qt window (needs Qt 6 Widgets)")
set(PICRELINK_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks (needs Google Benchmark)")
