// SPDX-License-Identifier: GPL-3.0-or-later
// Playing through a real sound server (PulseAudio, or PipeWire's
// PulseAudio service), started for these tests by tests/e2e/pulse.sh, its
// null sink's monitor recorded with parec: the player's cycle must run the
// disc through bit-exact and unbroken, from its first frame to its last,
// even with both cores busy; stopping or cutting a range must fall silent
// at once whatever the server holds; and a server restarted mid-track must
// be heard again, with no PLAY, where the track has got to.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "platform/linux/cdaudio/playback.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"
#include "tests/timing.h"

namespace {

using Clock = std::chrono::steady_clock;

const HWND Window = reinterpret_cast<HWND>(0x1000);
constexpr size_t BytesPerMs = 44100 * 4 / 1000;
constexpr size_t HandoverBytes = cdaudio::Playback::HandoverBytes;
// When a stream starts, or starts again after a flush, the sink rewinds
// to play it at once; the monitor has already recorded silence for the
// part rewritten, so up to this much of a start can be missing from the
// recording (8.3 ms measured), though nothing in it is out of place:
// SoundedAlone is told so.
constexpr size_t RewoundBytes = 20 * BytesPerMs;
// PipeWire's PulseAudio service starts a stream that was idle at a period
// of its graph: 34 to 74 ms at this recorder, in steps of the period (mpv's
// after a pause: 33 to 73 ms), so a first sample is timed against the
// target on PulseAudio only; bench/pulse measures both servers.
bool FirstSampleTimed() {
  const char* server = getenv("KORVANE_SOUND_SERVER");
  return RealTime && !(server && std::string(server) == "pipewire");
}
// The periods PipeWire's graph has logged its PulseAudio service missing
// for our stream or the recorder's (tests/e2e/pulse.sh): where the machine
// is taken from the server, every client of the graph loses them, and the
// recording cannot judge the player.
size_t MissedPeriods() {
  const char* folder = getenv("PULSE_DIR");
  std::ifstream log(std::string(folder ? folder : "") + "/server.log");
  size_t missed = 0;
  for (std::string line; std::getline(log, line);) {
    if (line.find("client too slow!") != std::string::npos &&
        (line.find("(Korvane-") != std::string::npos || line.find("(parec-") != std::string::npos))
      missed++;
  }
  return missed;
}
// Where the build cannot keep real time (tests/timing.h) these tests look
// for races and for every request being answered, and leave exactness and
// timing to the other builds.

// The names of this process's clients of the server, as pactl lists them.
std::set<std::string> OurClients() {
  std::set<std::string> names;
  FILE* pactl = popen("pactl list clients 2>/dev/null", "r");
  if (!pactl) return names;
  std::string listing;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pactl)) > 0;) listing.append(chunk, got);
  pclose(pactl);
  const std::string ours = "application.process.id = \"" + std::to_string(getpid()) + "\"";
  std::istringstream lines(listing);
  std::string name;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Client #", 0) == 0) name.clear();
    size_t at = line.find("application.name = \"");
    if (at != std::string::npos) name = line.substr(at + 20, line.rfind('"') - at - 20);
    if (line.find(ours) != std::string::npos) names.insert(name);
  }
  return names;
}

