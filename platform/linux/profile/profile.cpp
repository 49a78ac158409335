// SPDX-License-Identifier: GPL-3.0-or-later
// GetPrivateProfileIntA and WritePrivateProfileStringA: sections and keys
// match without regard to case, and a write changes the line of the key it
// writes and nothing else (ProfileText). A file that is no text at all is
// kept aside as "<file>.bak" before it is replaced.
#include <cstring>

#include "platform/linux/common/text.h"
#include "platform/linux/profile/profile_internal.h"
#include "platform/platform.h"

namespace profile {

namespace {

// A NUL byte never occurs in a settings file of text.
bool IsText(const std::string& bytes) { return bytes.find('\0') == std::string::npos; }

// A section or key name as it is matched and written: without the blanks
// at its ends. Empty when there is none.
std::string Name(const char* name) { return name ? common::TrimBlanks(name) : std::string(); }

// Names and values that read back as they were written: each on one line,
// a section without ']', a key that is neither a section nor a comment and
// has no '='. Anything else is refused, not written in another shape.
bool Storable(const std::string& section, const char* key, const char* value) {
  auto oneLine = [](const char* s) { return !s || !std::strpbrk(s, "\r\n"); };
  if (section.empty() || section.find(']') != std::string::npos) return false;
  if (key) {
    const std::string name = Name(key);
    if (name.empty() || name.find('=') != std::string::npos || name[0] == '[' || name[0] == ';')
      return false;
  }
  return oneLine(section.c_str()) && oneLine(key) && oneLine(value);
}

// The platform strips one pair of matching quotes around a value.
std::string Unquoted(std::string value) {
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

}  // namespace profile

extern "C" UINT WINAPI GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT fallback,
                                             LPCSTR file) {
  using namespace profile;
  if (!section || !key) return static_cast<UINT>(fallback);
  const auto path = ResolveProfilePath(file, false);
  if (!path) return static_cast<UINT>(fallback);
  const FileContents contents = ReadProfileFile(*path);
  if (!contents.readable || !IsText(contents.bytes)) return static_cast<UINT>(fallback);
  const auto value = ProfileText(contents.bytes).Value(Name(section), Name(key));
  if (!value) return static_cast<UINT>(fallback);
  const std::string text = Unquoted(*value);
  if (text.empty()) return static_cast<UINT>(fallback);
  return ParseProfileInt(text.c_str());
}

// A NULL value deletes the key, a NULL key the whole section.
extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                  LPCSTR file) {
  using namespace profile;
  const std::string sectionName = Name(section);
  if (!section || !Storable(sectionName, key, value)) return FALSE;
  const auto path = ResolveProfilePath(file, true);
  if (!path) return FALSE;
  const FileContents contents = ReadProfileFile(*path);
  // A file that could not be read whole cannot be kept; leave it be.
  if (contents.exists && !contents.readable) return FALSE;
  const bool deleting = !key || !value;
  if (!contents.exists && deleting) return TRUE;

  // What is not text is not changed line by line: it is kept aside whole
  // and a new file holds the key alone.
  const bool keepAside = contents.exists && !IsText(contents.bytes);
  ProfileText text(keepAside ? std::string() : contents.bytes);
  if (!key) {
    text.DeleteSection(sectionName);
  } else if (!value) {
    text.DeleteKey(sectionName, Name(key));
  } else {
    text.Set(sectionName, Name(key), value);
  }
  if (contents.exists && text.Bytes() == contents.bytes) return TRUE;
  if (keepAside && !KeepCopy(*path, contents.bytes, contents.mode)) return FALSE;
  std::optional<mode_t> mode;
  if (contents.exists) mode = contents.mode;
  return ReplaceFile(*path, text.Bytes(), mode) ? TRUE : FALSE;
}
