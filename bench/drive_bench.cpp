// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the cdaudio device on the default drive, a simulated one at the
// kernel's interface with a realistic drive's delays: per-read latency,
// a spin-up after idle, 24x at most. Prints the time from PLAY to the first
// sample (disc spinning, and after a spin-up), the samples inserted at each
// auto-advance, and the drive's reads per second and longest rest while
// playing. Needs SDL_AUDIODRIVER=disk with SDL_DISKAUDIOFILE set.
//   drive_bench DIR [SECONDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_device.h"
#include "tools/disc_image.h"
#include "tools/simdrive/journal.h"
#include "tools/simdrive/simdrive.h"

using namespace bench;

namespace {

// A drive of the kind sold today: 24x at most, 8 ms a read command, a
// second and a half to spin up after resting ten seconds.
const char* DriveFaults = "speed=24;latency=8;spin-up=1500;spin-down=10000";

std::string folder;

mkdisc::DiscImage Insert(std::vector<int> tracks, const std::string& faults) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = std::move(tracks);
  mkdisc::DiscImage image;
  std::string error;
  if (!mkdisc::WriteDiscImage(folder + "/bench.cue", spec, &image, &error)) {
    fprintf(stderr, "drive_bench: %s\n", error.c_str());
    exit(1);
  }
  remove((folder + "/journal").c_str());
  TakePosted();  // what earlier plays were told
  simdrive::DriveSetup setup;
  setup.path = "/dev/sr0";
  setup.image = image.sheetPath;
  setup.faults = faults;
  setup.journal = folder + "/journal";
  simdrive::Install({setup});
  return image;
}

void OpenDrive() {
  if (!Open("")) {
    fprintf(stderr, "drive_bench: the default drive did not open\n");
    exit(1);
  }
  DWORD_PTR type = 0;
  Device().TrackType(1, &type);
}

void CloseDrive() {
  Device().Close();
  simdrive::Install({});
}

// When each READ CD was sent, in milliseconds of the drive's clock.
std::vector<double> ReadTimes() {
  return simdrive::JournalTimes(folder + "/journal", "packet READ_CD");
}

void Latency() {
  Insert({1500}, DriveFaults);
  OpenDrive();  // the start-up reads one sector: the disc spins from here
  printf("first sample, disc spinning: %.1f ms\n", FirstSample(1, 1, 10));
  Device().Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(10500));  // the disc stops
  printf("first sample, after a 1500 ms spin-up: %.1f ms\n", FirstSample(1, 1, 10));
  Device().Stop();
  CloseDrive();
}

void Gapless() {
  mkdisc::DiscImage image = Insert({150, 113, 150, 97, 150}, DriveFaults);
  OpenDrive();
  PlayEachTrack(static_cast<int>(image.tracks.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  CloseDrive();
  PrintInserted(image, Captured());
}

void Reads(int seconds) {
  Insert({seconds * 75 + 1500}, DriveFaults);
  OpenDrive();
  Device().PlayTrack(1, 1, NotifyWindow);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  Device().Stop();
  CloseDrive();
  std::vector<double> times = ReadTimes();
  double longest = 0, resting = 0;
  for (size_t i = 1; i < times.size(); i++) {
    double gap = times[i] - times[i - 1];
    longest = std::max(longest, gap);
    if (gap > 1000) resting += gap;
  }
  double span = times.size() > 1 ? (times.back() - times.front()) / 1000 : 0;
  printf("over %d s of playback: %zu reads, %.1f a second; longest rest %.1f s; resting %.0f %%\n",
         seconds, times.size(), static_cast<double>(times.size()) / seconds, longest / 1000,
         span > 0 ? resting / 10 / span : 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !getenv("SDL_DISKAUDIOFILE")) {
    fprintf(stderr, "usage: SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=F drive_bench DIR [SECONDS]\n");
    return 2;
  }
  folder = argv[1];
  printf("drive: %s\n", DriveFaults);
  Latency();
  Gapless();
  Reads(argc > 2 ? atoi(argv[2]) : 30);
  return 0;
}
