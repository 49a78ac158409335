// SPDX-License-Identifier: GPL-3.0-or-later
// The profile functions as the window position store uses them, and as a
// user's hand-edited, damaged or unwritable settings file meets them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spill(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    dir_ = temp_.Path();
    ini_ = (dir_ / "korvane.ini").string();
  }
  // A test may have taken the write bit away.
  void TearDown() override { chmod(dir_.c_str(), 0700); }

  int Read(const char* key, int fallback = 100, const char* section = "KORVANE") {
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, ini_.c_str()));
  }
  BOOL Write(const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, ini_.c_str());
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  tests::TempFolder temp_{"korvane-profile"};
  fs::path dir_;
  std::string ini_;
};

TEST_F(ProfileTest, FirstRunThenStoredPosition) {
  EXPECT_EQ(Read("x"), 100);
  EXPECT_EQ(Read("y", -1), -1);
  EXPECT_FALSE(fs::exists(ini_)) << "reading creates nothing";

  EXPECT_TRUE(Write("KORVANE", "x", "-12"));
  EXPECT_TRUE(Write("KORVANE", "y", "340"));
  EXPECT_EQ(Slurp(ini_), "[KORVANE]\nx=-12\ny=340\n");
  EXPECT_EQ(Read("x"), -12);
  EXPECT_EQ(Read("y"), 340);
  EXPECT_EQ(Read("X", 100, "korvane"), -12) << "sections and keys ignore case";

  EXPECT_TRUE(Write("korvane", "X", "5"));
  EXPECT_EQ(Slurp(ini_), "[KORVANE]\nx=5\ny=340\n") << "the stored spelling stays";
  EXPECT_EQ(Files(), std::vector<std::string>{"korvane.ini"}) << "no temporary file left";
}

TEST_F(ProfileTest, ValuesReadAsThePlatformReadsThem) {
  const std::pair<const char*, int> cases[] = {{"12", 12},
                                               {"  +7x", 7},
                                               {"\t-5", -5},
                                               {"007", 7},
                                               {"1e3", 1},
                                               {"3;x", 3},
                                               {"42A94967297", 42},
                                               {"\"5\"", 5},
                                               {"'-6'", -6},
                                               {"abc", 0},
                                               {"-", 0},
                                               {"- 5", 0},
                                               {"B4294967297", 0},
                                               {"0x1F", 31},
                                               {"0o17", 15},
                                               {"0b101", 5},
                                               {"0X1F", 0},
                                               {"4294967297", 1},
                                               {"99999999999", 1215752191},
                                               {"2147483648", INT32_MIN},
                                               {"-4294967297", -1}};
  std::string text = "[KORVANE]\r\n";
  for (size_t i = 0; i < std::size(cases); i++)
    text += "k" + std::to_string(i) + "=" + cases[i].first + "\r\n";
  text += "empty=\r\nbare\r\n";
  Spill(ini_, text);
  for (size_t i = 0; i < std::size(cases); i++)
    EXPECT_EQ(Read(("k" + std::to_string(i)).c_str()), cases[i].second) << cases[i].first;
  EXPECT_EQ(Read("empty"), 100) << "an empty value reads as missing";
  EXPECT_EQ(Read("bare"), 100) << "a line without '=' is no key";
  EXPECT_EQ(Read("k0", 100, "OTHER"), 100);
  EXPECT_EQ(Read(nullptr), 100);
  EXPECT_EQ(GetPrivateProfileIntA(nullptr, "x", 100, ini_.c_str()), 100u);
}

