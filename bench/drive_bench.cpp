// Measures the cdaudio device on the default drive, a simulated one at the
// kernel's interface with a realistic drive's delays: per-read latency,
// a spin-up after idle, 24x at most. Prints the time from PLAY to the first
// sample (disc spinning, and after a spin-up), the samples inserted at each
// auto-advance, and the drive's reads per second and longest rest while
// playing. Needs SDL_AUDIODRIVER=disk with SDL_DISKAUDIOFILE set.
//   drive_bench DIR [SECONDS]
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tools/disc_image.h"
#include "tools/simdrive/simdrive.h"

using Clock = std::chrono::steady_clock;

namespace {

// A drive of the kind sold today: 24x at most, 8 ms a read command, a
// second and a half to spin up after resting ten seconds.
const char* DriveFaults = "speed=24;latency=8;spin-up=1500;spin-down=10000";

std::mutex mutex;
std::condition_variable arrived;
std::deque<WPARAM> codes;
MCIDEVICEID device;
std::string folder;

WPARAM WaitCode() {
  std::unique_lock<std::mutex> lock(mutex);
  arrived.wait_for(lock, std::chrono::seconds(120), [] { return !codes.empty(); });
  if (codes.empty()) return 0;
  WPARAM code = codes.front();
  codes.pop_front();
  return code;
}

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
  {
    std::lock_guard<std::mutex> lock(mutex);
    codes.clear();  // what earlier plays were told
  }
  simdrive::DriveSetup setup;
  setup.path = "/dev/sr0";
  setup.image = image.sheetPath;
  setup.faults = faults;
  setup.journal = folder + "/journal";
  simdrive::Install({setup});
  return image;
}

void Open() {
  unsetenv("CDAUDIO_DEVICE");
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = "cdaudio";
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open))) {
    fprintf(stderr, "drive_bench: the default drive did not open\n");
    exit(1);
  }
  device = open.wDeviceID;
  MCI_SET_PARMS set = {};
  set.dwTimeFormat = MCI_FORMAT_TMSF;
  mciSendCommandA(device, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
  MCI_STATUS_PARMS status = {};
  status.dwItem = MCI_CDA_STATUS_TYPE_TRACK;
  status.dwTrack = 1;
  mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK,
                  reinterpret_cast<DWORD_PTR>(&status));
}

void Close() {
  mciSendCommandA(device, MCI_CLOSE, 0, 0);
  simdrive::Install({});
}

void Play(int track, int count) {
  MCI_PLAY_PARMS play = {};
  play.dwCallback = 1;
  play.dwFrom = static_cast<DWORD>(track);
  play.dwTo = static_cast<DWORD>(track) + 1;
  mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM | (track < count ? MCI_TO : 0),
                  reinterpret_cast<DWORD_PTR>(&play));
}

void Stop() { mciSendCommandA(device, MCI_STOP, 0, 0); }

std::vector<uint8_t> Captured() {
  std::ifstream in(getenv("SDL_DISKAUDIOFILE"), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

double FirstSample(int track, int count) {
  size_t before = Captured().size();
  auto start = Clock::now();
  Play(track, count);
  for (;;) {
    std::vector<uint8_t> now = Captured();
    if (std::any_of(now.begin() + static_cast<std::ptrdiff_t>(std::min(before, now.size())),
                    now.end(), [](uint8_t b) { return b != 0; }))
      return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (Clock::now() - start > std::chrono::seconds(10)) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// When each READ CD was sent, in milliseconds of the drive's clock.
std::vector<double> ReadTimes() {
  std::ifstream in(folder + "/journal");
  std::vector<double> times;
  std::string line;
  while (std::getline(in, line))
    if (line.find("packet READ_CD") != std::string::npos) times.push_back(std::stod(line));
  return times;
}

void Latency() {
  Insert({1500}, DriveFaults);
  Open();  // the start-up reads one sector: the disc spins from here
  printf("first sample, disc spinning: %.1f ms\n", FirstSample(1, 1));
  Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(10500));  // the disc stops
  printf("first sample, after a 1500 ms spin-up: %.1f ms\n", FirstSample(1, 1));
  Stop();
  Close();
}

void Gapless() {
  const int count = 5;
  mkdisc::DiscImage image = Insert({150, 113, 150, 97, 150}, DriveFaults);
  Open();
  for (int track = 1; track <= count; track++) {
    Play(track, count);
    if (WaitCode() != MCI_NOTIFY_SUCCESSFUL) printf("track %d did not complete\n", track);
    Stop();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  Close();
  std::vector<uint8_t> captured = Captured();
  long previousEnd = -1;
  for (int track = 1; track <= count; track++) {
    const mkdisc::DiscImageTrack& entry = image.tracks[static_cast<size_t>(track) - 1];
    int32_t end = track < count ? image.tracks[static_cast<size_t>(track)].start : image.sectors;
    std::vector<uint8_t> audio = mkdisc::ReadBin(image.binPath, entry.start, end - entry.start);
    auto at = std::search(captured.begin(), captured.end(), audio.begin(), audio.end());
    if (at == captured.end()) {
      printf("track %d: not found whole in the output\n", track);
      return;
    }
    long where = static_cast<long>(at - captured.begin());
    if (previousEnd >= 0)
      printf("advance %d -> %d: %ld samples inserted\n", track - 1, track,
             (where - previousEnd) / 4);
    previousEnd = where + static_cast<long>(audio.size());
  }
}

void Reads(int seconds) {
  Insert({seconds * 75 + 1500}, DriveFaults);
  Open();
  Play(1, 1);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  Stop();
  Close();
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

extern "C" BOOL WINAPI PostMessageA(HWND, UINT, WPARAM code, LPARAM) {
  std::lock_guard<std::mutex> lock(mutex);
  codes.push_back(code);
  arrived.notify_all();
  return TRUE;
}

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
