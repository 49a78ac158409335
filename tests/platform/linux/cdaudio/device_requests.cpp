// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/linux/cdaudio/device_requests.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

size_t FindBytes(const Bytes& haystack, const Bytes& needle) {
  auto at = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
  return at == haystack.end() ? std::string::npos : static_cast<size_t>(at - haystack.begin());
}

size_t Matching(const Bytes& captured, size_t at, const Bytes& wanted, size_t length) {
  while (at + length < captured.size() && length < wanted.size() &&
         captured[at + length] == wanted[length])
    length++;
  return length;
}

MCIERROR DeviceRequests::OpenSource(const std::string& source) {
  setenv("CDAUDIO_DEVICE", source.c_str(), 1);
  return SendOpen();
}

MCIERROR DeviceRequests::OpenDefault() {
  unsetenv("CDAUDIO_DEVICE");
  return SendOpen();
}

MCIERROR DeviceRequests::SendOpen() {
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = "cdaudio";
  MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open));
  if (error == 0) id_ = open.wDeviceID;
  return error;
}

MCIERROR DeviceRequests::Status(DWORD flags, DWORD item, DWORD track, DWORD_PTR* value) {
  MCI_STATUS_PARMS status = {};
  status.dwItem = item;
  status.dwTrack = track;
  status.dwReturn = 0xDEADBEEF;
  MCIERROR error = mciSendCommandA(id_, MCI_STATUS, flags, reinterpret_cast<DWORD_PTR>(&status));
  *value = status.dwReturn;
  return error;
}

MCIERROR DeviceRequests::TrackType(DWORD track, DWORD_PTR* type) {
  return Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_CDA_STATUS_TYPE_TRACK, track, type);
}

MCIERROR DeviceRequests::SetTimeFormat(DWORD format) {
  MCI_SET_PARMS set = {};
  set.dwTimeFormat = format;
  return mciSendCommandA(id_, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
}

MCIERROR DeviceRequests::Play(DWORD from, DWORD to, DWORD flags, HWND window) {
  MCI_PLAY_PARMS play = {};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  play.dwFrom = from;
  play.dwTo = to;
  return mciSendCommandA(id_, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&play));
}

MCIERROR DeviceRequests::PlayTrack(DWORD track, DWORD count, HWND window) {
  return Play(track, track + 1, MCI_NOTIFY | MCI_FROM | (track < count ? MCI_TO : 0), window);
}

MCIERROR DeviceRequests::Stop(DWORD flags, HWND window) {
  MCI_GENERIC_PARMS stop = {};
  stop.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  return mciSendCommandA(id_, MCI_STOP, flags, flags ? reinterpret_cast<DWORD_PTR>(&stop) : 0);
}

MCIERROR DeviceRequests::Close() {
  MCIERROR error = mciSendCommandA(id_, MCI_CLOSE, 0, 0);
  id_ = 0;
  return error;
}
