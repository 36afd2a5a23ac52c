# GoogleTest for a cross build: Debian's libgtest packages hold host
# libraries only, so the googletest package's sources are built with the
# cross compiler as part of this project.
set(PICRELINK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${PICRELINK_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${PICRELINK_GOOGLETEST_SOURCE} "
                      "(Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)

add_subdirectory(${PICRELINK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(library IN ITEMS gtest gtest_main)
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
  # Its sources are not held to this project's warning flags.
  target_compile_options(${library} PRIVATE -w)
endforeach()
