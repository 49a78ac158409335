# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles for 32-bit Windows with Debian's mingw-w64 (packages
# g++-mingw-w64-i686 and binutils-mingw-w64-i686): the executable we ship.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KORVANE_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
