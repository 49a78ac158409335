# SPDX-License-Identifier: GPL-3.0-or-later
# The 32-bit Linux build of the simulated drive, for Debian's 32-bit Wine:
#   cmake -S . -B DIR -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DKORVANE_SIMDRIVE_ONLY=ON
# (gcc-multilib and g++-multilib, from scripts/deps windows).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
