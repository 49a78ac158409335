// SPDX-License-Identifier: GPL-3.0-or-later
// The one header through which Korvane reaches its platform.
//
// On Windows it is the system's own headers and nothing else. Elsewhere it
// declares the same subset of the Windows API under the same names, types
// and values, and a backend chosen at link time (platform/linux for the
// player, platform/recording for the tests) implements it.
#ifndef KORVANE_PLATFORM_PLATFORM_H
#define KORVANE_PLATFORM_PLATFORM_H

#ifdef _WIN32
// windows.h comes first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <commctrl.h>
// clang-format on
#else
#include "platform/win32_subset.h"
#endif

#endif
