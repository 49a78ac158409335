// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/linux/cdaudio/device_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/linux/disc/disc.h"

::testing::AssertionResult SoundedAlone(const Bytes& captured, const Bytes& wanted, size_t hidden) {
  Bytes body(wanted.begin() + static_cast<std::ptrdiff_t>(hidden), wanted.end());
  size_t at = FindBytes(captured, body);
  if (at == std::string::npos || at < hidden) {
    size_t longest = 0;
    for (size_t from = 0; from < captured.size(); from += 4)
      longest = std::max(longest, Matching(captured, from, wanted));
    return ::testing::AssertionFailure()
           << "not played whole and unbroken: the longest unbroken run is " << longest << " of "
           << wanted.size() << " bytes";
  }
  at -= hidden;
  for (size_t frame = 0; frame < hidden; frame += 4) {
    bool silent = std::all_of(&captured[at + frame], &captured[at + frame + 4],
                              [](uint8_t byte) { return byte == 0; });
    if (!silent && !std::equal(&wanted[frame], &wanted[frame + 4], &captured[at + frame]))
      return ::testing::AssertionFailure() << "its start is not its own";
  }
  auto noise = [](uint8_t byte) { return byte != 0; };
  if (std::any_of(captured.begin(), captured.begin() + static_cast<std::ptrdiff_t>(at), noise))
    return ::testing::AssertionFailure() << "sound before it";
  if (std::any_of(captured.begin() + static_cast<std::ptrdiff_t>(at + wanted.size()),
                  captured.end(), noise))
    return ::testing::AssertionFailure() << "sound after it";
  return ::testing::AssertionSuccess();
}

void DeviceTest::SetUp() {
  ASSERT_TRUE(temp_.Made());
  folder_ = temp_.Path();
  unsetenv("CDAUDIO_DEVICE");
  TakePosted();
}

void DeviceTest::TearDown() {
  if (id_) Close();
}

mkdisc::DiscImage DeviceTest::MakeImage(const mkdisc::DiscImageSpec& spec,
                                        const std::string& name) {
  mkdisc::DiscImage image;
  std::string error;
  EXPECT_TRUE(mkdisc::WriteDiscImage(Path(name), spec, &image, &error)) << error;
  return image;
}

mkdisc::DiscImage DeviceTest::MakeTracks(std::vector<int> sectors) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = std::move(sectors);
  return MakeImage(spec);
}

void DeviceTest::WriteFile(const std::string& name, const std::string& text) const {
  std::ofstream(Path(name), std::ios::binary) << text;
}

void DeviceTest::CaptureOutput() {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", Path("capture.raw").c_str(), 1);
  unsetenv("SDL_DISKAUDIODELAY");  // the driver's own pace: a sound card's
}

void DeviceTest::ExpectRefused(const std::string& name, const std::string& contents,
                               const std::string& what) {
  WriteFile(name, contents);
  disc::Disc disc;
  std::string why;
  EXPECT_EQ(disc::LoadDisc(Path(name), &disc, &why), disc::DiscState::Unreadable) << what;
  EXPECT_EQ(why.find(Path(name)), 0u) << what << ": " << why;
  EXPECT_FALSE(disc.reader) << what;
}
