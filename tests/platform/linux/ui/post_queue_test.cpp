// SPDX-License-Identifier: GPL-3.0-or-later
// Posting from other threads while the GUI thread sleeps in FLTK's loop:
// every message arrives, each poster's in its order, however many are
// posted before the loop wakes.
#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/linux/ui/message_loop.h"

namespace ui {
namespace {

TEST(PostQueue, DeliversEveryMessageInOrderAcrossThreads) {
  Fl::lock();
  std::atomic<int> wakes{0};
  PostQueue queue([&] {
    wakes++;
    Fl::awake();
  });

  // Far more than FLTK's own awake ring holds (1023).
  constexpr int Posters = 4;
  constexpr int PerPoster = 2000;
  std::vector<std::thread> posters;
  for (int p = 0; p < Posters; p++)
    posters.emplace_back([&queue, p] {
      for (int i = 0; i < PerPoster; i++)
        while (!queue.Push({nullptr, static_cast<UINT>(p), static_cast<WPARAM>(i), 0}))
          std::this_thread::yield();
    });

  std::vector<int> next(Posters, 0);
  int received = 0;
  while (received < Posters * PerPoster) {
    Fl::wait(1.0);
    while (auto message = queue.Pop()) {
      ASSERT_EQ(int(message->wParam), next[message->message]) << "poster " << message->message;
      next[message->message]++;
      received++;
    }
  }
  for (auto& poster : posters) poster.join();
  EXPECT_FALSE(queue.Pop().has_value());
  // One wake-up per batch, not one per message.
  EXPECT_LT(wakes.load(), Posters * PerPoster);
  Fl::unlock();
}

TEST(PostQueue, RefusesBeyondItsCapacityAndRecovers) {
  int wakes = 0;
  PostQueue queue([&] { wakes++; });
  for (size_t i = 0; i < PostQueue::Capacity; i++) ASSERT_TRUE(queue.Push({nullptr, 1, i, 0}));
  EXPECT_FALSE(queue.Push({nullptr, 1, 0, 0}));
  EXPECT_EQ(wakes, 1);
  while (queue.Pop()) {
  }
  EXPECT_TRUE(queue.Push({nullptr, 2, 0, 0}));
  EXPECT_EQ(wakes, 2);
}

}  // namespace
}  // namespace ui
