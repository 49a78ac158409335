// SPDX-License-Identifier: GPL-3.0-or-later
// The device's answers on generated disc images: opening and refusing,
// the table of contents, and broken images that must fail cleanly.
#include <cdio/cdio.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

DWORD Msf(int minutes, int seconds, int frames) {
  return static_cast<DWORD>(minutes | seconds << 8 | frames << 16);
}
DWORD Tmsf(int track) { return static_cast<DWORD>(track); }

bool MachineHasDrive() {
  char* drive = cdio_get_default_device(nullptr);
  free(drive);
  return drive != nullptr;
}

}  // namespace

TEST_F(DeviceTest, OpenFailsLikeThePlatformWhenThereIsNoDrive) {
  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = "cdaudio";
  if (!MachineHasDrive()) {
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open)),
              static_cast<MCIERROR>(266));
  }
  EXPECT_EQ(OpenSource(Path("no-such-disc.cue")), static_cast<MCIERROR>(MCIERR_CANNOT_LOAD_DRIVER));
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, 0),
            static_cast<MCIERROR>(MCIERR_NULL_PARAMETER_BLOCK));
  open.lpstrDeviceType = "waveaudio";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&open)),
            static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_NAME));
}

TEST_F(DeviceTest, OpenIsExclusiveAndEveryRequestNeedsAnOpenDeviceAndItsRecord) {
  MakeTracks({40, 30});
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);
  EXPECT_GE(id_, 1u);
  EXPECT_LE(id_, 16u);

  MCI_OPEN_PARMSA again = {};
  again.lpstrDeviceType = "CDAudio";
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, reinterpret_cast<DWORD_PTR>(&again)),
            static_cast<MCIERROR>(MCIERR_MUST_USE_SHAREABLE));

  DWORD_PTR value;
  EXPECT_EQ(mciSendCommandA(id_ + 7, MCI_STOP, 0, 0),
            static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
  EXPECT_EQ(mciSendCommandA(0, MCI_STATUS, MCI_STATUS_ITEM, 0),
            static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
  EXPECT_EQ(mciSendCommandA(id_, MCI_STATUS, MCI_STATUS_ITEM, 0),
            static_cast<MCIERROR>(MCIERR_NULL_PARAMETER_BLOCK));
  EXPECT_EQ(mciSendCommandA(id_, MCI_PLAY, MCI_FROM, 0),
            static_cast<MCIERROR>(MCIERR_NULL_PARAMETER_BLOCK));
  EXPECT_EQ(mciSendCommandA(id_, MCI_SET, MCI_SET_TIME_FORMAT, 0),
            static_cast<MCIERROR>(MCIERR_NULL_PARAMETER_BLOCK));
  EXPECT_EQ(Status(0, MCI_STATUS_NUMBER_OF_TRACKS, 0, &value),
            static_cast<MCIERROR>(MCIERR_MISSING_PARAMETER));
  EXPECT_EQ(Status(MCI_STATUS_ITEM, 0x7777, 0, &value),
            static_cast<MCIERROR>(MCIERR_UNSUPPORTED_FUNCTION));
  EXPECT_EQ(Status(MCI_STATUS_ITEM, MCI_CDA_STATUS_TYPE_TRACK, 1, &value),
            static_cast<MCIERROR>(MCIERR_MISSING_PARAMETER));
  EXPECT_EQ(SetTimeFormat(7), static_cast<MCIERROR>(MCIERR_BAD_TIME_FORMAT));
  EXPECT_EQ(mciSendCommandA(id_, 0x0899, 0, 0), static_cast<MCIERROR>(MCIERR_UNRECOGNIZED_COMMAND));

  MCIDEVICEID closed = id_;
  EXPECT_EQ(Close(), 0u);
  EXPECT_EQ(mciSendCommandA(closed, MCI_CLOSE, 0, 0),
            static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);  // the drive is free again
}

TEST_F(DeviceTest, AnswersCountTypesAndMsfLengthsWhateverTheTimeFormat) {
  // 300, 200 and 101 sectors, the last two with 20 sectors of pregap:
  // tracks start at 0, 320 and 520 and the disc ends at 601.
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {300, 200, 101};
  spec.pregap = 20;
  MakeImage(spec);
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);
  DWORD_PTR value;
  ASSERT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &value), 0u);
  EXPECT_EQ(value, 3u);
  for (DWORD track = 1; track <= 3; track++) {
    ASSERT_EQ(TrackType(track, &value), 0u);
    EXPECT_EQ(value, static_cast<DWORD_PTR>(MCI_CDA_TRACK_AUDIO)) << track;
  }
  EXPECT_EQ(TrackType(4, &value), static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
  EXPECT_EQ(TrackType(0, &value), static_cast<MCIERROR>(MCIERR_OUTOFRANGE));

  for (DWORD format : {MCI_FORMAT_MSF, MCI_FORMAT_TMSF}) {
    ASSERT_EQ(SetTimeFormat(format), 0u);
    ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 1, &value), 0u);
    EXPECT_EQ(value, Msf(0, 4, 20));  // up to the next track's INDEX 01, pregap included
    ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 2, &value), 0u);
    EXPECT_EQ(value, Msf(0, 2, 50));
    ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 3, &value), 0u);
    EXPECT_EQ(value, Msf(0, 1, 5));  // 81 sectors, one frame less for the last track
  }
  EXPECT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 4, &value),
            static_cast<MCIERROR>(MCIERR_OUTOFRANGE));
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_MILLISECONDS), 0u);
  ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 1, &value), 0u);
  EXPECT_EQ(value, 4266u);
}

