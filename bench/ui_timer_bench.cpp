// SPDX-License-Identifier: GPL-3.0-or-later
// How closely WM_TIMER keeps its period: the player's window with a
// one-second timer, each tick's lateness against start + k seconds.
// Usage: ui_timer_bench [TICKS] (in an X session)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "window/resource.h"

namespace {

using Clock = std::chrono::steady_clock;
int wanted = 20;
Clock::time_point start;
std::vector<double> lateness;  // milliseconds

INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    start = Clock::now();
    SetTimer(dialog, 1, 1000, nullptr);
    return TRUE;
  }
  if (message == WM_TIMER) {
    double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    lateness.push_back(elapsed - 1000.0 * static_cast<double>(lateness.size() + 1));
    if (static_cast<int>(lateness.size()) == wanted) EndDialog(dialog, 0);
    return TRUE;
  }
  return message == WM_CLOSE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) wanted = std::max(1, std::atoi(argv[1]));
  if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, Procedure,
                      0) != 0)
    return 1;
  double worst = *std::max_element(lateness.begin(), lateness.end());
  double sum = 0;
  for (double late : lateness) sum += late;
  std::printf("timer: %d ticks of 1000 ms: lateness mean %.2f ms, worst %.2f ms, last %.2f ms\n",
              wanted, sum / static_cast<double>(wanted), worst, lateness.back());
  return 0;
}
