// SPDX-License-Identifier: GPL-3.0-or-later
// What the device benchmarks share, over the tests' requests and their
// PostMessageA (tests/platform/linux/cdaudio/device_requests.h, posted.h):
// the one device they play, timing its first sample, running a disc as the
// player does, and reading SDL's disk output (SDL_DISKAUDIOFILE) back.
#ifndef KORVANE_BENCH_BENCH_DEVICE_H
#define KORVANE_BENCH_BENCH_DEVICE_H

#include <string>

#include "platform/platform.h"
#include "tests/platform/linux/cdaudio/device_requests.h"
#include "tests/platform/linux/cdaudio/posted.h"
#include "tools/disc_image.h"

namespace bench {

// Where the device's notifications go; the tests' PostMessageA keeps them
// whatever the window.
const HWND NotifyWindow = reinterpret_cast<HWND>(1);

DeviceRequests& Device();
// Opens "cdaudio" on `source` (empty: the default drive) and sets TMSF;
// false when it does not open.
bool Open(const std::string& source);

Bytes Captured();
// Milliseconds from PLAY until a sample of the disc reaches the output;
// -1 when none has after `seconds`.
double FirstSample(int track, int count, int seconds);
// Runs the disc's tracks as the player does: each one's success, STOP,
// PLAY the next.
void PlayEachTrack(int count);
// Prints the samples inserted at each auto-advance in `captured`.
void PrintInserted(const mkdisc::DiscImage& image, const Bytes& captured);

}  // namespace bench

#endif