TEST_F(DeviceTest, MixedDiscsShowTheirDataTracksAndNeverPlayThem) {
  mkdisc::DiscImageSpec dataFirst;
  dataFirst.dataFirst = 50;
  dataFirst.audioSectors = {100, 80};
  MakeImage(dataFirst, "mixed.cue");
  ASSERT_EQ(OpenSource(Path("mixed.cue")), 0u);
  DWORD_PTR value;
  ASSERT_EQ(TrackType(1, &value), 0u);
  EXPECT_EQ(value, static_cast<DWORD_PTR>(MCI_CDA_TRACK_OTHER));
  ASSERT_EQ(TrackType(2, &value), 0u);
  EXPECT_EQ(value, static_cast<DWORD_PTR>(MCI_CDA_TRACK_AUDIO));
  ASSERT_EQ(SetTimeFormat(MCI_FORMAT_TMSF), 0u);
  EXPECT_NE(Play(Tmsf(1), Tmsf(2), MCI_NOTIFY | MCI_FROM | MCI_TO, reinterpret_cast<HWND>(0x10)),
            0u);
  EXPECT_NE(Play(Tmsf(1), 0, MCI_NOTIFY | MCI_FROM, reinterpret_cast<HWND>(0x10)), 0u);
  ASSERT_EQ(Close(), 0u);
  EXPECT_TRUE(TakePosted().empty());

  // A CD-Extra: the last audio track's length leaves out the gap before
  // the data session.
  mkdisc::DiscImageSpec extra;
  extra.audioSectors = {100, 90};
  extra.dataSession = 40;
  MakeImage(extra, "extra.cue");
  ASSERT_EQ(OpenSource(Path("extra.cue")), 0u);
  ASSERT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &value), 0u);
  EXPECT_EQ(value, 3u);
  ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 2, &value), 0u);
  EXPECT_EQ(value, Msf(0, 1, 15));
  ASSERT_EQ(TrackType(3, &value), 0u);
  EXPECT_EQ(value, static_cast<DWORD_PTR>(MCI_CDA_TRACK_OTHER));
}

TEST_F(DeviceTest, TheCueSheetsFileLineNamesTheImage) {
  // The bin is not named after the cue, and a decoy that is stands beside
  // it: the device must read the one the FILE line names.
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {60, 45};
  spec.binName = "audio data.bin";
  MakeImage(spec, "disc.cue");
  WriteFile("disc.bin", std::string(10 * 2352, '\0'));
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);
  DWORD_PTR value;
  ASSERT_EQ(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &value), 0u);
  EXPECT_EQ(value, 2u);
  ASSERT_EQ(Status(MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, 2, &value), 0u);
  EXPECT_EQ(value, Msf(0, 0, 44));
}

TEST_F(DeviceTest, BrokenImagesAreDiscsWithoutAudioAndNothingIsReadPastTheirEnd) {
  mkdisc::DiscImage image = MakeTracks({60, 45, 30});
  std::string bin(60 * 2352, '\x11');
  const std::string track = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
  struct Case {
    const char* what;
    std::string cue;
  } cases[] = {
      {"tracks past the end of the bin",
       "FILE \"short.bin\" BINARY\n" + track + "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n"},
      {"overlapping tracks",
       "FILE \"short.bin\" BINARY\n" + track + "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"},
      {"a missing bin", "FILE \"gone.bin\" BINARY\n" + track},
      {"no tracks", "FILE \"short.bin\" BINARY\n"},
      {"an empty cue sheet", ""},
      {"a wave file", "FILE \"short.bin\" WAVE\n" + track},
      {"garbage", std::string("\x01\xff\x00 TRACK INDEX 99:99:99\n", 24)},
      {"no INDEX 01", "FILE \"short.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"},
  };
  WriteFile("short.bin", bin);
  for (const Case& bad : cases) {
    WriteFile("bad.cue", bad.cue);
    ASSERT_EQ(OpenSource(Path("bad.cue")), 0u) << bad.what;
    DWORD_PTR value;
    EXPECT_NE(TrackType(1, &value), 0u) << bad.what;
    EXPECT_NE(Status(MCI_STATUS_ITEM, MCI_STATUS_NUMBER_OF_TRACKS, 0, &value), 0u) << bad.what;
    EXPECT_NE(Play(1, 0, MCI_FROM | MCI_NOTIFY, reinterpret_cast<HWND>(0x10)), 0u) << bad.what;
    ASSERT_EQ(Close(), 0u);
  }

  // A bin cut short after it was made: the cue's last track now lies past
  // its end. A directory is no disc either.
  ASSERT_EQ(truncate(image.binPath.c_str(), 80 * 2352), 0);
  ASSERT_EQ(OpenSource(Path("disc.cue")), 0u);
  DWORD_PTR value;
  EXPECT_NE(TrackType(1, &value), 0u);
  ASSERT_EQ(Close(), 0u);
  ASSERT_EQ(OpenSource(Path("")), 0u);
  EXPECT_NE(TrackType(1, &value), 0u);
  EXPECT_TRUE(TakePosted().empty());
}