TEST_F(ProfileTest, WriteKeepsEverythingElse) {
  const std::string before =
      "; settings of several programs\r\n"
      "\r\n"
      "[Other]\r\n"
      "name = \x93\xfa\x96\x7b\x8c\xea\r\n"  // Japanese in the platform's code page
      "; the next key matters\r\n"
      "Key=Val\r\n"
      "Key=Second\r\n"
      "[KORVANE]\r\n"
      "x=5\r\n"
      "y=6\r\n"
      "; left by hand at the end\r\n";
  Spill(ini_, before);
  chmod(ini_.c_str(), 0640);
  ASSERT_TRUE(Write("korvane", "x", "7"));
  std::string expected = before;
  expected.replace(expected.find("x=5"), 3, "x=7");
  EXPECT_EQ(Slurp(ini_), expected) << "only the key's own line changes";
  EXPECT_EQ(GetPrivateProfileIntA("other", "KEY", 1, ini_.c_str()), 0u) << "the first key counts";
  struct stat info;
  ASSERT_EQ(stat(ini_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Files(), std::vector<std::string>{"korvane.ini"}) << "nothing set aside";
}

// Lines as people and other programs leave them: each reads as the
// platform reads it, and a write changes its own key's line and no byte
// of any other, whatever the rest of the file looks like.
TEST_F(ProfileTest, AWriteChangesOnlyItsOwnLine) {
  auto expectOnly = [&](const std::string& before, const char* key, const char* value,
                        const std::string& from, const std::string& to) {
    Spill(ini_, before);
    ASSERT_TRUE(Write("KORVANE", key, value)) << before;
    std::string expected = before;
    if (from.empty()) {
      expected += to;
    } else {
      ASSERT_NE(expected.find(from), std::string::npos);
      expected.replace(expected.find(from), from.size(), to);
    }
    EXPECT_EQ(Slurp(ini_), expected);
    EXPECT_EQ(Files(), std::vector<std::string>{"korvane.ini"}) << "nothing set aside for\n"
                                                                << before;
  };

  // A line without '=' is a key with an empty value, not more of the line
  // above it; "key=" stays as it is written.
  Spill(ini_, "[KORVANE]\r\nx=300\r\ny\r\n");
  EXPECT_EQ(Read("x"), 300);
  EXPECT_EQ(Read("y"), 100) << "a bare key has no value";
  expectOnly("[Other]\nnote\nempty=\n\n[KORVANE]\nx=1\n", "x", "2", "x=1", "x=2");
  expectOnly("[KORVANE]\ny\nx=1\n", "y", "5", "y\n", "y=5\n");

  // A comment before a repeated key, blanks around '=' and odd spacing.
  expectOnly("[A]\nk=1\n; about the second\nk=2\n[KORVANE]\n  x = 1 ; note\n\n", "x", "9",
             "x = 1 ; note", "x=9");
  expectOnly("[A]\nk=1\n; about the second\nk=2\n[KORVANE]\nx=1\n\n\n[B]\n", "y", "4", "x=1\n",
             "x=1\ny=4\n");

  // A carriage return alone, a byte-order mark at the top and one inside,
  // a last line without its end: written twice, still nothing set aside.
  const std::string marks =
      "\xEF\xBB\xBF[KORVANE]\r\nx=1\r\n[Other]\ra=1\r\n\xEF\xBB\xBF[Inner]\r\nk=3";
  Spill(ini_, marks);
  EXPECT_EQ(Read("x"), 1) << "the mark is not part of the header";
  expectOnly(marks, "x", "2", "x=1", "x=2");
  expectOnly(Slurp(ini_), "x", "3", "x=2", "x=3");
  expectOnly("[KORVANE]\r\nx=1", "y", "2", "x=1", "x=1\r\ny=2\r\n");
  expectOnly("[Other]\r\nk=1", "x", "2", "", "\r\n[KORVANE]\r\nx=2\r\n");

  // Control characters are text: the file stays one whose keys read, and
  // the next write keeps them.
  Spill(ini_, "[KORVANE]\nx=1\ny=6\n");
  EXPECT_TRUE(Write("KORVANE", "note", "bell\a tab\t esc\x1b"));
  EXPECT_TRUE(Write("Sec\x01tion", "k\x02", "7"));
  EXPECT_EQ(Read("y"), 6);
  EXPECT_EQ(Read("k\x02", 0, "Sec\x01tion"), 7);
  expectOnly(Slurp(ini_), "x", "2", "x=1", "x=2");

  // Names lose their blanks both ways, so they read back; a name that
  // would read back as something else is refused and changes nothing.
  Spill(ini_, "[KORVANE]\nx=1\n");
  EXPECT_TRUE(Write(" KORVANE\t", "  x ", "5"));
  EXPECT_EQ(Read("x"), 5);
  EXPECT_EQ(Read(" x ", 100, "KORVANE "), 5);
  EXPECT_TRUE(Write("KORVANE", " z ", "8"));
  EXPECT_EQ(Slurp(ini_), "[KORVANE]\nx=5\nz=8\n");
  for (const char* key : {" [Evil]", "a=b", "; c", "", "   ", "two\nlines"})
    EXPECT_FALSE(Write("KORVANE", key, "1")) << key;
  for (const char* section : {"", " ", "a]b", "two\rlines"})
    EXPECT_FALSE(Write(section, "x", "1")) << section;
  EXPECT_EQ(Slurp(ini_), "[KORVANE]\nx=5\nz=8\n");
}

TEST_F(ProfileTest, DeletingKeysAndSections) {
  EXPECT_TRUE(Write("KORVANE", "x", nullptr));
  EXPECT_FALSE(fs::exists(ini_)) << "deleting from no file makes none";
  Spill(ini_, "[A]\nk=1\n[KORVANE]\nx=1\ny=2\n[B]\nm=3\n");
  EXPECT_TRUE(Write("KORVANE", "x", nullptr));
  EXPECT_EQ(Read("x"), 100);
  EXPECT_EQ(Read("y"), 2);
  EXPECT_TRUE(Write("korvane", nullptr, nullptr));
  EXPECT_EQ(Read("y"), 100);
  EXPECT_EQ(Read("k", 0, "A"), 1);
  EXPECT_EQ(Read("m", 0, "B"), 3);
  EXPECT_EQ(Slurp(ini_).find("KORVANE"), std::string::npos);
  EXPECT_FALSE(Write(nullptr, "x", "1"));
  EXPECT_FALSE(Write("KORVANE", "x", "1\n[Evil]")) << "a value cannot add lines";
}

TEST_F(ProfileTest, FailedWriteLosesNothing) {
  const std::string before = "[KORVANE]\nx=1\ny=2\n";
  Spill(ini_, before);
  // The disk fills up: no file may grow past a few bytes.
  sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit oldLimit;
  getrlimit(RLIMIT_FSIZE, &oldLimit);
  rlimit tiny = oldLimit;
  tiny.rlim_cur = 8;
  setrlimit(RLIMIT_FSIZE, &tiny);
  testing::internal::CaptureStderr();
  const BOOL written = Write("KORVANE", "x", "12345");
  const std::string said = testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_FSIZE, &oldLimit);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(said, "");
  EXPECT_EQ(Slurp(ini_), before);
  EXPECT_EQ(Files(), std::vector<std::string>{"korvane.ini"}) << "a temporary file is left";

  // A folder that refuses new files (not a refusal for root, who passes).
  chmod(dir_.c_str(), 0500);
  if (access(dir_.c_str(), W_OK) != 0) {
    EXPECT_FALSE(Write("KORVANE", "x", "12345"));
    EXPECT_EQ(Slurp(ini_), before);
  }
  chmod(dir_.c_str(), 0700);

  // A FIFO in its place: neither read nor replaced, and no waiting for a
  // writer (after a while the test becomes one, so that it can fail).
  fs::remove(ini_);
  ASSERT_EQ(mkfifo(ini_.c_str(), 0600), 0);
  std::atomic<bool> finished{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 300 && !finished; i++) std::this_thread::sleep_for(10ms);
    while (!finished) {
      const int fd = open(ini_.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
      std::this_thread::sleep_for(10ms);
    }
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Read("x"), 100);
  EXPECT_FALSE(Write("KORVANE", "x", "1"));
  finished = true;
  watchdog.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << "waited for a writer";
  struct stat fifo;
  EXPECT_TRUE(stat(ini_.c_str(), &fifo) == 0 && S_ISFIFO(fifo.st_mode));

  // A file that cannot be read cannot be kept, so it is not replaced.
  fs::remove(ini_);
  fs::create_directory(ini_);
  EXPECT_EQ(Read("x"), 100);
  EXPECT_FALSE(Write("KORVANE", "x", "1"));
  EXPECT_TRUE(fs::is_directory(ini_));
}

