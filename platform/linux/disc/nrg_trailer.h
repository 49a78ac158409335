// A Nero .nrg keeps its table in chunks after the sectors, found through a
// footer. libcdio trusts those chunks: lengths that run past the trailer,
// a track list longer than its DAO entries or than 99 tracks, or a footer
// pointing anywhere but at the trailer make it read out of bounds or crash.
// So the device checks them first.
#ifndef KORVANE_PLATFORM_LINUX_DISC_NRG_TRAILER_H
#define KORVANE_PLATFORM_LINUX_DISC_NRG_TRAILER_H

#include <stdint.h>

#include <string>

namespace disc {

struct NrgTrailer {
  bool present = false;       // the file ends in a Nero footer
  int32_t audioSectors = -1;  // sectors from LSN 0 that a disc-at-once image
                              // holds before its trailer; -1: another layout
};

// Why the file at `path` is a Nero image libcdio must not be given, or an
// empty string; `trailer` says what was found. A file without a Nero
// footer is no concern of this check.
std::string CheckNrgTrailer(const std::string& path, NrgTrailer* trailer);

}  // namespace disc

#endif
