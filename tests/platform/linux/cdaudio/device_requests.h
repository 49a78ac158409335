// SPDX-License-Identifier: GPL-3.0-or-later
// The requests the player sends the "cdaudio" device, and reading back
// what its output wrote. Free of the test framework, so that the device
// benchmarks ask the device exactly as the tests do.
#ifndef KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_DEVICE_REQUESTS_H
#define KORVANE_TESTS_PLATFORM_LINUX_CDAUDIO_DEVICE_REQUESTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

using Bytes = std::vector<uint8_t>;

// The whole of the file at `path`; empty when there is none.
Bytes ReadBytes(const std::string& path);
// Where `needle` first occurs in `haystack`; npos when it does not.
size_t FindBytes(const Bytes& haystack, const Bytes& needle);
// How far `wanted` runs on unchanged in `captured` from `at`, checked
// from its byte `length` on.
size_t Matching(const Bytes& captured, size_t at, const Bytes& wanted, size_t length = 0);

// One device, opened and asked as the player asks it.
class DeviceRequests {
 public:
  // Opens "cdaudio" on `source` through CDAUDIO_DEVICE; returns the error.
  MCIERROR OpenSource(const std::string& source);
  // Opens the default drive, as the player does: no device named.
  MCIERROR OpenDefault();
  MCIERROR Status(DWORD flags, DWORD item, DWORD track, DWORD_PTR* value);
  MCIERROR TrackType(DWORD track, DWORD_PTR* type);
  MCIERROR SetTimeFormat(DWORD format);
  MCIERROR Play(DWORD from, DWORD to, DWORD flags, HWND window);
  // As the player plays a track (TMSF) of a disc of `count`: to the start
  // of the next, the last one without MCI_TO; its success notified.
  MCIERROR PlayTrack(DWORD track, DWORD count, HWND window);
  MCIERROR Stop(DWORD flags = 0, HWND window = nullptr);
  MCIERROR Close();

 protected:
  MCIDEVICEID id_ = 0;

 private:
  // MCI_OPEN of "cdaudio" with no element: the source CDAUDIO_DEVICE names.
  MCIERROR SendOpen();
};

#endif
