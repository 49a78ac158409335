// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into every program of the thread-checking build, so that the
// suppressions apply however a test is started; TSAN_OPTIONS in the
// environment is read after these and adds to them.
extern "C" const char* __tsan_default_options() {
  return "suppressions=" KORVANE_TSAN_SUPPRESSIONS;
}
