// SPDX-License-Identifier: GPL-3.0-or-later
// Without an X server the dialog manager says so in one line and fails;
// nothing exits or crashes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/linux/ui/display.h"

namespace ui {
namespace {

int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TEST(NoDisplay, OneClearLineAndFailure) {
  unsetenv("DISPLAY");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(OpenDisplay());
  std::string unset = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Lines(unset), 1) << unset;
  EXPECT_NE(unset.find("DISPLAY"), std::string::npos) << unset;

  setenv("DISPLAY", ":64999", 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(OpenDisplay());
  std::string refused = testing::internal::GetCapturedStderr();
  EXPECT_EQ(refused,
            "korvane: cannot open the display ':64999'; set DISPLAY to a running X server\n");
  EXPECT_FALSE(DisplayIsOpen());
}

}  // namespace
}  // namespace ui
