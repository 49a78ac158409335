// libsndfile, loaded the first time a sheet names an audio file: the
// player does not link it or its codecs for images of raw sectors (though
// PulseAudio's client library, beneath SDL, maps it anyway). Only the calls
// the audio file reader makes are bound.
#ifndef KORVANE_PLATFORM_LINUX_DISC_SNDFILE_LIBRARY_H
#define KORVANE_PLATFORM_LINUX_DISC_SNDFILE_LIBRARY_H

#include <sndfile.h>

#include <string>

namespace disc {

struct SndfileCalls {
  SNDFILE* (*openFd)(int fd, int mode, SF_INFO* info, int closeFd) = nullptr;
  int (*close)(SNDFILE* file) = nullptr;
  sf_count_t (*readShort)(SNDFILE* file, short* out, sf_count_t frames) = nullptr;
  sf_count_t (*seek)(SNDFILE* file, sf_count_t frame, int whence) = nullptr;
  const char* (*strError)(SNDFILE* file) = nullptr;
  int (*command)(SNDFILE* file, int command, void* data, int size) = nullptr;
};

// The library's calls, loaded on first use (safe from any thread); null
// when it cannot be loaded, with `why` saying so.
const SndfileCalls* Sndfile(std::string* why);

// Whether this process has loaded libsndfile yet.
bool SndfileLoaded();

}  // namespace disc

#endif
