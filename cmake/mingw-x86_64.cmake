# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles the same sources for 64-bit Windows (packages
# g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64). Not shipped: it runs
# the Wine scenarios under wine64, which works where the kernel cannot run
# 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
