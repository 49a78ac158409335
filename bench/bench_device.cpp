#include "bench/bench_device.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::mutex mutex;
std::condition_variable arrived;
std::deque<WPARAM> codes;
MCIDEVICEID device;

}  // namespace

extern "C" BOOL WINAPI PostMessageA(HWND, UINT, WPARAM code, LPARAM) {
  std::lock_guard<std::mutex> lock(mutex);
  codes.push_back(code);
  arrived.notify_all();
  return TRUE;
}

namespace bench {

WPARAM WaitCode() {
  std::unique_lock<std::mutex> lock(mutex);
  arrived.wait_for(lock, std::chrono::seconds(120), [] { return !codes.empty(); });
  if (codes.empty()) return 0;
  WPARAM code = codes.front();
  codes.pop_front();
  return code;
}

void ClearCodes() {
  std::lock_guard<std::mutex> lock(mutex);
  codes.clear();
}

bool Open(const std::string& source) {
  if (source.empty())
    unsetenv("CDAUDIO_DEVICE");
  else
    setenv("CDAUDIO_DEVICE", source.c_str(), 1);
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = "cdaudio";
  if (mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open))) return false;
  device = open.wDeviceID;
  MCI_SET_PARMS set = {};
  set.dwTimeFormat = MCI_FORMAT_TMSF;
  mciSendCommandA(device, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
  return true;
}

MCIDEVICEID Device() { return device; }

void Play(int track, int count) {
  MCI_PLAY_PARMS play = {};
  play.dwCallback = 1;
  play.dwFrom = static_cast<DWORD>(track);
  play.dwTo = static_cast<DWORD>(track) + 1;
  mciSendCommandA(device, MCI_PLAY, MCI_NOTIFY | MCI_FROM | (track < count ? MCI_TO : 0),
                  reinterpret_cast<DWORD_PTR>(&play));
}

void Stop() { mciSendCommandA(device, MCI_STOP, 0, 0); }

void Close() { mciSendCommandA(device, MCI_CLOSE, 0, 0); }

std::vector<uint8_t> Captured() {
  std::ifstream in(getenv("SDL_DISKAUDIOFILE"), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

double FirstSample(int track, int count, int seconds) {
  size_t before = Captured().size();
  auto start = Clock::now();
  Play(track, count);
  for (;;) {
    std::vector<uint8_t> now = Captured();
    if (std::any_of(now.begin() + static_cast<std::ptrdiff_t>(std::min(before, now.size())),
                    now.end(), [](uint8_t b) { return b != 0; }))
      return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (Clock::now() - start > std::chrono::seconds(seconds)) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

void PlayEachTrack(int count) {
  for (int track = 1; track <= count; track++) {
    Play(track, count);
    if (WaitCode() != MCI_NOTIFY_SUCCESSFUL) printf("track %d did not complete\n", track);
    Stop();
  }
}

void PrintInserted(const mkdisc::DiscImage& image, const std::vector<uint8_t>& captured) {
  int count = static_cast<int>(image.tracks.size());
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

}  // namespace bench
