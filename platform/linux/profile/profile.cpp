// GetPrivateProfileIntA and WritePrivateProfileStringA over SimpleIni:
// sections and keys match without regard to case, a write keeps every
// other section, key and comment, and a file this code cannot rewrite
// faithfully is kept aside as "<file>.bak" before it is replaced.
#include <SimpleIni.h>
#include <strings.h>

#include <cstring>
#include <vector>

#include "platform/linux/profile/profile_internal.h"
#include "platform/platform.h"

namespace profile {

namespace {

// Control characters other than blanks and line ends never occur in a
// settings file of text.
bool LooksBinary(const std::string& bytes) {
  for (unsigned char c : bytes)
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v') return true;
  return false;
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r\f\v");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r\f\v") - first + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool IsComment(const std::string& trimmed) {
  return !trimmed.empty() && (trimmed[0] == ';' || trimmed[0] == '#');
}

// What a file says, line by line: without blank lines, and without the
// blanks at the ends of a line or around the '=' of a key.
std::vector<std::string> Meaning(const std::string& text) {
  std::vector<std::string> meaning;
  for (const std::string& line : Lines(text)) {
    std::string t = Trim(line);
    if (t.empty()) continue;
    const size_t equals = t.find('=');
    if (!IsComment(t) && t[0] != '[' && equals != std::string::npos)
      t = Trim(t.substr(0, equals)) + "=" + Trim(t.substr(equals + 1));
    meaning.push_back(t);
  }
  return meaning;
}

// The comments after the last section or key. SimpleIni keeps a comment
// with the section or key that follows it, so these it would drop.
std::string TrailingComments(const std::string& text) {
  std::string tail;
  for (const std::string& line : Lines(text)) {
    const std::string t = Trim(line);
    if (t.empty()) continue;
    if (IsComment(t)) {
      tail += t + "\n";
    } else {
      tail.clear();
    }
  }
  return tail;
}

// Lines SimpleIni cannot take apart safely: a section header without its
// ']' runs on into the lines after it. Such lines are left out, which
// makes the file one to keep aside before it is rewritten.
std::string Parseable(const std::string& text) {
  std::string kept;
  for (const std::string& line : Lines(text)) {
    const std::string t = Trim(line);
    if (!t.empty() && t[0] == '[' && t.find(']') == std::string::npos) continue;
    kept += line + "\n";
  }
  return kept;
}

// Names and values that read back as they were written: one line each, a
// section without ']', a key that is neither a comment nor a section and
// has no '='.
bool Storable(const char* section, const char* key, const char* value) {
  auto oneLine = [](const char* s) { return !s || !std::strpbrk(s, "\r\n"); };
  if (!section || !section[0] || std::strchr(section, ']')) return false;
  if (key && (!key[0] || std::strchr(key, '=') || std::strchr(";#[", key[0]))) return false;
  return oneLine(section) && oneLine(key) && oneLine(value);
}

// The key's spelling as the file has it, which an update keeps.
std::string StoredKey(const CSimpleIniA& ini, const char* section, const char* key) {
  CSimpleIniA::TNamesDepend keys;
  if (ini.GetAllKeys(section, keys))
    for (const auto& k : keys)
      if (strcasecmp(k.pItem, key) == 0) return k.pItem;
  return key;
}

// A profile file as SimpleIni holds it: bytes as they are (the platform's
// code page), repeated keys kept in order, no multi-line values, lines
// without '=' kept as they stand, "key=value" without spaces.
struct Profile {
  CSimpleIniA ini{false, true, false};
  FileContents file;
  std::string tail;      // comments to write after SimpleIni's text
  bool faithful = true;  // writing it back keeps all the file said

  Profile() {
    ini.SetSpaces(false);
    ini.SetAllowKeyOnly(true);
    ini.SetQuotes(false);
  }

  void load(const std::string& path, bool forWriting) {
    file = ReadProfileFile(path);
    if (!file.exists) return;
    if (!file.readable || LooksBinary(file.bytes) || ini.LoadData(Parseable(file.bytes)) < 0) {
      ini.Reset();
      faithful = false;
      return;
    }
    if (!forWriting) return;
    std::string again;
    ini.Save(again);
    const auto meaning = Meaning(file.bytes);
    if (Meaning(again) == meaning) return;
    tail = TrailingComments(file.bytes);
    if (!tail.empty() && Meaning(again + tail) == meaning) return;
    tail.clear();
    faithful = false;
  }
};

// Lines ended as a file written on Windows ends them.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
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
  if (!section || !key) return UINT(fallback);
  const auto path = ResolveProfilePath(file, false);
  if (!path) return UINT(fallback);
  Profile profile;
  profile.load(*path, false);
  const char* value = profile.ini.GetValue(section, key, nullptr);
  if (!value) return UINT(fallback);
  const std::string text = Unquoted(value);
  if (text.empty()) return UINT(fallback);
  return ParseProfileInt(text.c_str());
}

// A NULL value deletes the key, a NULL key the whole section.
extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                  LPCSTR file) {
  using namespace profile;
  if (!Storable(section, key, value)) return FALSE;
  const auto path = ResolveProfilePath(file, true);
  if (!path) return FALSE;
  Profile profile;
  profile.load(*path, true);
  // A file that could not be read whole cannot be kept; leave it be.
  if (profile.file.exists && !profile.file.readable) return FALSE;
  const bool deleting = !key || !value;
  if (!profile.file.exists && deleting) return TRUE;

  if (!key) {
    profile.ini.Delete(section, nullptr);
  } else if (!value) {
    profile.ini.Delete(section, key);
  } else if (profile.ini.SetValue(section, StoredKey(profile.ini, section, key).c_str(), value,
                                  nullptr, true) < 0) {
    return FALSE;
  }
  std::string text;
  if (profile.ini.Save(text) < 0) return FALSE;
  text += profile.tail;
  if (profile.file.bytes.find("\r\n") != std::string::npos) text = WithCrLf(text);
  if (profile.file.exists && text == profile.file.bytes) return TRUE;

  if (profile.file.exists && !profile.faithful &&
      !KeepCopy(*path, profile.file.bytes, profile.file.mode))
    return FALSE;
  std::optional<mode_t> mode;
  if (profile.file.exists) mode = profile.file.mode;
  return ReplaceFile(*path, text, mode) ? TRUE : FALSE;
}
