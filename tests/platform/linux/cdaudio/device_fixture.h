// Opening the device on generated disc images and asking it things.
#ifndef KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_DEVICE_FIXTURE_H
#define KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_DEVICE_FIXTURE_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/linux/cdaudio/posted.h"
#include "tools/disc_image.h"

using Bytes = std::vector<uint8_t>;

// The whole of the file at `path`; empty when there is none.
Bytes ReadBytes(const std::string& path);
// Where `needle` first occurs in `haystack`; npos when it does not.
size_t FindBytes(const Bytes& haystack, const Bytes& needle);
// How far `wanted` runs on unchanged in `captured` from `at`, checked
// from its byte `length` on.
size_t Matching(const Bytes& captured, size_t at, const Bytes& wanted, size_t length = 0);
// `wanted` occurs once in `captured`, with nothing but silence around it.
// Its first `hidden` bytes may be silence in its place: a sound server's
// rewind keeps them from a recording of its sink.
::testing::AssertionResult SoundedAlone(const Bytes& captured, const Bytes& wanted,
                                        size_t hidden = 0);

class DeviceTest : public ::testing::Test {
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

  // Opens "cdaudio" on `source` through CDAUDIO_DEVICE; returns the error.
  MCIERROR OpenSource(const std::string& source);
  // Opens the default drive, as the player does: no device named.
  MCIERROR OpenDefault();
  MCIERROR Status(DWORD flags, DWORD item, DWORD track, DWORD_PTR* value);
  MCIERROR TrackType(DWORD track, DWORD_PTR* type);
  MCIERROR SetTimeFormat(DWORD format);
  MCIERROR Play(DWORD from, DWORD to, DWORD flags, HWND window);
  MCIERROR Stop(DWORD flags = 0, HWND window = nullptr);
  MCIERROR Close();

  MCIDEVICEID id_ = 0;

 private:
  // MCI_OPEN of "cdaudio" with no element: the source CDAUDIO_DEVICE names.
  MCIERROR SendOpen();

  std::string folder_;
};

#endif