// Starts `argv` with its output in `output` (when given); returns its pid.
pid_t Spawn(std::vector<const char*> argv, const std::string& output = "") {
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if (!output.empty() && !freopen(output.c_str(), "wb", stdout)) _exit(127);
    execvp(argv[0], const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  return pid;
}

void Reap(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Where `wanted` starts in `captured`, found by what follows its first
// RewoundBytes; npos when it is not there.
size_t StartOf(const Bytes& captured, const Bytes& wanted) {
  Bytes probe(wanted.begin() + RewoundBytes, wanted.begin() + RewoundBytes + 2352);
  size_t at = FindBytes(captured, probe);
  return at == std::string::npos || at < RewoundBytes ? std::string::npos : at - RewoundBytes;
}

// The sink's monitor, as raw s16le stereo at 44100 Hz, into a file. The
// recorder runs at a higher priority than the player, so that on a busy
// machine what lags is the player under test, not the instrument.
class Recorder {
 public:
  explicit Recorder(const std::string& path) : path_(path) {
    const char* latency = getenv("PULSE_RECORD_LATENCY");
    latencyMs_ = latency ? atoi(latency) : 10;
    std::string asked = "--latency-msec=" + std::to_string(latencyMs_);
    pid_ = Spawn({"nice", "-n", "-10", "parec", "-d", "@DEFAULT_MONITOR@", "--rate=44100",
                  "--format=s16le", "--channels=2", "--raw", asked.c_str()},
                 path);
    for (int tries = 0; tries < 250 && Size() == 0; tries++)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ~Recorder() { Reap(pid_); }
  Bytes Captured() const { return ReadBytes(path_); }
  // Bytes by which a sound `ms` after the recording reached `Size()` may
  // lie beyond it: the recorder is handed the monitor in parts as long as
  // the latency it asked for, so its size lags the sink by up to that.
  size_t Within(double ms) const { return static_cast<size_t>(ms + latencyMs_) * BytesPerMs; }
  size_t Size() const { return Captured().size(); }
  // Waits until `wanted` has sounded in full (but for what a rewind may
  // have hidden of its start), or `seconds` have passed.
  Bytes WaitFor(const Bytes& wanted, double seconds = 5) const {
    Bytes body(wanted.begin() + static_cast<std::ptrdiff_t>(std::min(RewoundBytes, wanted.size())),
               wanted.end());
    Bytes captured;
    for (auto until = Clock::now() + std::chrono::duration<double>(seconds);
         Clock::now() < until;) {
      captured = Captured();
      if (FindBytes(captured, body) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return captured;
  }

 private:
  std::string path_;
  int latencyMs_;
  pid_t pid_;
};

class PulseTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    unsetenv("SDL_AUDIODRIVER");
    const char* script = getenv("PULSE_SH");
    ASSERT_TRUE(script) << "run these through tests/e2e/pulse.sh run";
    script_ = script;
  }

  void Server(const char* what) {
    std::string command = "bash '" + script_ + "' " + what;
    ASSERT_EQ(system(command.c_str()), 0) << command;
  }

  WPARAM NextNotification(HWND window = Window, double seconds = 10) {
    Posted posted{};
    if (!WaitPosted(&posted, seconds)) {
      ADD_FAILURE() << "no notification";
      return 0;
    }
    EXPECT_EQ(posted.window, window);
    return posted.code;
  }

  std::string script_;
};

}  // namespace

TEST_F(PulseTest, ThePlayersCycleRunsTheDiscBitExactAndUnbrokenEvenWithBothCoresBusy) {
  mkdisc::DiscImage image = MakeTracks({225, 150, 190});
  Bytes disc = mkdisc::ReadBin(image.binPath, 0, image.sectors);
  for (bool busy : {false, true}) {
    SCOPED_TRACE(busy ? "both cores busy" : "idle");
    std::vector<pid_t> hogs;
    if (busy)
      for (int core = 0; core < 2; core++)
        hogs.push_back(Spawn({"sh", "-c", "while :; do :; done"}));
    Recorder recorder(Path(busy ? "busy.raw" : "idle.raw"));
    size_t missed = MissedPeriods();
    ASSERT_EQ(OpenSource(image.sheetPath), 0u);
    ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
    // The window shows before Play can be pressed; the server is asked
    // for as the disc is read.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    size_t asked = recorder.Size();
    for (int track = 1; track <= 3; track++) {
      ASSERT_EQ(PlayTrack(static_cast<DWORD>(track), 3, Window), 0u);
      ASSERT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL)) << track;
      // Success comes once all but the hand-over has sounded at the sink,
      // not when the server was handed the last of it.
      int32_t end = track < 3 ? image.tracks[static_cast<size_t>(track)].start : image.sectors;
      Bytes captured = recorder.Captured();
      size_t heard = captured.size() - std::min(captured.size(), StartOf(captured, disc));
      if (RealTime) {
        EXPECT_GE(heard + HandoverBytes + 150 * BytesPerMs, static_cast<size_t>(end) * 2352)
            << "track " << track << " reported played early";
      }
      ASSERT_EQ(Stop(), 0u);
    }
    ASSERT_EQ(Close(), 0u);
    Bytes captured = recorder.WaitFor(disc);
    for (pid_t hog : hogs) Reap(hog);
    if (RealTime) {
      ::testing::AssertionResult whole = SoundedAlone(captured, disc, RewoundBytes);
      if (!whole && MissedPeriods() > missed)
        GTEST_SKIP() << "the server's graph missed periods of our stream: " << whole.message();
      EXPECT_TRUE(whole);
      size_t first = StartOf(captured, disc);
      if (first != std::string::npos) {
        if (FirstSampleTimed()) {
          EXPECT_LE(first, asked + recorder.Within((busy ? 150 : 30) * TimeAllowance))
              << "first sample after " << (first - asked) / BytesPerMs << " ms";
        }
        printf("%s: first sample %lld ms after Play, at the recorder\n", busy ? "busy" : "idle",
               (static_cast<long long>(first) - static_cast<long long>(asked)) /
                   static_cast<long long>(BytesPerMs));
      }
    } else {
      EXPECT_NE(StartOf(captured, disc), std::string::npos);
    }
  }
}

