// SPDX-License-Identifier: GPL-3.0-or-later
// Concealment: what a drive could not read, or read wrong and flagged,
// filled from the samples around it as a hardware player does, so that it
// sounds as neither a click nor a hole. A short run is bridged by a
// straight line from the sample before to the sample after; a longer one
// fades out, keeps silent and fades back in.
#ifndef KORVANE_PLATFORM_LINUX_DISC_CONCEAL_H
#define KORVANE_PLATFORM_LINUX_DISC_CONCEAL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/disc/track_table.h"

namespace disc {

// Runs up to this many stereo samples (two sectors, 27 ms) are bridged.
constexpr size_t BridgedFrames = 2 * FramesPerSector;
// A fade's length (5 ms).
constexpr size_t FadeFrames = 220;

// Carries what concealment needs from one batch of samples to the next.
struct ConcealEdge {
  bool known = false;  // `last` is the sample just before the batch
  int16_t last[2] = {0, 0};
  bool fadedOut = false;  // the batch before ended in a run faded out, to fade back in
};

// Conceals the stereo samples of `pcm` (16-bit little-endian, `frames`
// of them) that `flagged` marks, in place. `edge` holds what came just
// before; when the batch follows on from it, that is used, else it is
// forgotten. Returns how many samples were concealed.
size_t Conceal(uint8_t* pcm, size_t frames, const std::vector<bool>& flagged, bool follows,
               ConcealEdge* edge);

}  // namespace disc

#endif
