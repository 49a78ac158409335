// SPDX-License-Identifier: GPL-3.0-or-later
// The one form of the lines the player leaves on stderr: "korvane: " and
// what went wrong, as one write, so that lines from two threads never mix.
#ifndef KORVANE_PLATFORM_LINUX_COMMON_WARN_H
#define KORVANE_PLATFORM_LINUX_COMMON_WARN_H

#include <mutex>
#include <string>

namespace common {

// printf's format; the line ends by itself.
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A warning about a condition that lasts, or comes back again and again (a
// drive with no disc, a sound server away, a display refusing requests):
// said once while its topic stays the same, and again when the topic
// changes. One a condition, kept static where it is told; any thread.
class OnceWarning {
 public:
  // Warn's line, unless `topic` is the one told last. An empty topic,
  // nothing to tell, is never told, but ends the one before.
  void Warn(const std::string& topic, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

 private:
  std::mutex mutex_;
  std::string topic_;
};

}  // namespace common

#endif
