// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/fuzz/scratch.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzz {

namespace {

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(ScratchFolder(), ignored);
}

}  // namespace

const std::string& ScratchFolder() {
  static const std::string folder = [] {
    // In memory where there is such a folder: the profile's writes flush.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = base / "korvane-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    return pattern;
  }();
  static const bool removed = std::atexit(RemoveScratch) == 0;
  static_cast<void>(removed);
  return folder;
}

std::string WriteScratch(const std::string& name, const std::string& bytes) {
  return SparseScratch(name, static_cast<int64_t>(bytes.size()), bytes);
}

std::string SparseScratch(const std::string& name, int64_t size, const std::string& head) {
  const std::string path = ScratchFolder() + "/" + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::perror(path.c_str());
    std::abort();
  }
  const size_t kept = static_cast<size_t>(std::min<int64_t>(size, head.size()));
  if (write(fd, head.data(), kept) != static_cast<ssize_t>(kept) || ftruncate(fd, size) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
  close(fd);
  return path;
}

void ClearScratch() {
  for (const auto& entry : std::filesystem::directory_iterator(ScratchFolder())) {
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

}  // namespace fuzz
