// SPDX-License-Identifier: GPL-3.0-or-later
// A profile file's text as lines: a write replaces, inserts or removes
// whole lines and leaves every other byte as it was.
#include <strings.h>

#include "platform/linux/common/text.h"
#include "platform/linux/profile/profile_internal.h"

namespace profile {

namespace {

bool StartsWithMark(const std::string& bytes) {
  return bytes.compare(0, common::ByteOrderMark.size(), common::ByteOrderMark) == 0;
}

}  // namespace

ProfileText::ProfileText(std::string bytes) : bytes_(std::move(bytes)) { Index(); }

void ProfileText::Index() {
  lines_.clear();
  const size_t firstEnd = bytes_.find('\n');
  eol_ =
      firstEnd != std::string::npos && firstEnd > 0 && bytes_[firstEnd - 1] == '\r' ? "\r\n" : "\n";
  for (size_t begin = 0; begin < bytes_.size();) {
    Line line;
    line.begin = begin;
    const size_t newline = bytes_.find('\n', begin);
    line.next = newline == std::string::npos ? bytes_.size() : newline + 1;
    line.ended = newline != std::string::npos;
    size_t end = newline == std::string::npos ? bytes_.size() : newline;
    size_t at = begin;
    if (begin == 0 && StartsWithMark(bytes_)) at = common::ByteOrderMark.size();
    while (at < end && common::IsBlank(bytes_[at])) at++;
    while (end > at && common::IsBlank(bytes_[end - 1])) end--;
    line.nameBegin = at;
    if (at == end) {
      line.kind = Line::Blank;
    } else if (bytes_[at] == ';') {
      line.kind = Line::Comment;
    } else if (bytes_[at] == '[') {
      // "[name]", or "[name" to the end of the line.
      line.kind = Line::Section;
      size_t close = bytes_.find(']', at + 1);
      if (close == std::string::npos || close > end) close = end;
      line.name = common::TrimBlanks(bytes_.substr(at + 1, close - at - 1));
    } else {
      // "name=value", or "name" alone: a key with an empty value.
      line.kind = Line::Key;
      size_t equals = bytes_.find('=', at);
      if (equals == std::string::npos || equals > end) equals = end;
      line.name = common::TrimBlanks(bytes_.substr(at, equals - at));
      if (equals < end)
        line.value = common::TrimBlanks(bytes_.substr(equals + 1, end - equals - 1));
    }
    lines_.push_back(line);
    begin = line.next;
  }
}

size_t ProfileText::Start(size_t line) const {
  // A byte-order mark stays at the top of the file whatever line follows it.
  if (lines_[line].begin == 0 && StartsWithMark(bytes_)) return common::ByteOrderMark.size();
  return lines_[line].begin;
}

size_t ProfileText::FindSection(const std::string& section) const {
  for (size_t i = 0; i < lines_.size(); i++)
    if (lines_[i].kind == Line::Section && strcasecmp(lines_[i].name.c_str(), section.c_str()) == 0)
      return i;
  return lines_.size();
}

size_t ProfileText::FindKey(size_t section, const std::string& key) const {
  for (size_t i = section + 1; i < lines_.size() && lines_[i].kind != Line::Section; i++)
    if (lines_[i].kind == Line::Key && strcasecmp(lines_[i].name.c_str(), key.c_str()) == 0)
      return i;
  return lines_.size();
}

std::optional<std::string> ProfileText::Value(const std::string& section,
                                              const std::string& key) const {
  const size_t s = FindSection(section);
  if (s == lines_.size()) return std::nullopt;
  const size_t k = FindKey(s, key);
  if (k == lines_.size()) return std::nullopt;
  return lines_[k].value;
}

void ProfileText::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
  const size_t s = FindSection(section);
  if (s == lines_.size()) {
    std::string added;
    if (!bytes_.empty() && bytes_.back() != '\n') added += eol_;
    added += "[" + section + "]" + eol_ + key + "=" + value + eol_;
    bytes_ += added;
  } else if (const size_t k = FindKey(s, key); k != lines_.size()) {
    // The key keeps its spelling and the blanks before it.
    const Line& line = lines_[k];
    size_t end = line.ended ? line.next - 1 : line.next;
    if (end > line.begin && bytes_[end - 1] == '\r' && line.ended) end--;
    const std::string kept = bytes_.substr(line.begin, line.nameBegin - line.begin) + line.name;
    bytes_.replace(line.begin, end - line.begin, kept + "=" + value);
  } else {
    // After the section's last line that is not blank.
    size_t last = s;
    for (size_t i = s + 1; i < lines_.size() && lines_[i].kind != Line::Section; i++)
      if (lines_[i].kind != Line::Blank) last = i;
    std::string added = key + "=" + value + eol_;
    if (!lines_[last].ended) added = eol_ + added;
    bytes_.insert(lines_[last].next, added);
  }
  Index();
}

void ProfileText::DeleteKey(const std::string& section, const std::string& key) {
  for (size_t s = FindSection(section); s < lines_.size(); s = FindSection(section)) {
    const size_t k = FindKey(s, key);
    if (k == lines_.size()) break;
    bytes_.erase(Start(k), lines_[k].next - Start(k));
    Index();
  }
}

void ProfileText::DeleteSection(const std::string& section) {
  for (size_t s = FindSection(section); s < lines_.size(); s = FindSection(section)) {
    size_t end = s + 1;
    while (end < lines_.size() && lines_[end].kind != Line::Section) end++;
    const size_t to = end < lines_.size() ? lines_[end].begin : bytes_.size();
    bytes_.erase(Start(s), to - Start(s));
    Index();
  }
}

}  // namespace profile