TEST_F(PulseTest, StopAndANewRangeSilenceWhatTheServerHoldsAtOnce) {
  mkdisc::DiscImage image = MakeTracks({375, 375});
  Bytes one = mkdisc::ReadBin(image.binPath, 0, 375);
  Bytes two = mkdisc::ReadBin(image.binPath, 375, 375);
  Recorder recorder(Path("capture.raw"));
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);

  // The first sample comes promptly, though the server buffers seconds.
  size_t asked = recorder.Size();
  ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, Window), 0u);
  Bytes opening(one.begin(), one.begin() + 2 * RewoundBytes);
  size_t first = StartOf(recorder.WaitFor(opening), one);
  ASSERT_NE(first, std::string::npos);
  if (FirstSampleTimed()) {
    EXPECT_LE(first, asked + recorder.Within(30))
        << "first sample after " << (first - asked) / BytesPerMs << " ms";
  }

  // A new range cuts the old one off and starts within 50 ms.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  asked = recorder.Size();
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUPERSEDED));
  Bytes captured = recorder.WaitFor(Bytes(two.begin(), two.begin() + 2 * RewoundBytes));
  size_t second = StartOf(captured, two);
  ASSERT_NE(second, std::string::npos);
  size_t cut = first + Matching(captured, first, one, RewoundBytes);
  if (RealTime) {
    EXPECT_LE(cut, asked + recorder.Within(50))
        << "the old range sounded on " << (cut - asked) / BytesPerMs << " ms";
  }
  if (RealTime) {
    EXPECT_LE(second, asked + recorder.Within(50))
        << "the new range began after " << (second - asked) / BytesPerMs << " ms";
  }

  // Stop falls silent within 50 ms, and what sounded was the range itself.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  asked = recorder.Size();
  ASSERT_EQ(Stop(), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  captured = recorder.Captured();
  size_t played = Matching(captured, second, two, RewoundBytes);
  auto noise = [](uint8_t byte) { return byte != 0; };
  EXPECT_FALSE(std::any_of(captured.begin() + static_cast<std::ptrdiff_t>(second + played),
                           captured.end(), noise))
      << "noise after the range";
  if (RealTime) {
    EXPECT_LE(second + played, asked + recorder.Within(50))
        << "sounded on " << (second + played - asked) / BytesPerMs << " ms after the stop";
  }
  EXPECT_TRUE(TakePosted().empty());
}