TEST_F(ProfileTest, DamagedFileIsKeptAside) {
  std::string garbage(4096, '\0');
  std::mt19937 random(7);
  for (char& c : garbage) c = static_cast<char>(random());
  garbage.replace(100, 15, "\n[KORVANE]\nx=9\n");
  Spill(ini_, garbage);
  EXPECT_EQ(Read("x"), 100) << "nothing is read from a binary file";
  EXPECT_TRUE(Write("KORVANE", "x", "3"));
  EXPECT_EQ(Slurp(ini_), "[KORVANE]\nx=3\n");
  EXPECT_EQ(Slurp(dir_ / "korvane.ini.bak"), garbage);

  // A header without its ']' is still text, changed line by line.
  const std::string odd = "[KORVANE\nx=4\n[A]\nk=1\n";
  Spill(ini_, odd);
  EXPECT_EQ(Read("x"), 4);
  EXPECT_TRUE(Write("A", "k", "2"));
  EXPECT_EQ(Slurp(ini_), "[KORVANE\nx=4\n[A]\nk=2\n");
  EXPECT_FALSE(fs::exists(dir_ / "korvane.ini.bak.1")) << "nothing to keep aside";

  // Too large to be a settings file: neither read nor replaced.
  const std::string huge = "[KORVANE]\nx=1\n" + std::string(2 << 20, ';');
  Spill(ini_, huge);
  EXPECT_EQ(Read("x"), 100);
  EXPECT_FALSE(Write("KORVANE", "x", "2"));
  EXPECT_EQ(fs::file_size(ini_), huge.size());
}

