// SPDX-License-Identifier: GPL-3.0-or-later
// MusicBrainz's answer to a disc ID, as anyone on the network path could
// shape it: reading never throws or crashes, and titles it accepts fit
// the disc (positions within 1..99, a release ID safe in a URL and a file
// name).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/linux/titles/answer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  for (const char* discId : {"Qx2nBvYJ3sVWZbCdzE8RkdPtK1w-", "49HHV7Eb8UKF3aQiNmu1GR8vKTY-"}) {
    titles::Album album;
    std::string why;
    if (!titles::ReadAnswer(body, discId, &album, &why)) {
      if (why.empty() || !album.Empty()) std::abort();
      continue;
    }
    if (!titles::WellFormedMbid(album.releaseId)) std::abort();
    if (album.songs.size() > 99 || album.discNumber < 0 || album.discNumber > 99) std::abort();
    if (!album.coverPath.empty()) std::abort();
  }
  return 0;
}
