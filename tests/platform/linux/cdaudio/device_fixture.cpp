#include "tests/platform/linux/cdaudio/device_fixture.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>

#include "platform/linux/disc/disc.h"

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void DeviceTest::SetUp() {
  char pattern[] = "/tmp/korvane-cdaudio-XXXXXX";
  ASSERT_TRUE(mkdtemp(pattern));
  folder_ = pattern;
  unsetenv("CDAUDIO_DEVICE");
  TakePosted();
}

void DeviceTest::TearDown() {
  if (id_) Close();
  std::string command = "rm -rf '" + folder_ + "'";
  ASSERT_EQ(system(command.c_str()), 0);
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

MCIERROR DeviceTest::OpenSource(const std::string& source) {
  setenv("CDAUDIO_DEVICE", source.c_str(), 1);
  return SendOpen();
}

MCIERROR DeviceTest::OpenDefault() {
  unsetenv("CDAUDIO_DEVICE");
  return SendOpen();
}

MCIERROR DeviceTest::SendOpen() {
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = "cdaudio";
  MCIERROR error = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open));
  if (error == 0) id_ = open.wDeviceID;
  return error;
}

MCIERROR DeviceTest::Status(DWORD flags, DWORD item, DWORD track, DWORD_PTR* value) {
  MCI_STATUS_PARMS status = {};
  status.dwItem = item;
  status.dwTrack = track;
  status.dwReturn = 0xDEADBEEF;
  MCIERROR error = mciSendCommandA(id_, MCI_STATUS, flags, reinterpret_cast<DWORD_PTR>(&status));
  *value = status.dwReturn;
  return error;
}

MCIERROR DeviceTest::TrackType(DWORD track, DWORD_PTR* type) {
  return Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_CDA_STATUS_TYPE_TRACK, track, type);
}

MCIERROR DeviceTest::SetTimeFormat(DWORD format) {
  MCI_SET_PARMS set = {};
  set.dwTimeFormat = format;
  return mciSendCommandA(id_, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&set));
}

MCIERROR DeviceTest::Play(DWORD from, DWORD to, DWORD flags, HWND window) {
  MCI_PLAY_PARMS play = {};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  play.dwFrom = from;
  play.dwTo = to;
  return mciSendCommandA(id_, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&play));
}

MCIERROR DeviceTest::Stop(DWORD flags, HWND window) {
  MCI_GENERIC_PARMS stop = {};
  stop.dwCallback = reinterpret_cast<DWORD_PTR>(window);
  return mciSendCommandA(id_, MCI_STOP, flags, flags ? reinterpret_cast<DWORD_PTR>(&stop) : 0);
}

MCIERROR DeviceTest::Close() {
  MCIERROR error = mciSendCommandA(id_, MCI_CLOSE, 0, 0);
  id_ = 0;
  return error;
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
