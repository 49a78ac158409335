// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated drive as libcdio's GNU/Linux driver and paranoia meet it:
// found by the default search, its table of contents read through the
// kernel's ioctls, its samples read bit-exact through MMC packets, and
// every fault showing the way a real drive shows it.
#include "tools/simdrive/simdrive.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/temp_folder.h"
#include "tools/disc_image.h"
#include "tools/simdrive/journal.h"

namespace {

using Clock = std::chrono::steady_clock;

void Quiet(cdio_log_level_t, const char*) {}

class SimDriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cdio_log_set_handler(Quiet);
    ASSERT_TRUE(temp_.Made());
    folder_ = temp_.Path();
  }
  void TearDown() override { simdrive::Install({}); }

  // A disc of audio tracks, with a data track in a second session when
  // `dataSession` is non-zero, in the default drive with `faults`.
  mkdisc::DiscImage Insert(std::vector<int> tracks, const std::string& faults,
                           int dataSession = 0) {
    mkdisc::DiscImageSpec spec;
    spec.audioSectors = tracks;
    spec.dataSession = dataSession;
    mkdisc::DiscImage image;
    std::string error;
    EXPECT_TRUE(mkdisc::WriteDiscImage(folder_ + "/disc.cue", spec, &image, &error)) << error;
    unlink((folder_ + "/control").c_str());
    simdrive::DriveSetup setup;
    setup.path = "/dev/sr0";
    setup.image = image.sheetPath;
    setup.faults = faults;
    setup.control = folder_ + "/control";
    setup.journal = folder_ + "/journal";
    simdrive::Install({setup});
    return image;
  }

  void Control(const std::string& text) {
    std::string temporary = folder_ + "/control.new";
    std::ofstream(temporary) << text;
    ASSERT_EQ(rename(temporary.c_str(), (folder_ + "/control").c_str()), 0);
  }

  int JournalCount(const std::string& what) {
    return simdrive::JournalCount(folder_ + "/journal", what);
  }

  tests::TempFolder temp_{"simdrive-test"};
  std::string folder_;
};

std::vector<uint8_t> ReadAudio(CdIo_t* cdio, int32_t lsn, int32_t count, int* result) {
  std::vector<uint8_t> out(static_cast<size_t>(count) * disc::SectorBytes);
  *result = cdio_read_audio_sectors(cdio, out.data(), lsn, static_cast<uint32_t>(count));
  return out;
}

// An SG_IO request reading into `data`, with room for sense data in
// `sense` where it is given.
template <size_t CdbBytes, size_t DataBytes>
sg_io_hdr SgIoRead(uint8_t (&cdb)[CdbBytes], uint8_t (&data)[DataBytes], uint8_t* sense = nullptr,
                   unsigned char senseBytes = 0) {
  sg_io_hdr header{};
  header.interface_id = 'S';
  header.dxfer_direction = SG_DXFER_FROM_DEV;
  header.cmd_len = CdbBytes;
  header.cmdp = cdb;
  header.dxferp = data;
  header.dxfer_len = DataBytes;
  header.sbp = sense;
  header.mx_sb_len = senseBytes;
  return header;
}

