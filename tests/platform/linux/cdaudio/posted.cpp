// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/linux/cdaudio/posted.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

static std::mutex mutex;
static std::condition_variable arrived;
static std::deque<Posted> queue;

extern "C" BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    queue.push_back({window, message, wParam, lParam});
  }
  arrived.notify_all();
  return TRUE;
}

bool WaitPosted(Posted* posted, double seconds) {
  std::unique_lock<std::mutex> lock(mutex);
  if (!arrived.wait_for(lock, std::chrono::duration<double>(seconds),
                        [] { return !queue.empty(); }))
    return false;
  *posted = queue.front();
  queue.pop_front();
  return true;
}

WPARAM NextCode(double seconds) {
  Posted posted{};
  return WaitPosted(&posted, seconds) ? posted.code : 0;
}

std::vector<Posted> TakePosted() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<Posted> all(queue.begin(), queue.end());
  queue.clear();
  return all;
}
