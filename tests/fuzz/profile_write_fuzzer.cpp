// SPDX-License-Identifier: GPL-3.0-or-later
// Writing korvane.ini over whatever it held, with the promises checked:
// a write that is refused changes nothing; one that succeeds changes the
// written key's line and no byte of any other line, every other key reads
// as it did, the written key reads back as it would from a file of its
// own, and writing it again changes nothing. A file that is no text is
// kept aside whole as korvane.ini.bak.
//
// Input: one byte choosing the request (0: set, 1: delete the key, 2:
// delete the section), then section, key and value each ended by a NUL,
// then the file's bytes.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fuzz/scratch.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool IsSubsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t at = 0;
  for (const std::string& line : whole)
    if (at < part.size() && part[at] == line) at++;
  return at == part.size();
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r\f\v");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r\f\v") - first + 1);
}

bool SameName(std::string a, std::string b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

struct Probe {
  std::string section, key;
  UINT first, second;  // read with two different fallbacks
};

Probe Read(const std::string& section, const std::string& key, const std::string& path) {
  return {section, key, GetPrivateProfileIntA(section.c_str(), key.c_str(), 12345, path.c_str()),
          GetPrivateProfileIntA(section.c_str(), key.c_str(), 54321, path.c_str())};
}

// The keys a file seems to hold, by a reading of its own, each read.
std::vector<Probe> ProbeAll(const std::string& bytes, const std::string& path) {
  std::vector<Probe> probes;
  std::string section;
  for (const std::string& raw : Lines(bytes)) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(
          1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1);
    } else if (!section.empty() && probes.size() < 24) {
      probes.push_back(Read(section, line.substr(0, line.find('=')), path));
    }
  }
  return probes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string parts[3];
  size_t at = 0;
  for (std::string& part : parts) {
    const size_t end = input.find('\0', at);
    if (end == std::string::npos) return 0;
    part = input.substr(at, end - at);
    at = end + 1;
  }
  const int request = data[0] % 3;
  const std::string& section = parts[0];
  const std::string& key = parts[1];
  const std::string& value = parts[2];
  const std::string before = input.substr(at);

  fuzz::ClearScratch();
  const std::string path = fuzz::WriteScratch("korvane.ini", before);
  const bool text = before.find('\0') == std::string::npos;
  const std::vector<Probe> probes = ProbeAll(before, path);

  const char* keyArg = request == 2 ? nullptr : key.c_str();
  const char* valueArg = request == 0 ? value.c_str() : nullptr;
  const BOOL written = WritePrivateProfileStringA(section.c_str(), keyArg, valueArg, path.c_str());
  const std::string after = Slurp(path);
  if (!written) {
    if (after != before) std::abort();  // refused, yet changed
    return 0;
  }

  if (!text) {
    // Set aside whole, the new file holding at most the key.
    if (request == 0 && Slurp(path + ".bak") != before) std::abort();
    if (after.find('\0') != std::string::npos) std::abort();
  } else if (request == 0) {
    // At most one line differs: what lies before and after the change is
    // the old file's, and the change is inside one line or adds lines.
    size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
      prefix++;
    size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
      suffix++;
    const std::string removed = before.substr(prefix, before.size() - prefix - suffix);
    if (removed.find('\n') != std::string::npos) std::abort();  // a line lost or merged
  } else {
    // Deleting only takes whole lines away.
    if (!IsSubsequence(Lines(after), Lines(before))) std::abort();
  }

  // Every other key reads as it did.
  if (text)
    for (const Probe& probe : probes) {
      if (SameName(probe.section, section) && (request == 2 || SameName(probe.key, key))) continue;
      const Probe now = Read(probe.section, probe.key, path);
      if (now.first != probe.first || now.second != probe.second) std::abort();
    }

  if (request == 0) {
    // The key reads as it would from a file holding nothing else.
    const std::string alone = fuzz::ScratchFolder() + "/alone.ini";
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), alone.c_str()))
      std::abort();
    const Probe expected = Read(section, key, alone);
    const Probe got = Read(section, key, path);
    if (got.first != expected.first || got.second != expected.second) std::abort();
    // And writing it again changes nothing.
    if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) ||
        Slurp(path) != after)
      std::abort();
  }
  if (std::filesystem::exists(path + ".bak") == text)
    std::abort();  // set aside only what is no text
  return 0;
}
