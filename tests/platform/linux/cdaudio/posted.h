// SPDX-License-Identifier: GPL-3.0-or-later
// The tests' PostMessageA: the device posts its notifications here, from
// whichever thread, and a test waits for them in order.
#ifndef KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_POSTED_H
#define KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_POSTED_H

#include <string>
#include <vector>

#include "platform/platform.h"

struct Posted {
  HWND window;
  UINT message;
  WPARAM code;
  LPARAM device;
};

// The next message posted, waiting up to `seconds`; false when none came.
bool WaitPosted(Posted* posted, double seconds);
// The code of the next message posted, waiting up to `seconds`; 0 when
// none came.
WPARAM NextCode(double seconds);
// Messages posted and not yet taken.
std::vector<Posted> TakePosted();

#endif
