// The parts of the profile functions: where a profile file lives, how its
// text is kept, and how it is replaced on disk.
#ifndef KORVANE_PLATFORM_LINUX_PROFILE_PROFILE_INTERNAL_H
#define KORVANE_PLATFORM_LINUX_PROFILE_PROFILE_INTERNAL_H

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace profile {

// ---- Where the file lives (profile_path.cpp) ----

// A name without a '/' lives in the user's configuration folder:
// $XDG_CONFIG_HOME, else ~/.config. Writers ask for the folder to be
// created (mode 0700, as that folder should be). Nothing when there is no
// home to resolve against or the folder cannot be made.
std::optional<std::string> ResolveProfilePath(const char* name, bool createFolder);

// ---- On disk (profile_disk.cpp) ----

// A settings file larger than this is not a settings file.
constexpr size_t MaxProfileSize = 1 << 20;

struct FileContents {
  bool exists = false;
  bool readable = false;  // read whole and no larger than MaxProfileSize
  std::string bytes;
  mode_t mode = 0;
};

FileContents ReadProfileFile(const std::string& path);

// Replaces `path` by a file holding `bytes`: written beside it under a
// temporary name, flushed to the disk, then renamed over it. On failure
// the old file is untouched and the temporary one gone.
bool ReplaceFile(const std::string& path, const std::string& bytes, std::optional<mode_t> mode);

// Writes `bytes` to "<path>.bak", or "<path>.bak.N" when that is taken,
// never over an existing file.
bool KeepCopy(const std::string& path, const std::string& bytes, mode_t mode);

// ---- The text (profile_text.cpp) ----

// Windows' integer reading of a profile value: optional blanks and sign,
// then decimal digits, or binary, octal or hexadecimal after "0b", "0o" or
// "0x"; it stops at the first other character and wraps modulo 2^32.
uint32_t ParseProfileInt(const char* text);

}  // namespace profile

#endif
