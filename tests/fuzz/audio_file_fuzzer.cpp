// SPDX-License-Identifier: GPL-3.0-or-later
// The audio files a cue sheet names (WAVE, AIFF, FLAC, Ogg, MP3 and the
// rest libsndfile knows): opening one never crashes, hangs or throws, and
// one that opens reads any frames asked, those past its end as silence,
// or fails cleanly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/disc/sources.h"
#include "tests/fuzz/scratch.h"

// libvorbis leaks a stream's info when a later link of a chained Ogg file
// fails to open (xiph/vorbis#125, 5784 bytes from vorbis_info_init under
// libsndfile's sf_open_fd); a leak of the library's own, not a fault here.
extern "C" const char* __lsan_default_suppressions() { return "leak:vorbis_info_init\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path =
      fuzz::WriteScratch("track", std::string(reinterpret_cast<const char*>(data), size));
  disc::AudioFile file;
  std::string why;
  if (!file.Open(path, &why)) {
    if (why.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  const int64_t frames = file.Frames();
  if (frames < 0) std::abort();
  constexpr int64_t Chunk = 588;  // one sector
  std::vector<uint8_t> out(Chunk * 4);
  // The start, the end and past it, and back to the start: seeks both ways.
  for (int64_t frame : {int64_t{0}, std::max<int64_t>(frames - Chunk / 2, 0), frames, int64_t{0}}) {
    if (!file.Read(frame, Chunk, out.data())) return 0;
    if (frame >= frames && std::any_of(out.begin(), out.end(), [](uint8_t b) { return b != 0; }))
      std::abort();  // past the end is silence
  }
  return 0;
}