TEST_F(ProfileTest, BareNameLivesInTheConfigFolder) {
  const std::string config = (dir_ / "config" / "deeper").string();
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
    EXPECT_EQ(GetPrivateProfileIntA("KORVANE", "x", 100, "korvane.ini"), 100u);
    EXPECT_FALSE(fs::exists(config)) << "reading creates no folder";
    EXPECT_TRUE(WritePrivateProfileStringA("KORVANE", "x", "-40", "korvane.ini"));
    EXPECT_EQ(Slurp(config + "/korvane.ini"), "[KORVANE]\nx=-40\n");
    EXPECT_EQ(int(GetPrivateProfileIntA("KORVANE", "x", 100, "korvane.ini")), -40);
    struct stat info;
    ASSERT_EQ(stat(config.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
  // Without it, or with a relative one, ~/.config.
  const std::string home = (dir_ / "home").string();
  ScopedEnv homeEnv("HOME", home.c_str());
  for (const char* xdg : {static_cast<const char*>(nullptr), "relative/config"}) {
    ScopedEnv xdgEnv("XDG_CONFIG_HOME", xdg);
    EXPECT_TRUE(WritePrivateProfileStringA("KORVANE", "y", "8", "korvane.ini"));
    EXPECT_EQ(Slurp(home + "/.config/korvane.ini"), "[KORVANE]\ny=8\n");
  }
  EXPECT_FALSE(fs::exists("relative"));

  // A settings file linked from elsewhere stays a link.
  fs::create_directories(dir_ / "dotfiles");
  Spill(dir_ / "dotfiles" / "korvane.ini", "[KORVANE]\nx=1\n");
  fs::remove(home + "/.config/korvane.ini");
  fs::create_symlink(dir_ / "dotfiles" / "korvane.ini", home + "/.config/korvane.ini");
  ScopedEnv xdgEnv("XDG_CONFIG_HOME", nullptr);
  EXPECT_TRUE(WritePrivateProfileStringA("KORVANE", "x", "2", "korvane.ini"));
  EXPECT_TRUE(fs::is_symlink(home + "/.config/korvane.ini"));
  EXPECT_EQ(Slurp(dir_ / "dotfiles" / "korvane.ini"), "[KORVANE]\nx=2\n");
}

}  // namespace
