// What the device benchmarks share: a PostMessageA that keeps the codes
// the device posts, the requests they send it as the player does, and
// what SDL's disk output (SDL_DISKAUDIOFILE) has written.
#ifndef KORVANE_BENCH_BENCH_DEVICE_H
#define KORVANE_BENCH_BENCH_DEVICE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/disc_image.h"

namespace bench {

// The next notification's code, waiting up to two minutes; 0 when none came.
WPARAM WaitCode();
// Forgets the codes posted so far.
void ClearCodes();

// Opens "cdaudio" on `source` (through CDAUDIO_DEVICE; empty: the default
// drive) and sets TMSF; false when it does not open.
bool Open(const std::string& source);
MCIDEVICEID Device();
// Plays track `track` of `count` to the next, the last one without MCI_TO.
void Play(int track, int count);
void Stop();
void Close();

std::vector<uint8_t> Captured();
// Milliseconds from PLAY until a sample of the disc reaches the output;
// -1 when none has after `seconds`.
double FirstSample(int track, int count, int seconds);
// Runs the disc's tracks as the player does: each one's success, STOP,
// PLAY the next.
void PlayEachTrack(int count);
// Prints the samples inserted at each auto-advance in `captured`.
void PrintInserted(const mkdisc::DiscImage& image, const std::vector<uint8_t>& captured);

}  // namespace bench

#endif
