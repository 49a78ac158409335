# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows executable: the system's sources over the real user32,
# kernel32, winmm and comctl32, with its resources compiled by windres from
# the same script as the Linux build. Included by the top-level project when
# it is configured with cmake/mingw-i686.cmake.
enable_language(RC)

# The project's warning options are for the compilers, not for windres.
get_directory_property(korvane_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "$<$<COMPILE_LANGUAGE:C,CXX>:${korvane_options}>")

# korvane.exe, and the test programs beside it, at the top of the build tree.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

add_executable(korvane WIN32 ${KORVANE_SYSTEM_SOURCES} window/korvane.rc)
# Static, so that the executable needs nothing beyond the system's own DLLs.
target_link_options(korvane PRIVATE -static -static-libgcc -static-libstdc++)
target_link_libraries(korvane PRIVATE winmm comctl32)

option(KORVANE_WINDOWS_TESTS "Build the import check and the Wine scenarios" ON)
if(KORVANE_WINDOWS_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
