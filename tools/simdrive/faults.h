// SPDX-License-Identifier: GPL-3.0-or-later
// What is wrong with a simulated drive, or about to go wrong: set from the
// environment at start and changed while it runs through a control file.
//
// Settings are separated by ';' or new lines:
//   disc=in|out          a disc in the drive, or none (tray closed)
//   tray=open|closed     an open tray holds no readable disc
//   insert-after=MS      the disc arrives MS after the drive first answers
//   spin-up=MS           the first read after idle waits MS for the disc to spin
//   spin-down=MS         idle this long and the disc stops (default 10000)
//   latency=MS           every read command takes MS longer
//   seek=MS              a read away from where the head is takes up to MS
//                        more: a tenth of it to settle, the rest by distance
//   auto-close=yes|no    a blocking open closes an open tray first, as the
//                        kernel's cdrom driver does by default (yes)
//   speed=N              the fastest the drive reads, in multiples of 75 sectors/s
//   speed-ignored=yes|no the drive accepts a speed and reads at its fastest
//   scratch=A-B:N        sectors A to B fail N reads before they read
//   scratch=A-B:always   sectors A to B never read
//   retry-time=MS        a read that meets a failing sector fails only after
//                        MS of the drive's own retries (MEDIUM ERROR, with
//                        the failing sector's address in the sense data)
//   wrong=A-B            sectors A to B read with a burst of wrong samples,
//                        flagged in the C2 error pointers when asked for
//   wrong=A-B:unflagged  the same, with no C2 flag set
//   c2=yes|no            the drive reports C2 error pointers (default yes)
//   eject-at=LSN         the disc is taken out when a read reaches LSN
//   permission=no|yes    the device node cannot (can) be opened for reading
#ifndef KORVANE_TOOLS_SIMDRIVE_FAULTS_H
#define KORVANE_TOOLS_SIMDRIVE_FAULTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace simdrive {

constexpr int Always = -1;

struct Scratch {
  int32_t first = 0;
  int32_t last = 0;
  int failures = 0;  // per sector, or Always
};

struct WrongSectors {
  int32_t first = 0;
  int32_t last = 0;
  bool flagged = true;
};

struct Faults {
  bool discIn = true;
  bool trayOpen = false;
  bool permitted = true;
  int insertAfterMs = -1;
  int spinUpMs = 0;
  int spinDownMs = 10000;
  int latencyMs = 0;
  int seekMs = 0;
  bool autoClose = true;
  int maxSpeed = 24;
  bool speedIgnored = false;
  int32_t ejectAt = -1;
  std::vector<Scratch> scratches;
  int retryTimeMs = 0;
  std::vector<WrongSectors> wrong;
  bool c2 = true;
};

// Applies `text` over `faults`; false with `error` naming the first
// setting it does not understand (the ones before it are applied).
bool ApplyFaults(const std::string& text, Faults* faults, std::string* error);

}  // namespace simdrive

#endif
