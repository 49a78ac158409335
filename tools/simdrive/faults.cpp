// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/simdrive/faults.h"

#include <cstdio>
#include <cstdlib>

namespace simdrive {

namespace {

bool ParseNumber(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end;
  long parsed = strtol(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool ParseScratch(const std::string& text, Scratch* scratch) {
  size_t dash = text.find('-');
  size_t colon = text.find(':');
  if (dash == std::string::npos || colon == std::string::npos || colon < dash) return false;
  long first, last, failures = Always;
  if (!ParseNumber(text.substr(0, dash), 0, 450000, &first) ||
      !ParseNumber(text.substr(dash + 1, colon - dash - 1), first, 450000, &last))
    return false;
  std::string count = text.substr(colon + 1);
  if (count != "always" && !ParseNumber(count, 0, 1000000, &failures)) return false;
  scratch->first = static_cast<int32_t>(first);
  scratch->last = static_cast<int32_t>(last);
  scratch->failures = static_cast<int>(failures);
  return true;
}

bool ApplyOne(const std::string& setting, Faults* faults) {
  size_t equals = setting.find('=');
  if (equals == std::string::npos) return false;
  std::string key = setting.substr(0, equals);
  std::string value = setting.substr(equals + 1);
  long number;
  auto choice = [&](const char* yes, const char* no, bool* flag) {
    if (value != yes && value != no) return false;
    *flag = value == yes;
    return true;
  };
  auto count = [&](long high, int* field) {
    if (!ParseNumber(value, 0, high, &number)) return false;
    *field = static_cast<int>(number);
    return true;
  };
  if (key == "disc") return choice("in", "out", &faults->discIn);
  if (key == "tray") return choice("open", "closed", &faults->trayOpen);
  if (key == "permission") return choice("yes", "no", &faults->permitted);
  if (key == "insert-after") {
    if (!count(3600000, &faults->insertAfterMs)) return false;
    faults->discIn = false;
    return true;
  }
  if (key == "spin-up") return count(600000, &faults->spinUpMs);
  if (key == "spin-down") return count(3600000, &faults->spinDownMs);
  if (key == "latency") return count(600000, &faults->latencyMs);
  if (key == "seek") return count(600000, &faults->seekMs);
  if (key == "speed-ignored") return choice("yes", "no", &faults->speedIgnored);
  if (key == "auto-close") return choice("yes", "no", &faults->autoClose);
  if (key == "speed") return count(100, &faults->maxSpeed) && faults->maxSpeed > 0;
  if (key == "eject-at") {
    if (!ParseNumber(value, 0, 450000, &number)) return false;
    faults->ejectAt = static_cast<int32_t>(number);
    return true;
  }
  if (key == "retry-time") return count(600000, &faults->retryTimeMs);
  if (key == "c2") return choice("yes", "no", &faults->c2);
  if (key == "wrong") {
    const bool unflagged =
        value.size() > 10 && value.compare(value.size() - 10, 10, ":unflagged") == 0;
    if (unflagged) value.resize(value.size() - 10);
    size_t dash = value.find('-');
    long first, last;
    if (dash == std::string::npos || !ParseNumber(value.substr(0, dash), 0, 450000, &first) ||
        !ParseNumber(value.substr(dash + 1), first, 450000, &last))
      return false;
    faults->wrong.push_back({static_cast<int32_t>(first), static_cast<int32_t>(last), !unflagged});
    return true;
  }
  if (key == "scratch") {
    Scratch scratch;
    if (!ParseScratch(value, &scratch)) return false;
    faults->scratches.push_back(scratch);
    return true;
  }
  return false;
}

}  // namespace

bool ApplyFaults(const std::string& text, Faults* faults, std::string* error) {
  size_t from = 0;
  while (from <= text.size()) {
    size_t end = text.find_first_of(";\n", from);
    if (end == std::string::npos) end = text.size();
    std::string setting = text.substr(from, end - from);
    while (!setting.empty() && (setting.back() == ' ' || setting.back() == '\r'))
      setting.pop_back();
    while (!setting.empty() && setting.front() == ' ') setting.erase(0, 1);
    if (!setting.empty() && !ApplyOne(setting, faults)) {
      *error = "not a setting: " + setting;
      return false;
    }
    from = end + 1;
  }
  return true;
}

}  // namespace simdrive
