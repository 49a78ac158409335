// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the profile functions: where a profile file lives, how its
// text is kept, and how it is replaced on disk.
#ifndef KORVANE_PLATFORM_LINUX_PROFILE_PROFILE_INTERNAL_H
#define KORVANE_PLATFORM_LINUX_PROFILE_PROFILE_INTERNAL_H

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// ---- The text (profile_lines.cpp, profile_text.cpp) ----

// A profile file's bytes, read and changed line by line as the platform
// does: a line is a section header "[name]", a comment starting with ';',
// a key "name=value", or a key alone with an empty value; names and values
// lose the blanks at their ends, and names match without regard to case.
// The first section of a name and the first key of a name in it count.
// A change rewrites, adds or removes only the lines it concerns; every
// other byte, line ends and all, stays as it was.
class ProfileText {
 public:
  explicit ProfileText(std::string bytes);

  const std::string& Bytes() const { return bytes_; }
  std::optional<std::string> Value(const std::string& section, const std::string& key) const;

  // Replaces the key's value on its own line, or adds the key after the
  // section's last line, or the section at the end of the file. The names
  // must be ones that read back as given (see Storable in profile.cpp).
  void Set(const std::string& section, const std::string& key, const std::string& value);
  void DeleteKey(const std::string& section, const std::string& key);
  void DeleteSection(const std::string& section);

 private:
  struct Line {
    enum Kind { Blank, Comment, Section, Key } kind = Blank;
    size_t begin = 0;      // first byte
    size_t nameBegin = 0;  // first byte after the blanks (and a byte-order mark)
    size_t next = 0;       // first byte of the next line
    bool ended = false;    // ends in '\n'
    std::string name;
    std::string value;
  };

  void Index();
  size_t Start(size_t line) const;
  size_t FindSection(const std::string& section) const;
  size_t FindKey(size_t section, const std::string& key) const;

  std::string bytes_;
  std::string eol_;  // as the file ends its first line
  std::vector<Line> lines_;
};

// Windows' integer reading of a profile value: optional blanks and sign,
// then decimal digits, or binary, octal or hexadecimal after "0b", "0o" or
// "0x"; it stops at the first other character and wraps modulo 2^32.
uint32_t ParseProfileInt(const char* text);

}  // namespace profile

#endif
