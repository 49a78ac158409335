// SPDX-License-Identifier: GPL-3.0-or-later
// The drive reader, run over a disc image that libcdio
// opens as it would a drive: what it delivers must be the disc's samples,
// exactly, wherever the reads start and however they jump.
#include <cdio/cdio.h>

#include <utility>

#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/sources.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

using DriveReaderTest = DeviceTest;

TEST_F(DriveReaderTest, DeliversTheDiscsSamplesThroughParanoia) {
  // libcdio's image driver opens the bin named after the cue sheet.
  mkdisc::DiscImage image = MakeTracks({300, 200});
  disc::QuietCdio();
  disc::CdioHandle cdio(cdio_open(image.sheetPath.c_str(), DRIVER_BINCUE));
  ASSERT_NE(cdio, nullptr);
  std::unique_ptr<disc::SectorReader> reader;
  std::string why;
  ASSERT_TRUE(disc::OpenDriveReader(std::move(cdio), image.sectors, &reader, &why)) << why;
  ASSERT_NE(reader, nullptr);

  auto expectSectors = [&](int32_t lsn, int32_t count) {
    std::vector<uint8_t> read(static_cast<size_t>(count) * disc::SectorBytes);
    ASSERT_TRUE(reader->Read(lsn, count, read.data())) << lsn;
    EXPECT_TRUE(read == mkdisc::ReadBin(image.binPath, lsn, count)) << "sectors from " << lsn;
  };
  // Across the start of track 2, then on in sequence, then back.
  expectSectors(290, 20);
  expectSectors(310, 25);
  expectSectors(5, 3);
  // The last sectors of the disc, and not one past them.
  expectSectors(image.sectors - 4, 4);
  std::vector<uint8_t> past(2 * disc::SectorBytes);
  EXPECT_FALSE(reader->Read(image.sectors - 1, 2, past.data()));
  EXPECT_FALSE(reader->Read(-1, 1, past.data()));
}

}  // namespace
