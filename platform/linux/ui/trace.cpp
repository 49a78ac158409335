// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/ui/trace.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/linux/ui/dialog.h"

namespace ui {

// One line per fact: backslashes and line breaks in values are escaped.
void TraceWriter::Add(std::string_view key, std::string_view value) {
  text_.append(key);
  text_ += '=';
  for (char c : value) {
    if (c == '\\')
      text_ += "\\\\";
    else if (c == '\n')
      text_ += "\\n";
    else
      text_ += c;
  }
  text_ += '\n';
}

namespace trace {
namespace {

struct ShownBox {
  std::string caption, text, icon;
  bool open;
};

std::vector<ShownBox>& Boxes() {
  static std::vector<ShownBox> boxes;
  return boxes;
}

const char* Path() {
  static const char* path = std::getenv("KORVANE_TRACE");
  return path && *path ? path : nullptr;
}

// Written beside the target and renamed over it, so a reader sees either
// the old state or the new one.
void Write(const char* path, const std::string& text) {
  std::string temporary = std::string(path) + ".tmp";
  FILE* file = std::fopen(temporary.c_str(), "w");
  if (!file) return;
  bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  ok = std::fclose(file) == 0 && ok;
  if (ok)
    std::rename(temporary.c_str(), path);
  else
    std::remove(temporary.c_str());
}

}  // namespace

bool Enabled() { return Path() != nullptr; }

void Publish() {
  if (!Enabled()) return;
  TraceWriter out;
  out.Add("pid", static_cast<long>(getpid()));
  const auto& dialogs = Dialog::Live();
  if (dialogs.empty())
    out.Add("dialog", "none");
  else
    dialogs.front()->Describe(out);
  const auto& boxes = Boxes();
  out.Add("messagebox.count", static_cast<long>(boxes.size()));
  for (size_t i = 0; i < boxes.size(); i++) {
    std::string prefix = "messagebox." + std::to_string(i + 1) + ".";
    out.Add(prefix + "caption", boxes[i].caption);
    out.Add(prefix + "text", boxes[i].text);
    out.Add(prefix + "icon", boxes[i].icon);
    out.Add(prefix + "open", boxes[i].open ? 1 : 0);
  }
  static std::string written;
  if (out.Text() == written) return;
  written = out.Text();
  Write(Path(), written);
}

int MessageBoxOpened(std::string_view caption, std::string_view text, std::string_view icon) {
  if (!Enabled()) return -1;
  Boxes().push_back({std::string(caption), std::string(text), std::string(icon), true});
  return static_cast<int>(Boxes().size()) - 1;
}

void MessageBoxClosed(int index) {
  if (index >= 0 && static_cast<size_t>(index) < Boxes().size())
    Boxes()[static_cast<size_t>(index)].open = false;
}

}  // namespace trace
}  // namespace ui
