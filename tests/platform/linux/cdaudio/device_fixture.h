// SPDX-License-Identifier: GPL-3.0-or-later
// The device tests' fixture: a folder of the test's own, disc images
// generated in it, and the device opened on them and asked as the player
// asks it (device_requests.h).
#ifndef KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_DEVICE_FIXTURE_H
#define KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_DEVICE_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/linux/cdaudio/device_requests.h"
#include "tests/platform/linux/cdaudio/posted.h"
#include "tests/temp_folder.h"
#include "tools/disc_image.h"

// `wanted` occurs once in `captured`, with nothing but silence around it.
// Its first `hidden` bytes may be silence in its place: a sound server's
// rewind keeps them from a recording of its sink.
::testing::AssertionResult SoundedAlone(const Bytes& captured, const Bytes& wanted,
                                        size_t hidden = 0);

class DeviceTest : public ::testing::Test, public DeviceRequests {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes an image in the test's own folder.
  mkdisc::DiscImage MakeImage(const mkdisc::DiscImageSpec& spec,
                              const std::string& name = "disc.cue");
  // An image of audio tracks of these lengths, in sectors, as disc.cue.
  mkdisc::DiscImage MakeTracks(std::vector<int> sectors);
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  void WriteFile(const std::string& name, const std::string& text) const;
  // Writes `contents` as `name` and expects the device to refuse it as a
  // disc, with a reason that names the file and no reader left behind.
  void ExpectRefused(const std::string& name, const std::string& contents, const std::string& what);

  // Sends the output to capture.raw through SDL's disk driver, paced in
  // real time like a sound card.
  void CaptureOutput();
  // What the output has written to capture.raw so far.
  Bytes Captured() const { return ReadBytes(Path("capture.raw")); }

 private:
  tests::TempFolder temp_{"korvane-cdaudio"};
  std::string folder_;
};

#endif
