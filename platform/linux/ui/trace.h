// SPDX-License-Identifier: GPL-3.0-or-later
// The window's state for tests, published only when KORVANE_TRACE names a
// file: one "key=value" line per fact, texts in UTF-8, the file replaced
// atomically whenever the state changes. Without the variable nothing is
// computed and nothing is written.
#ifndef KORVANE_PLATFORM_LINUX_UI_TRACE_H
#define KORVANE_PLATFORM_LINUX_UI_TRACE_H

#include <string>
#include <string_view>

namespace ui {

class TraceWriter {
 public:
  void Add(std::string_view key, std::string_view value);
  void Add(std::string_view key, long value) { Add(key, std::to_string(value)); }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

namespace trace {

bool Enabled();
// Rewrites the file if the state differs from what it last wrote.
void Publish();
// Message boxes are remembered after they close: the log of what was shown.
int MessageBoxOpened(std::string_view caption, std::string_view text, std::string_view icon);
void MessageBoxClosed(int index);

}  // namespace trace
}  // namespace ui

#endif
