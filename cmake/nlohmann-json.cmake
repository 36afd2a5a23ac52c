# nlohmann_json::nlohmann_json: the header-only JSON library that
# picrelink-cli writes its --json output with (Debian: nlohmann-json3-dev).
#
# Natively it comes from the library's own CMake package. A mingw-w64 cross
# build looks for a package for the target first (Debian ships none); else it
# takes the host's headers, which are plain C++, but never /usr/include as a
# whole: the glibc headers there would stand in for mingw's. Only the
# nlohmann/ folder is copied into the build tree and used from there.
if(NOT (CMAKE_CROSSCOMPILING AND WIN32))
  find_package(nlohmann_json 3 REQUIRED)
  return()
endif()

find_package(nlohmann_json 3 QUIET)
if(nlohmann_json_FOUND)
  return()
endif()

find_path(PICRELINK_HOST_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp
          PATHS /usr/include /usr/local/include
          NO_CMAKE_FIND_ROOT_PATH
          DOC "Host folder that holds nlohmann/json.hpp (Debian package nlohmann-json3-dev)")
if(NOT PICRELINK_HOST_NLOHMANN_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp not found (Debian package nlohmann-json3-dev)")
endif()

# The major version: in detail/abi_macros.hpp since 3.11, in json.hpp before.
set(picrelink_json_major "")
foreach(header IN ITEMS nlohmann/detail/abi_macros.hpp nlohmann/json.hpp)
  set(file ${PICRELINK_HOST_NLOHMANN_JSON_INCLUDE}/${header})
  if(picrelink_json_major STREQUAL "" AND EXISTS ${file})
    file(STRINGS ${file} line REGEX "^#define NLOHMANN_JSON_VERSION_MAJOR +[0-9]+")
    if(line MATCHES "NLOHMANN_JSON_VERSION_MAJOR +([0-9]+)")
      set(picrelink_json_major ${CMAKE_MATCH_1})
    endif()
  endif()
endforeach()
if(NOT picrelink_json_major STREQUAL "3")
  message(FATAL_ERROR "nlohmann/json.hpp in ${PICRELINK_HOST_NLOHMANN_JSON_INCLUDE} is not "
                      "version 3 (major version: '${picrelink_json_major}')")
endif()

set(picrelink_json_include ${CMAKE_BINARY_DIR}/nlohmann_json/include)
file(REMOVE_RECURSE ${picrelink_json_include})
file(COPY ${PICRELINK_HOST_NLOHMANN_JSON_INCLUDE}/nlohmann DESTINATION ${picrelink_json_include})
# A newer package on the host copies again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PICRELINK_HOST_NLOHMANN_JSON_INCLUDE}/nlohmann/json.hpp)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
                      INTERFACE_INCLUDE_DIRECTORIES ${picrelink_json_include})