// The window late with the next range, so that the one before was let
// drain; that one stopped, and another played: heard from its first frame.
// (PipeWire's service stays draining until its stream first runs dry, and
// then skips a period ahead of what it holds.)
TEST_F(PulseTest, APlayAfterALateRangeAndAStopIsHeardWhole) {
  mkdisc::DiscImage image = MakeTracks({150, 150, 150});
  Bytes three = mkdisc::ReadBin(image.binPath, 300, 150);
  Recorder recorder(Path("capture.raw"));
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, Window), 0u);
  ASSERT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(Play(2, 3, MCI_NOTIFY | MCI_FROM | MCI_TO, Window), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_EQ(Stop(), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(Play(3, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  // On PulseAudio the monitor may miss what a rewind rewrote of the start.
  const char* server = getenv("KORVANE_SOUND_SERVER");
  size_t skip = server && std::string(server) == "pipewire" ? 0 : RewoundBytes;
  Bytes whole(three.begin() + static_cast<std::ptrdiff_t>(skip), three.end());
  EXPECT_NE(FindBytes(recorder.WaitFor(three), whole), std::string::npos)
      << "the last range not heard whole";
}

TEST_F(PulseTest, AServerRestartedMidTrackIsHeardAgainWhereTheTrackHasGotTo) {
  mkdisc::DiscImage image = MakeTracks({450, 150});
  Bytes one = mkdisc::ReadBin(image.binPath, 0, 450);
  Bytes two = mkdisc::ReadBin(image.binPath, 450, 150);
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  Clock::time_point started;
  {
    Recorder recorder(Path("before.raw"));
    started = Clock::now();
    ASSERT_EQ(Play(1, 2, MCI_NOTIFY | MCI_FROM | MCI_TO, Window), 0u);
    Bytes opening(one.begin(), one.begin() + 2 * RewoundBytes);
    ASSERT_NE(StartOf(recorder.WaitFor(opening), one), std::string::npos);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Server("kill");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Server("start");
  Recorder recorder(Path("after.raw"));
  auto back = Clock::now();
  // The track plays on in silence while the server is away, and is heard
  // again, with no PLAY, from where it has got to, to its end; it is told
  // ended at its own time.
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  double ended = std::chrono::duration<double>(Clock::now() - started).count();
  Bytes captured = recorder.WaitFor(Bytes(one.end() - 2 * RewoundBytes, one.end()));
  ASSERT_EQ(Stop(), 0u);
  size_t heard = 0;
  while (heard + 4 <= captured.size() && !captured[heard] && !captured[heard + 1] &&
         !captured[heard + 2] && !captured[heard + 3])
    heard += 4;
  ASSERT_LT(heard + 2352, captured.size()) << "nothing heard after the server came back";
  size_t from = FindBytes(one, Bytes(captured.begin() + static_cast<std::ptrdiff_t>(heard),
                                     captured.begin() + static_cast<std::ptrdiff_t>(heard) + 2352));
  ASSERT_NE(from, std::string::npos) << "what was heard is not the track";
  if (RealTime) {
    // Unbroken only where the build keeps real time: under ThreadSanitizer
    // the server's buffer runs dry, as the other tests here allow.
    EXPECT_EQ(Matching(captured, heard,
                       Bytes(one.begin() + static_cast<std::ptrdiff_t>(from), one.end())),
              one.size() - from)
        << "not unbroken to the track's end";
    EXPECT_NEAR(ended, 6 - static_cast<double>(HandoverBytes) / cdaudio::BytesPerSecond, 0.3);
    EXPECT_LE(heard, 1000 * BytesPerMs) << "heard again after " << heard / BytesPerMs << " ms";
    // The recorder's first byte came about when `back` was taken.
    double due = std::chrono::duration<double>(back - started).count() +
                 static_cast<double>(heard) / cdaudio::BytesPerSecond;
    EXPECT_NEAR(static_cast<double>(from) / cdaudio::BytesPerSecond, due, 0.3);
  }

  // A PLAY after it is heard whole.
  Recorder next(Path("next.raw"));
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUCCESSFUL));
  ASSERT_EQ(Stop(), 0u);
  ASSERT_EQ(Close(), 0u);
  captured = next.WaitFor(two);
  if (RealTime) {
    EXPECT_TRUE(SoundedAlone(captured, two, RewoundBytes));
  } else {
    EXPECT_NE(StartOf(captured, two), std::string::npos);
  }
}

// A play asked for just as the server is back, before the device has
// found its way back to it, plays on in silence until it has: the server
// is never reached a second time, through SDL and ALSA's plug-in for it
// (where ALSA's default is that plug-in, as the server's packages set it).
TEST_F(PulseTest, APlayAsTheServerComesBackReachesItOnlyThroughTheDevicesOwnClient) {
  mkdisc::DiscImage image = MakeTracks({300, 300});
  ASSERT_EQ(OpenSource(image.sheetPath), 0u);
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  ASSERT_EQ(Play(1, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Server("kill");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Server("start");
  ASSERT_EQ(Play(2, 0, MCI_NOTIFY | MCI_FROM, Window), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_SUPERSEDED));
  std::set<std::string> seen;
  for (auto until = Clock::now() + std::chrono::seconds(2); Clock::now() < until;) {
    std::set<std::string> now = OurClients();
    seen.insert(now.begin(), now.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (const std::string& name : seen)
    EXPECT_EQ(name, "Korvane") << "a second client of the server";
  ASSERT_EQ(Stop(), 0u);
  EXPECT_EQ(NextNotification(), static_cast<WPARAM>(MCI_NOTIFY_ABORTED));
  ASSERT_EQ(Close(), 0u);
}
