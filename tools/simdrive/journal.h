// SPDX-License-Identifier: GPL-3.0-or-later
// The record of what a simulated drive was asked: one line per request,
// "<milliseconds since the drive first answered> <request> <outcome>", so
// a test can count reads, see the speed asked for and time the idle gaps.
#ifndef KORVANE_TOOLS_SIMDRIVE_JOURNAL_H
#define KORVANE_TOOLS_SIMDRIVE_JOURNAL_H

#include <chrono>
#include <string>
#include <vector>

namespace simdrive {

class Journal {
 public:
  explicit Journal(const std::string& path);  // empty: keeps no record
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  void Note(const std::string& line);
  double Milliseconds() const;

 private:
  int fd_ = -1;
  std::chrono::steady_clock::time_point start_;
};

// Reading a journal back, for the tests and benchmarks that drive a
// simulated drive: how often `what` was written, and when each line that
// holds it was, in the drive's milliseconds.
int JournalCount(const std::string& path, const std::string& what);
std::vector<double> JournalTimes(const std::string& path, const std::string& what);

}  // namespace simdrive

#endif
