// SPDX-License-Identifier: GPL-3.0-or-later
// The lines left on stderr: a lasting condition is told once while it
// stays the same, again when it changes, and once however many threads
// meet it at the same moment.
#include "platform/linux/common/warn.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) count++;
  return count;
}

}  // namespace

TEST(OnceWarningTest, ALastingConditionIsToldOnceAndAgainWhenItChanges) {
  common::OnceWarning warning;
  testing::internal::CaptureStderr();
  for (int time = 0; time < 3; time++) warning.Warn("no disc", "drive %d: no disc", 1);
  warning.Warn("tray open", "drive %d: tray open", 1);
  warning.Warn("no disc", "drive %d: no disc", 1);
  warning.Warn("", "nothing to tell");
  warning.Warn("no disc", "drive %d: no disc", 1);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said,
            "korvane: drive 1: no disc\n"
            "korvane: drive 1: tray open\n"
            "korvane: drive 1: no disc\n"
            "korvane: drive 1: no disc\n");
}

TEST(OnceWarningTest, ThreadsMeetingTheSameConditionTellItOnceInWholeLines) {
  common::OnceWarning warning;
  common::OnceWarning other;
  testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 8; thread++) {
    threads.emplace_back([&, thread] {
      for (int time = 0; time < 50; time++) {
        warning.Warn("server away", "playing silently: %s", "server away");
        other.Warn(thread % 2 ? "odd" : "even", "the display refused request %d", thread % 2);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(said, "korvane: playing silently: server away\n"), 1u) << said;
  // The other topic swings between two values: told at each swing, each
  // time a whole line.
  size_t refused = Count(said, "korvane: the display refused request ");
  EXPECT_GE(refused, 1u);
  EXPECT_EQ(Count(said, "korvane: "), 1 + refused) << said;
  EXPECT_EQ(Count(said, "\n"), 1 + refused) << said;
}
