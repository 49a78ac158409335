// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/bench_device.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace bench {

using Clock = std::chrono::steady_clock;

DeviceRequests& Device() {
  static DeviceRequests device;
  return device;
}

bool Open(const std::string& source) {
  if ((source.empty() ? Device().OpenDefault() : Device().OpenSource(source)) != 0) return false;
  Device().SetTimeFormat(MCI_FORMAT_TMSF);
  return true;
}

Bytes Captured() { return ReadBytes(getenv("SDL_DISKAUDIOFILE")); }

double FirstSample(int track, int count, int seconds) {
  size_t before = Captured().size();
  auto start = Clock::now();
  Device().PlayTrack(static_cast<DWORD>(track), static_cast<DWORD>(count), NotifyWindow);
  for (;;) {
    Bytes now = Captured();
    if (std::any_of(now.begin() + static_cast<std::ptrdiff_t>(std::min(before, now.size())),
                    now.end(), [](uint8_t b) { return b != 0; }))
      return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (Clock::now() - start > std::chrono::seconds(seconds)) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void PlayEachTrack(int count) {
  for (int track = 1; track <= count; track++) {
    Device().PlayTrack(static_cast<DWORD>(track), static_cast<DWORD>(count), NotifyWindow);
    if (NextCode(120) != MCI_NOTIFY_SUCCESSFUL) printf("track %d did not complete\n", track);
    Device().Stop();
  }
}

void PrintInserted(const mkdisc::DiscImage& image, const Bytes& captured) {
  int count = static_cast<int>(image.tracks.size());
  long previousEnd = -1;
  for (int track = 1; track <= count; track++) {
    const mkdisc::DiscImageTrack& entry = image.tracks[static_cast<size_t>(track) - 1];
    int32_t end = track < count ? image.tracks[static_cast<size_t>(track)].start : image.sectors;
    Bytes audio = mkdisc::ReadBin(image.binPath, entry.start, end - entry.start);
    size_t where = FindBytes(captured, audio);
    if (where == std::string::npos) {
      printf("track %d: not found whole in the output\n", track);
      return;
    }
    if (previousEnd >= 0)
      printf("advance %d -> %d: %ld samples inserted\n", track - 1, track,
             (static_cast<long>(where) - previousEnd) / 4);
    previousEnd = static_cast<long>(where + audio.size());
  }
}

}  // namespace bench
