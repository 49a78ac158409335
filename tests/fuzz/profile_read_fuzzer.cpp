// SPDX-License-Identifier: GPL-3.0-or-later
// Reading korvane.ini, whatever it holds: never a crash, and reading
// neither changes the file nor leaves anything beside it.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "tests/fuzz/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = fuzz::WriteScratch("korvane.ini", bytes);
  for (const char* section : {"KORVANE", "korvane", " KORVANE ", "Other", "A"})
    for (const char* key : {"x", "Y", " x", "k", "note", ""}) {
      const UINT first = GetPrivateProfileIntA(section, key, 12345, path.c_str());
      if (GetPrivateProfileIntA(section, key, -7, path.c_str()) != first && first != 12345)
        std::abort();  // the same key read twice reads the same
    }
  std::ifstream in(path, std::ios::binary);
  std::stringstream after;
  after << in.rdbuf();
  if (after.str() != bytes) std::abort();
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(fuzz::ScratchFolder())) {
    static_cast<void>(entry);
    files++;
  }
  if (files != 1) std::abort();
  return 0;
}
