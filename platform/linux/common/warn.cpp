// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/common/warn.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace common {

namespace {

void WarnWith(const char* format, va_list arguments) {
  va_list again;
  va_copy(again, arguments);
  const int size = std::vsnprintf(nullptr, 0, format, arguments);
  std::string line = "korvane: ";
  if (size > 0) {
    const size_t prefix = line.size();
    line.resize(prefix + static_cast<size_t>(size) + 1);
    std::vsnprintf(&line[prefix], static_cast<size_t>(size) + 1, format, again);
    line.resize(prefix + static_cast<size_t>(size));
  }
  va_end(again);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

void Warn(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WarnWith(format, arguments);
  va_end(arguments);
}

void OnceWarning::Warn(const std::string& topic, const char* format, ...) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (topic == topic_) return;
  topic_ = topic;
  if (topic.empty()) return;
  va_list arguments;
  va_start(arguments, format);
  WarnWith(format, arguments);
  va_end(arguments);
}

}  // namespace common