TEST_F(SimDriveTest, TheGnuLinuxDriverFindsTheDriveAndReadsItsDiscExactly) {
  mkdisc::DiscImage image = Insert({300, 200, 150}, "", 400);
  char* found = cdio_get_default_device(nullptr);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found, "/dev/sr0");
  free(found);

  CdIo_t* cdio = cdio_open("/dev/sr0", DRIVER_UNKNOWN);
  ASSERT_NE(cdio, nullptr);
  EXPECT_EQ(cdio_get_driver_id(cdio), DRIVER_LINUX);
  EXPECT_EQ(cdio_get_first_track_num(cdio), 1);
  ASSERT_EQ(cdio_get_num_tracks(cdio), 4);
  for (int i = 0; i < 4; i++) {
    const mkdisc::DiscImageTrack& track = image.tracks[static_cast<size_t>(i)];
    track_t number = static_cast<track_t>(i + 1);
    EXPECT_EQ(cdio_get_track_lsn(cdio, number), track.start) << "track " << i + 1;
    EXPECT_EQ(cdio_get_track_format(cdio, number),
              track.audio ? TRACK_FORMAT_AUDIO : TRACK_FORMAT_DATA);
  }
  EXPECT_EQ(cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK), image.sectors);
  lsn_t lastSession = 0;
  ASSERT_EQ(cdio_get_last_session(cdio, &lastSession), DRIVER_OP_SUCCESS);
  EXPECT_EQ(lastSession, image.tracks[3].start);

  // Audio across the start of track 2, bit for bit.
  int result;
  std::vector<uint8_t> read = ReadAudio(cdio, 290, 20, &result);
  EXPECT_EQ(result, DRIVER_OP_SUCCESS);
  EXPECT_TRUE(read == mkdisc::ReadBin(image.binPath, 290, 20));
  // A data sector is not audio, the gap between the sessions is nowhere,
  // and nothing lies past the lead-out.
  ReadAudio(cdio, image.tracks[3].start, 1, &result);
  EXPECT_NE(result, DRIVER_OP_SUCCESS);
  EXPECT_EQ(mmc_get_cmd_len(0xBE), 12u);
  cdio_mmc_request_sense_t* sense = nullptr;
  ASSERT_GT(mmc_last_cmd_sense(cdio, &sense), 0);
  EXPECT_EQ(sense->sense_key, 5);
  EXPECT_EQ(sense->asc, 0x64);
  free(sense);
  ReadAudio(cdio, image.tracks[2].start + 150, 1, &result);
  EXPECT_NE(result, DRIVER_OP_SUCCESS);
  ReadAudio(cdio, image.sectors - 1, 2, &result);
  EXPECT_NE(result, DRIVER_OP_SUCCESS);

  // The speed asked for through the kernel is recorded.
  EXPECT_EQ(cdio_set_speed(cdio, 4), DRIVER_OP_SUCCESS);
  EXPECT_EQ(JournalCount("speed ioctl 4x"), 1);

  // Straight to the kernel (libcdio leaks a string naming an unknown
  // command): a packet no drive knows gets the answer drives give, and SET
  // CD SPEED needs the node open for writing.
  int fd = open("/dev/sr0", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  auto send = [&](std::vector<uint8_t> cdb, uint8_t* senseData) {
    cdrom_generic_command command = {};
    memcpy(command.cmd, cdb.data(), cdb.size());
    command.sense = reinterpret_cast<struct request_sense*>(senseData);
    command.data_direction = CGC_DATA_NONE;
    return ioctl(fd, CDROM_SEND_PACKET, &command);
  };
  uint8_t senseData[64] = {};
  EXPECT_EQ(send({0xEE}, senseData), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(senseData[2], 5);
  EXPECT_EQ(senseData[12], 0x20);
  EXPECT_EQ(send({0xBB, 0, 0x02, 0xC0, 0xFF, 0xFF}, senseData), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(JournalCount("SET_CD_SPEED 0xBB EPERM"), 1);
  close(fd);
  cdio_destroy(cdio);
  EXPECT_EQ(JournalCount("packet READ_CD"), 4);
}

TEST_F(SimDriveTest, ParanoiaReadsTheDiscAndMendsAScratchButADeepOneNeverReads) {
  mkdisc::DiscImage image = Insert({400, 300}, "speed=100;scratch=100-101:3");
  CdIo_t* cdio = cdio_open("/dev/sr0", DRIVER_UNKNOWN);
  ASSERT_NE(cdio, nullptr);
  cdrom_drive_t* drive = cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr);
  ASSERT_NE(drive, nullptr);
  ASSERT_EQ(cdio_cddap_open(drive), 0);
  EXPECT_EQ(cdio_cddap_tracks(drive), 2);
  EXPECT_EQ(cdio_cddap_track_firstsector(drive, 2), image.tracks[1].start);
  cdrom_paranoia_t* paranoia = cdio_paranoia_init(drive);
  cdio_paranoia_modeset(paranoia, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);

  // Track 1, scratch and all, comes out exact.
  int readsBefore = JournalCount("packet READ_CD");
  std::vector<uint8_t> track(400 * static_cast<size_t>(disc::SectorBytes));
  cdio_paranoia_seek(paranoia, 0, SEEK_SET);
  for (int i = 0; i < 400; i++) {
    int16_t* samples = cdio_paranoia_read_limited(paranoia, nullptr, 20);
    ASSERT_NE(samples, nullptr);
    memcpy(track.data() + static_cast<size_t>(i) * disc::SectorBytes, samples, disc::SectorBytes);
  }
  EXPECT_TRUE(track == mkdisc::ReadBin(image.binPath, 0, 400));
  EXPECT_GE(JournalCount("sense 3/11/00"), 3) << "the scratch failed its reads";

  // Sector 500 never reads, however often it is asked for.
  Control("scratch=500-500:always");
  int failuresBefore = JournalCount("sense 3/11/00");
  for (int i = 0; i < 10; i++) {
    int result;
    ReadAudio(cdio, 490 + i, 11, &result);
    EXPECT_NE(result, DRIVER_OP_SUCCESS);
  }
  EXPECT_EQ(JournalCount("sense 3/11/00") - failuresBefore, 10);
  int result;
  std::vector<uint8_t> after = ReadAudio(cdio, 501, 10, &result);
  EXPECT_EQ(result, DRIVER_OP_SUCCESS);
  EXPECT_TRUE(after == mkdisc::ReadBin(image.binPath, 501, 10));
  EXPECT_GT(JournalCount("packet READ_CD"), readsBefore);
  cdio_paranoia_free(paranoia);
  cdio_cddap_close_no_free_cdio(drive);
  cdio_destroy(cdio);
}

TEST_F(SimDriveTest, AnEmptyDriveAnOpenTrayAndALateDisc) {
  Insert({300}, "disc=out");
  char* found = cdio_get_default_device(nullptr);
  ASSERT_NE(found, nullptr) << "an empty drive is still a drive";
  free(found);
  CdIo_t* cdio = cdio_open("/dev/sr0", DRIVER_UNKNOWN);
  ASSERT_NE(cdio, nullptr);
  EXPECT_EQ(cdio_get_num_tracks(cdio), CDIO_INVALID_TRACK);
  cdio_destroy(cdio);
  // A blocking open of an empty drive fails as the kernel's does.
  EXPECT_EQ(open("/dev/sr0", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOMEDIUM);

  int fd = open("/dev/sr0", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_NO_DISC);
  Control("tray=open");
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_TRAY_OPEN);
  cdrom_tochdr header;
  EXPECT_EQ(ioctl(fd, CDROMREADTOCHDR, &header), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  Control("tray=closed;disc=in");
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_DISC_OK);
  EXPECT_EQ(ioctl(fd, CDROM_MEDIA_CHANGED, 0), 1);
  EXPECT_EQ(ioctl(fd, CDROMREADTOCHDR, &header), 0);
  EXPECT_EQ(header.cdth_trk1, 1);
  EXPECT_EQ(close(fd), 0);

  // A blocking open closes an open tray, as the kernel's autoclose does,
  // and finds the disc in it; unless autoclose is off.
  Control("tray=open;auto-close=no");
  EXPECT_EQ(open("/dev/sr0", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  Control("auto-close=yes");
  fd = open("/dev/sr0", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_DISC_OK);
  EXPECT_EQ(close(fd), 0);

  // A disc that arrives a moment after the drive first answers.
  Insert({300}, "insert-after=300");
  fd = open("/dev/sr0", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_NO_DISC);
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  EXPECT_EQ(ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT), CDS_DISC_OK);
  struct stat info;
  ASSERT_EQ(fstat(fd, &info), 0);
  EXPECT_TRUE(S_ISBLK(info.st_mode));
  close(fd);
}

TEST_F(SimDriveTest, SpinUpLatencyAndADiscTakenOutMidRead) {
  Insert({600}, "spin-up=400;spin-down=300;latency=30;eject-at=400");
  CdIo_t* cdio = cdio_open("/dev/sr0", DRIVER_UNKNOWN);
  ASSERT_NE(cdio, nullptr);
  auto timed = [&](int32_t lsn, int* result) {
    Clock::time_point start = Clock::now();
    ReadAudio(cdio, lsn, 10, result);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  int result;
  double first = timed(0, &result);
  EXPECT_EQ(result, DRIVER_OP_SUCCESS);
  double next = timed(10, &result);
  EXPECT_GE(first, 400 + 30);
  EXPECT_GE(next, 30);
  EXPECT_LT(next, 400) << "the disc was still spinning";
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  EXPECT_GE(timed(20, &result), 400) << "idle long enough, the disc stopped";

  // The read that reaches sector 400 finds the disc gone, and so does
  // every request after it.
  timed(395, &result);
  EXPECT_NE(result, DRIVER_OP_SUCCESS);
  timed(0, &result);
  EXPECT_NE(result, DRIVER_OP_SUCCESS);
  cdio_mmc_request_sense_t* sense = nullptr;
  ASSERT_GT(mmc_last_cmd_sense(cdio, &sense), 0);
  EXPECT_EQ(sense->sense_key, 2);
  EXPECT_EQ(sense->asc, 0x3A);
  free(sense);
  EXPECT_EQ(cdio_get_media_changed(cdio), 1);
  cdio_destroy(cdio);
  EXPECT_EQ(JournalCount("disc removed"), 1);
}

TEST_F(SimDriveTest, ANodeWithoutReadPermission) {
  Insert({300}, "permission=no");
  struct stat info;
  ASSERT_EQ(stat("/dev/sr0", &info), 0);
  EXPECT_TRUE(S_ISBLK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0660u);
  EXPECT_EQ(info.st_gid, 24u);
  EXPECT_EQ(access("/dev/sr0", F_OK), 0);
  EXPECT_EQ(access("/dev/sr0", R_OK), -1);
  EXPECT_EQ(open("/dev/sr0", O_RDONLY | O_NONBLOCK), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(cdio_open("/dev/sr0", DRIVER_UNKNOWN), nullptr);
  EXPECT_EQ(cdio_get_default_device(nullptr), nullptr);
  // Other files are the C library's as ever.
  EXPECT_EQ(stat("/dev/sr7", &info), -1);
  EXPECT_EQ(errno, ENOENT);
  int fd = open("/dev/null", O_RDONLY);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(close(fd), 0);
}

// As Wine meets the drive: its node is a file of its own, opened by
// another process under another name and handed over, and the drive's
// analog output plays when the program cannot play the samples itself.
TEST_F(SimDriveTest, ANodeOpenedElsewhereAndTheAnalogOutput) {
  mkdisc::DiscImage image = Insert({300, 150}, "");
  std::string node = folder_ + "/sr0", link = folder_ + "/d::";
  std::ofstream(node).close();
  ASSERT_EQ(symlink(node.c_str(), link.c_str()), 0);
  simdrive::DriveSetup setup;
  setup.path = node;
  setup.image = image.sheetPath;
  simdrive::Install({setup});

  struct stat info;
  ASSERT_EQ(stat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISBLK(info.st_mode));
  int fd = static_cast<int>(syscall(SYS_openat, AT_FDCWD, link.c_str(), O_RDONLY));  // not ours
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fstat(fd, &info), 0);
  EXPECT_TRUE(S_ISBLK(info.st_mode));
  cdrom_tochdr header{};
  ASSERT_EQ(ioctl(fd, CDROMREADTOCHDR, &header), 0);
  EXPECT_EQ(header.cdth_trk1, 2);

  auto subchannel = [&] {
    cdrom_subchnl channel{};
    channel.cdsc_format = CDROM_LBA;
    EXPECT_EQ(ioctl(fd, CDROMSUBCHNL, &channel), 0);
    return channel;
  };
  cdrom_msf range{0, 4, 0, 0, 5, 0};  // 00:04:00 to 00:05:00: sectors 150 to 225, one second
  ASSERT_EQ(ioctl(fd, CDROMPLAYMSF, &range), 0);
  cdrom_subchnl channel = subchannel();
  EXPECT_EQ(channel.cdsc_audiostatus, CDROM_AUDIO_PLAY);
  EXPECT_EQ(channel.cdsc_trk, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  channel = subchannel();
  EXPECT_EQ(channel.cdsc_audiostatus, CDROM_AUDIO_PLAY);
  EXPECT_GE(channel.cdsc_absaddr.lba, 150 + 25);  // in real time, give or take a busy machine
  EXPECT_LT(channel.cdsc_absaddr.lba, 225);
  ASSERT_EQ(ioctl(fd, CDROMPAUSE), 0);
  int32_t paused = subchannel().cdsc_absaddr.lba;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  channel = subchannel();
  EXPECT_EQ(channel.cdsc_audiostatus, CDROM_AUDIO_PAUSED);
  EXPECT_EQ(channel.cdsc_absaddr.lba, paused);
  ASSERT_EQ(ioctl(fd, CDROMRESUME), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  channel = subchannel();  // completed, told once, and the head at the end
  EXPECT_EQ(channel.cdsc_audiostatus, CDROM_AUDIO_COMPLETED);
  EXPECT_EQ(channel.cdsc_absaddr.lba, 225);
  EXPECT_EQ(subchannel().cdsc_audiostatus, CDROM_AUDIO_NO_STATUS);

  cdrom_msf intoTrackTwo{0, 6, 0, 0, 8, 0};  // track 2 starts at sector 300
  ASSERT_EQ(ioctl(fd, CDROMPLAYMSF, &intoTrackTwo), 0);
  ASSERT_EQ(ioctl(fd, CDROMSTOP), 0);
  channel = subchannel();
  EXPECT_EQ(channel.cdsc_audiostatus, CDROM_AUDIO_NO_STATUS);
  EXPECT_EQ(channel.cdsc_trk, 2);
  cdrom_msf pastTheEnd{0, 7, 0, 0, 9, 0};
  EXPECT_EQ(ioctl(fd, CDROMPLAYMSF, &pastTheEnd), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(close(fd), 0);

  // A duplicate of a descriptor this library opened is the drive too,
  // after the original is closed.
  int ours = open(link.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(ours, 0);
  int copy = dup(ours);
  ASSERT_GE(copy, 0);
  EXPECT_EQ(close(ours), 0);
  ASSERT_EQ(ioctl(copy, CDROMREADTOCHDR, &header), 0);
  EXPECT_EQ(close(copy), 0);
}

// SG_IO as the block layer answers it: the command's CHECK CONDITION is
// in the header with its sense data, not a failure of the call.
TEST_F(SimDriveTest, SgIoCarriesTheStatusAndSenseInItsHeader) {
  Insert({300}, "");
  int fd = open("/dev/sr0", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int version = 0;
  ASSERT_EQ(ioctl(fd, SG_GET_VERSION_NUM, &version), 0);
  EXPECT_GE(version, 30000);

  uint8_t cdb[12] = {0xBE, 0, 0, 0, 0x01, 0x2C, 0, 0, 1, 0x10};  // READ CD at LSN 300: past the end
  uint8_t data[2352], sense[32] = {};
  sg_io_hdr header = SgIoRead(cdb, data, sense, sizeof sense);
  ASSERT_EQ(ioctl(fd, SG_IO, &header), 0);
  EXPECT_EQ(header.status, 0x02);
  EXPECT_EQ(header.info & SG_INFO_CHECK, static_cast<unsigned>(SG_INFO_CHECK));
  EXPECT_GE(header.sb_len_wr, 14);
  EXPECT_EQ(sense[2] & 0x0F, 0x05);  // ILLEGAL REQUEST
  EXPECT_EQ(sense[12], 0x21);        // LOGICAL BLOCK ADDRESS OUT OF RANGE
  EXPECT_EQ(header.resid, static_cast<int>(sizeof data));

  cdb[5] = 0x00;  // LSN 256: on the disc
  ASSERT_EQ(ioctl(fd, SG_IO, &header), 0);
  EXPECT_EQ(header.status, 0);
  EXPECT_EQ(header.resid, 0);
  EXPECT_EQ(close(fd), 0);
}

// The mode pages a drive has: error recovery, CD parameters, audio control
// and capabilities, each alone or all at once; MODE SELECT, allowed only on
// a node opened for writing as the kernel allows it, changes the volume
// that CDROMVOLREAD then reads; the analog output played and followed
// through packets.
TEST_F(SimDriveTest, ModePagesAndTheAnalogOutputThroughPackets) {
  Insert({300}, "");
  auto run = [](int fd, std::vector<uint8_t> cdb, uint8_t* data, size_t size, int direction) {
    sg_io_hdr header{};
    header.interface_id = 'S';
    header.dxfer_direction = direction;
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.cmdp = cdb.data();
    header.dxferp = data;
    header.dxfer_len = static_cast<unsigned>(size);
    if (ioctl(fd, SG_IO, &header) != 0) return -errno;
    return static_cast<int>(header.status);
  };
  int fd = open("/dev/sr0", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  uint8_t page[256] = {};
  ASSERT_EQ(run(fd, {0x5A, 0, 0x3F, 0, 0, 0, 0, 1, 0, 0}, page, sizeof page, SG_DXFER_FROM_DEV), 0);
  std::vector<int> pages;
  for (size_t at = 8; at + 2 <= 8 + static_cast<size_t>(page[0] << 8 | page[1]) - 6;
       at += 2 + page[at + 1])
    pages.push_back(page[at] & 0x3F);
  EXPECT_EQ(pages, (std::vector<int>{0x01, 0x0D, 0x0E, 0x2A}));
  ASSERT_EQ(run(fd, {0x5A, 0, 0x0E, 0, 0, 0, 0, 0, 24, 0}, page, 24, SG_DXFER_FROM_DEV), 0);
  EXPECT_EQ(page[8], 0x0E);
  EXPECT_EQ(page[17], 0xFF);  // port 0 at full volume
  EXPECT_NE(run(fd, {0x5A, 0, 0x05, 0, 0, 0, 0, 0, 24, 0}, page, 24, SG_DXFER_FROM_DEV), 0)
      << "no write parameters page on a reader";

  page[17] = 0x40;
  page[19] = 0x80;
  page[0] = page[1] = 0;
  EXPECT_EQ(run(fd, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 24, 0}, page, 24, SG_DXFER_TO_DEV), -EPERM);
  const int writable = open("/dev/sr0", O_RDWR | O_NONBLOCK);
  ASSERT_GE(writable, 0);
  EXPECT_EQ(run(writable, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 24, 0}, page, 24, SG_DXFER_TO_DEV), 0);
  cdrom_volctrl volume{};
  ASSERT_EQ(ioctl(fd, CDROMVOLREAD, &volume), 0);
  EXPECT_EQ(volume.channel0, 0x40);
  EXPECT_EQ(volume.channel1, 0x80);
  EXPECT_EQ(close(writable), 0);

  // PLAY AUDIO MSF from 00:02:00 to the end, 00:06:00, and READ SUB-CHANNEL's
  // current position (LBA) moving on with it.
  ASSERT_EQ(run(fd, {0x47, 0, 0, 0, 2, 0, 0, 6, 0, 0}, nullptr, 0, SG_DXFER_NONE), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  uint8_t position[16] = {};
  ASSERT_EQ(run(fd, {0x42, 0, 0x40, 1, 0, 0, 0, 0, 16, 0}, position, 16, SG_DXFER_FROM_DEV), 0);
  EXPECT_EQ(position[1], 0x11);  // playing
  EXPECT_EQ(position[6], 1);     // track 1
  const uint32_t at = static_cast<uint32_t>(position[8] << 24 | position[9] << 16 |
                                            position[10] << 8 | position[11]);
  EXPECT_GE(at, 10u);
  EXPECT_LT(at, 300u);  // not yet at the end
  EXPECT_EQ(close(fd), 0);
}

// Every request the drive answers is journalled under its own name, the
// same for an ioctl and for a packet through either path, and one it does
// not know is refused as a drive and the kernel refuse it: ENOTTY for an
// ioctl, INVALID COMMAND OPERATION CODE for a packet.
TEST_F(SimDriveTest, TheJournalNamesEveryRequestAndTheUnknownAreRefused) {
  Insert({300}, "");
  const int fd = open("/dev/sr0", O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  struct Known {
    unsigned long request;
    const char* name;
  };
  // Those that take their argument by value or eject the disc come last.
  const Known ioctls[] = {
      {CDROM_GET_CAPABILITY, "CDROM_GET_CAPABILITY"},
      {CDROM_DRIVE_STATUS, "CDROM_DRIVE_STATUS"},
      {CDROM_DISC_STATUS, "CDROM_DISC_STATUS"},
      {CDROM_MEDIA_CHANGED, "CDROM_MEDIA_CHANGED"},
      {CDROMREADTOCHDR, "CDROMREADTOCHDR"},
      {CDROMREADTOCENTRY, "CDROMREADTOCENTRY"},
      {CDROMMULTISESSION, "CDROMMULTISESSION"},
      {CDROMREADAUDIO, "CDROMREADAUDIO"},
      {CDROM_LOCKDOOR, "CDROM_LOCKDOOR"},
      {CDROM_GET_MCN, "CDROM_GET_MCN"},
      {CDROMVOLREAD, "CDROMVOLREAD"},
      {CDROMVOLCTRL, "CDROMVOLCTRL"},
      {CDROMSUBCHNL, "CDROMSUBCHNL"},
      {CDROMPLAYMSF, "CDROMPLAYMSF"},
      {CDROMSTART, "CDROMSTART"},
      {CDROMSTOP, "CDROMSTOP"},
      {CDROMPAUSE, "CDROMPAUSE"},
      {CDROMRESUME, "CDROMRESUME"},
      {SCSI_IOCTL_GET_IDLUN, "SCSI_IOCTL_GET_IDLUN"},
      {SCSI_IOCTL_GET_BUS_NUMBER, "SCSI_IOCTL_GET_BUS_NUMBER"},
      {SG_GET_VERSION_NUM, "SG_GET_VERSION_NUM"},
      {SG_EMULATED_HOST, "SG_EMULATED_HOST"},
      {SG_SET_TIMEOUT, "SG_SET_TIMEOUT"},
      {SG_GET_TIMEOUT, "SG_GET_TIMEOUT"},
      {SG_GET_RESERVED_SIZE, "SG_GET_RESERVED_SIZE"},
      {SG_SET_RESERVED_SIZE, "SG_SET_RESERVED_SIZE"},
      {CDROM_SELECT_SPEED, "CDROM_SELECT_SPEED"},
      {CDROMEJECT, "CDROMEJECT"},
      {CDROMCLOSETRAY, "CDROMCLOSETRAY"},
  };
  for (const Known& known : ioctls) {
    // Room for the largest argument, zeroed: each request answers it,
    // well or with an error, and is journalled either way.
    alignas(8) uint8_t argument[512] = {};
    void* pointer = known.request == CDROM_SELECT_SPEED ? nullptr : argument;
    ioctl(fd, known.request, pointer);
    char line[96];
    snprintf(line, sizeof line, "ioctl %s 0x%lx ", known.name, known.request);
    EXPECT_EQ(JournalCount(line), 1) << known.name;
  }
  EXPECT_EQ(ioctl(fd, CDROMREADTOCHDR + 0x40, nullptr), -1);
  EXPECT_EQ(errno, ENOTTY);
  char unknown[64];
  snprintf(unknown, sizeof unknown, "ioctl unknown 0x%lx ENOTTY",
           static_cast<unsigned long>(CDROMREADTOCHDR + 0x40));
  EXPECT_EQ(JournalCount(unknown), 1);

  const Known packets[] = {
      {0x00, "TEST_UNIT_READY"},   {0x03, "REQUEST_SENSE"},
      {0x12, "INQUIRY"},           {0x15, "MODE_SELECT_6"},
      {0x1A, "MODE_SENSE_6"},      {0x1E, "PREVENT_ALLOW"},
      {0x25, "READ_CAPACITY"},     {0x28, "READ_10"},
      {0x42, "READ_SUBCHANNEL"},   {0x43, "READ_TOC"},
      {0x46, "GET_CONFIGURATION"}, {0x47, "PLAY_AUDIO_MSF"},
      {0x4A, "GET_EVENT_STATUS"},  {0x51, "READ_DISC_INFORMATION"},
      {0x55, "MODE_SELECT_10"},    {0x5A, "MODE_SENSE_10"},
      {0xB6, "SET_STREAMING"},     {0xB9, "READ_CD_MSF"},
      {0xBB, "SET_CD_SPEED"},      {0xBD, "MECHANISM_STATUS"},
      {0xBE, "READ_CD"},           {0x1B, "START_STOP_UNIT"},
  };
  uint8_t reply[256];
  for (const Known& known : packets) {
    for (const char* via : {"packet", "sg_io"}) {
      uint8_t cdb[12] = {static_cast<uint8_t>(known.request)};
      if (strcmp(via, "packet") == 0) {
        cdrom_generic_command command{};
        memcpy(command.cmd, cdb, sizeof cdb);
        command.buffer = reply;
        command.buflen = sizeof reply;
        ioctl(fd, CDROM_SEND_PACKET, &command);
      } else {
        sg_io_hdr header = SgIoRead(cdb, reply);
        EXPECT_EQ(ioctl(fd, SG_IO, &header), 0) << known.name;
      }
      char line[96];
      snprintf(line, sizeof line, "%s %s 0x%02lX ", via, known.name, known.request);
      EXPECT_EQ(JournalCount(line), 1) << line;
    }
  }
  uint8_t cdb[12] = {0xA8};  // READ (12): not a command this drive knows
  uint8_t sense[32] = {};
  sg_io_hdr header = SgIoRead(cdb, reply, sense, sizeof sense);
  ASSERT_EQ(ioctl(fd, SG_IO, &header), 0);
  EXPECT_EQ(header.status, 0x02);
  EXPECT_EQ(sense[2] & 0x0F, 0x05);  // ILLEGAL REQUEST
  EXPECT_EQ(sense[12], 0x20);        // INVALID COMMAND OPERATION CODE
  EXPECT_EQ(JournalCount("sg_io unknown 0xA8 sense 5/20/00"), 1);
  EXPECT_EQ(JournalCount("ioctl CDROM_SEND_PACKET"), 0) << "a packet is journalled as itself";
  EXPECT_EQ(JournalCount("ioctl SG_IO"), 0);
  EXPECT_EQ(close(fd), 0);
}

}  // namespace
