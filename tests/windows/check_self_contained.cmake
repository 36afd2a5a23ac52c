# Fails when picrelink.exe needs a DLL that a bare Windows does not have (a
# C++ runtime, winpthread, a toolkit), when its manifest or version are not
# in it, or when it grows beyond MAX_BYTES.
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "${PROGRAM} lists no imports: the check would prove nothing")
endif()
# What every Windows 10 and 11 has in its system folder.
set(system_dlls kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll shell32.dll ole32.dll
                msvcrt.dll advapi32.dll)
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^api-ms-win-")
    message(FATAL_ERROR "${PROGRAM} needs ${dll}, which Windows does not bring")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -s -j .rsrc ${PROGRAM} OUTPUT_VARIABLE resources)
string(REGEX REPLACE "\n [0-9a-f]+ ([0-9a-f ]+)  [^\n]*" "\\1" hex "${resources}")
string(REPLACE " " "" hex "${hex}")
# "dpiAwareness" in the manifest, UTF-8; "FileVersion" in the version block, UTF-16LE.
if(NOT hex MATCHES "64706941776172656e657373")
  message(FATAL_ERROR "${PROGRAM} has no DPI awareness in its manifest")
endif()
if(NOT hex MATCHES "460069006c006500560065007200730069006f006e00")
  message(FATAL_ERROR "${PROGRAM} has no version information")
endif()

file(SIZE ${PROGRAM} size)
if(size GREATER MAX_BYTES)
  message(FATAL_ERROR "${PROGRAM} has ${size} bytes, more than ${MAX_BYTES}")
endif()
message(STATUS "${PROGRAM}: ${size} bytes; imports only system DLLs")
