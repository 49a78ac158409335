// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/simdrive/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace simdrive {

Journal::Journal(const std::string& path) : start_(std::chrono::steady_clock::now()) {
  if (!path.empty()) fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

Journal::~Journal() {
  if (fd_ >= 0) close(fd_);
}

double Journal::Milliseconds() const {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
      .count();
}

void Journal::Note(const std::string& line) {
  if (fd_ < 0) return;
  char stamp[32];
  snprintf(stamp, sizeof stamp, "%.1f ", Milliseconds());
  // One write per line, so lines from two processes never interleave.
  std::string text = stamp + line + "\n";
  ssize_t written = write(fd_, text.data(), text.size());
  static_cast<void>(written);
}

int JournalCount(const std::string& path, const std::string& what) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  int count = 0;
  for (size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) count++;
  return count;
}

std::vector<double> JournalTimes(const std::string& path, const std::string& what) {
  std::ifstream in(path);
  std::vector<double> times;
  std::string line;
  while (std::getline(in, line))
    if (line.find(what) != std::string::npos) times.push_back(std::stod(line));
  return times;
}

}  // namespace simdrive
