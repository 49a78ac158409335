// SPDX-License-Identifier: GPL-3.0-or-later
// Nero images are read by the device alone: libcdio is never asked to
// open one, nor to parse its CD-Text. Its entry points are wrapped here,
// counting each call before passing it on; a drive's node shows that the
// count sees what goes to libcdio.
#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/linux/disc/disc.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

int calls = 0;

template <typename Function>
Function Real(const char* name) {
  calls++;
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// NOLINTBEGIN(readability-identifier-naming): libcdio's own names
extern "C" CdIo_t* cdio_open(const char* source, driver_id_t driver) {
  return Real<CdIo_t* (*)(const char*, driver_id_t)>("cdio_open")(source, driver);
}
extern "C" CdIo_t* cdio_open_am(const char* source, driver_id_t driver, const char* mode) {
  return Real<CdIo_t* (*)(const char*, driver_id_t, const char*)>("cdio_open_am")(source, driver,
                                                                                  mode);
}
extern "C" CdIo_t* cdio_open_nrg(const char* source) {
  return Real<CdIo_t* (*)(const char*)>("cdio_open_nrg")(source);
}
extern "C" CdIo_t* cdio_open_am_nrg(const char* source, const char* mode) {
  return Real<CdIo_t* (*)(const char*, const char*)>("cdio_open_am_nrg")(source, mode);
}
extern "C" int cdtext_data_init(cdtext_t* text, uint8_t* data, size_t size) {
  return Real<int (*)(cdtext_t*, uint8_t*, size_t)>("cdtext_data_init")(text, data, size);
}
// NOLINTEND(readability-identifier-naming)

namespace {

class NrgWithoutLibcdioTest : public DeviceTest {};

TEST_F(NrgWithoutLibcdioTest, NoNeroImageReachesLibcdio) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {40, 30};
  spec.nrg = true;
  spec.text.disc = {"Dawn Songs", "Mika"};
  disc::Disc disc;
  std::string why;
  calls = 0;
  for (const mkdisc::NrgLayout layout : {mkdisc::NrgLayout::DaoNew, mkdisc::NrgLayout::DaoOld,
                                         mkdisc::NrgLayout::TaoNew, mkdisc::NrgLayout::TaoOld}) {
    spec.nrgLayout = layout;
    const mkdisc::DiscImage image = MakeImage(spec, "disc.nrg");
    ASSERT_EQ(disc::LoadDisc(image.sheetPath, &disc, &why), disc::DiscState::Ready) << why;
    EXPECT_EQ(disc.text.disc.title, "Dawn Songs");
    // Named otherwise, and damaged: still never libcdio's.
    const Bytes bytes = ReadBytes(image.sheetPath);
    WriteFile("disc.img", std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(disc::LoadDisc(Path("disc.img"), &disc, &why), disc::DiscState::Ready) << why;
  }
  WriteFile("bad.nrg", std::string(5000, 'N') + "NER5" + std::string(8, '\xff'));
  EXPECT_EQ(disc::LoadDisc(Path("bad.nrg"), &disc, &why), disc::DiscState::Unreadable);
  EXPECT_EQ(calls, 0);

  // A device node goes to libcdio, and the count sees it.
  EXPECT_NE(disc::LoadDisc("/dev/null", &disc, &why), disc::DiscState::Ready);
  EXPECT_GT(calls, 0);
}

}  // namespace
