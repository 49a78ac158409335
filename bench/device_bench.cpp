// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the cdaudio device on a generated image. Modes:
//   device_bench latency DIR   time from PLAY to the first sample written
//   device_bench gapless DIR   samples inserted at each auto-advance
//   device_bench load DIR S [TYPE]
//                              CPU, peak RSS and wake-ups over S seconds, of
//                              a bin (TYPE bin, the default) or of a rip into
//                              one audio file of TYPE (flac, wav, aiff)
// The first two need SDL_AUDIODRIVER=disk with SDL_DISKAUDIOFILE set.
#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_device.h"
#include "tools/disc_image.h"
#include "tools/rip_image.h"

using Clock = std::chrono::steady_clock;
using namespace bench;

static mkdisc::DiscImage Make(const std::string& dir, std::vector<int> tracks,
                              const std::string& type = "bin") {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = std::move(tracks);
  mkdisc::DiscImage image;
  std::string error;
  mkdisc::RipSpec rip;
  rip.extension = type;
  if (!mkdisc::WriteDiscImage(dir + "/bench.cue", spec, &image, &error) ||
      (type != "bin" && !mkdisc::WriteRip(image, rip, &error))) {
    fprintf(stderr, "device_bench: %s\n", error.c_str());
    exit(1);
  }
  return image;
}

static void OpenImage(const std::string& cue) {
  if (!Open(cue)) {
    fprintf(stderr, "device_bench: cannot open %s\n", cue.c_str());
    exit(1);
  }
}

static void Latency(const std::string& dir) {
  Make(dir, {750});
  OpenImage(dir + "/bench.cue");
  printf("first sample, output closed: %.1f ms\n", FirstSample(1, 1, 5));
  std::vector<double> warm;
  for (int i = 0; i < 8; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Device().Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    warm.push_back(FirstSample(1, 1, 5));
  }
  std::sort(warm.begin(), warm.end());
  printf("first sample, output open: median %.1f ms, worst %.1f ms\n", warm[warm.size() / 2],
         warm.back());
  Device().Stop();
}

static void Gapless(const std::string& dir) {
  mkdisc::DiscImage image = Make(dir, {150, 113, 150, 97, 150});
  OpenImage(dir + "/bench.cue");
  PlayEachTrack(static_cast<int>(image.tracks.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  PrintInserted(image, Captured());
}

// Context switches of all the process's threads so far.
static long Switches() {
  long total = 0;
  DIR* tasks = opendir("/proc/self/task");
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    std::string line;
    while (std::getline(status, line))
      if (line.find("ctxt_switches:") != std::string::npos)
        total += atol(line.substr(line.find(':') + 1).c_str());
  }
  closedir(tasks);
  return total;
}

static double CpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_stime.tv_sec) +
         (static_cast<double>(usage.ru_utime.tv_usec) +
          static_cast<double>(usage.ru_stime.tv_usec)) /
             1e6;
}

static void Load(const std::string& dir, int seconds, const std::string& type) {
  Make(dir, {seconds * 75 + 150}, type);
  OpenImage(dir + "/bench.cue");
  double cpu = CpuSeconds();
  auto start = Clock::now();
  Device().PlayTrack(1, 1, NotifyWindow);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  long switches = Switches();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  double playing = static_cast<double>(Switches() - switches) / 5;
  std::this_thread::sleep_for(std::chrono::seconds(seconds - 7));
  double used = CpuSeconds() - cpu;
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  Device().Stop();
  std::this_thread::sleep_for(std::chrono::seconds(3));  // the output closes after its linger
  switches = Switches();
  std::this_thread::sleep_for(std::chrono::seconds(5));
  double idle = static_cast<double>(Switches() - switches) / 5;
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  printf("%s: CPU over %.0f s of playback: %.2f %% of a core\n", type.c_str(), elapsed,
         100 * used / elapsed);
  printf("peak RSS: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024);
  printf("wake-ups per second: playing %.1f, idle %.1f\n", playing, idle);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: device_bench latency|gapless|load DIR [SECONDS]\n");
    return 2;
  }
  std::string mode = argv[1], dir = argv[2];
  if (mode == "latency")
    Latency(dir);
  else if (mode == "gapless")
    Gapless(dir);
  else if (mode == "load")
    Load(dir, argc > 3 ? std::max(atoi(argv[3]), 10) : 30, argc > 4 ? argv[4] : "bin");
  else
    return 2;
  Device().Close();
  return 0;
}
