// SPDX-License-Identifier: GPL-3.0-or-later
// Built only under ThreadSanitizer, and passes only on a race report: the
// sound server's write callback, which runs on libpulse's thread, writes a
// value that the main thread then writes too with nothing ordering them.
// The tree's suppressions for libpulse must never hide such a race in our
// own callbacks.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/linux/cdaudio/output.h"

namespace {

int unguarded = 0;
// Relaxed, so that the tool sees no ordering between the two writes.
std::atomic<bool> pulled{false};

size_t PullUnguarded(uint8_t* out, size_t bytes) {
  unguarded = 1;
  pulled.store(true, std::memory_order_relaxed);
  memset(out, 0, bytes);
  return bytes;
}

}  // namespace

int main() {
  std::unique_ptr<cdaudio::Output> output = cdaudio::PulseOutputKind.make(PullUnguarded, [] {});
  std::string why;
  cdaudio::Output::Readiness readiness = output->Open(&why);
  for (int tries = 0; tries < 500 && readiness == cdaudio::Output::Readiness::Connecting; tries++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    readiness = output->Open(&why);
  }
  if (readiness != cdaudio::Output::Readiness::Ready) {
    fprintf(stderr, "no sound server: %s\n", why.c_str());
    return 1;
  }
  // The first pulls come while Open waits on the loop's lock, which
  // orders them before us; a refill after it returns is not ordered.
  pulled.store(false, std::memory_order_relaxed);
  for (int tries = 0; tries < 500 && !pulled.load(std::memory_order_relaxed); tries++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!pulled.load(std::memory_order_relaxed)) {
    fprintf(stderr, "the server never asked for sound\n");
    return 1;
  }
  unguarded = 2;
  output->Close();
  printf("last written: %d\n", unguarded);  // the writes are used, so they stay
  return 0;
}
