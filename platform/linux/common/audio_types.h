// SPDX-License-Identifier: GPL-3.0-or-later
// What counts as an audio file, the one list: the extensions the audio
// reader opens, and the words sheets write for such a file's type.
#ifndef KORVANE_PLATFORM_LINUX_COMMON_AUDIO_TYPES_H
#define KORVANE_PLATFORM_LINUX_COMMON_AUDIO_TYPES_H

#include <string_view>

namespace common {

// Lower case, without the dot.
constexpr std::string_view AudioExtensions[] = {"wav",  "wave", "flac", "aif",  "aiff",
                                                "aifc", "ogg",  "oga",  "opus", "mp3"};

// The file types of audio files some program writes in a cue sheet's FILE
// line, upper case.
constexpr std::string_view AudioFileTypes[] = {"WAVE", "WAV", "AIFF", "FLAC", "MP3", "OGG"};

inline bool IsAudioFileType(std::string_view type) {
  for (std::string_view known : AudioFileTypes)
    if (type == known) return true;
  return false;
}

}  // namespace common

#endif
