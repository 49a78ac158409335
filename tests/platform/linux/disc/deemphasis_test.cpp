// SPDX-License-Identifier: GPL-3.0-or-later
// Tracks recorded with pre-emphasis, flagged in a cue sheet, a .toc or a
// drive's table of contents: played on the CD de-emphasis curve, checked
// against the analog curve and against sox's own de-emphasis, with the
// filter carried across a gapless change between two such tracks and the
// other tracks left bit-exact.
#include "platform/linux/disc/deemphasis.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/temp_folder.h"
#include "tools/disc_image.h"
#include "tools/simdrive/simdrive.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr double Pi = 3.14159265358979323846;
constexpr int Rate = 44100;

// The curve the filter follows, in dB: (1 + s·15 µs) / (1 + s·50 µs).
double AnalogDb(double hertz) {
  const std::complex<double> s(0, 2 * Pi * hertz);
  return 20 * std::log10(std::abs((1.0 + s * 15e-6) / (1.0 + s * 50e-6)));
}

// A tone of `hertz` at `amplitude`, `seconds` long, the same on both
// channels, as 16-bit little-endian stereo.
Bytes Tone(double hertz, double amplitude, double seconds) {
  Bytes pcm;
  for (int i = 0; i < static_cast<int>(seconds * Rate); i++) {
    const auto value =
        static_cast<int16_t>(std::lround(amplitude * std::sin(2 * Pi * hertz * i / Rate)));
    for (int channel = 0; channel < 2; channel++) {
      pcm.push_back(static_cast<uint8_t>(static_cast<uint16_t>(value) & 0xFF));
      pcm.push_back(static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8));
    }
  }
  return pcm;
}

// The left channel's RMS level from `skip` seconds in.
double Rms(const Bytes& pcm, double skip) {
  double sum = 0;
  size_t count = 0;
  for (size_t at = static_cast<size_t>(skip * Rate) * 4; at + 4 <= pcm.size(); at += 4) {
    const double value = static_cast<int16_t>(static_cast<uint16_t>(pcm[at] | pcm[at + 1] << 8));
    sum += value * value;
    count++;
  }
  return std::sqrt(sum / static_cast<double>(count));
}

Bytes Filtered(const Bytes& pcm) {
  disc::Deemphasis left, right;
  Bytes out = pcm;
  for (size_t at = 0; at + 4 <= out.size(); at += 4) {
    for (int channel = 0; channel < 2; channel++) {
      disc::Deemphasis& filter = channel == 0 ? left : right;
      uint8_t* bytes = &out[at + 2 * static_cast<size_t>(channel)];
      const auto value =
          filter.Filter(static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | bytes[1] << 8)));
      bytes[0] = static_cast<uint8_t>(static_cast<uint16_t>(value) & 0xFF);
      bytes[1] = static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8);
    }
  }
  return out;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class DeemphasisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    folder_ = temp_.Path();
  }
  void TearDown() override { simdrive::Install({}); }

  // Four tracks of two seconds, the middle two flagged.
  mkdisc::DiscImage MakeDisc(const std::string& name) {
    mkdisc::DiscImageSpec spec;
    spec.audioSectors = {150, 150, 150, 150};
    spec.preEmphasis = {1, 2};
    spec.toc = name.size() > 4 && name.substr(name.size() - 4) == ".toc";
    spec.swap = spec.toc;
    mkdisc::DiscImage image;
    std::string error;
    EXPECT_TRUE(mkdisc::WriteDiscImage(folder_ + "/" + name, spec, &image, &error)) << error;
    return image;
  }

  // The disc read whole, and in the pieces a player reads it in.
  void PlaysTheFlaggedTracksDeemphasised(const std::string& source, const Bytes& disc) {
    disc::Disc loaded;
    std::string why;
    ASSERT_EQ(disc::LoadDisc(source, &loaded, &why), disc::DiscState::Ready) << why;
    ASSERT_EQ(loaded.table.tracks.size(), 4u);
    EXPECT_FALSE(loaded.table.tracks[0].preEmphasis);
    EXPECT_TRUE(loaded.table.tracks[1].preEmphasis);
    EXPECT_TRUE(loaded.table.tracks[2].preEmphasis);
    EXPECT_FALSE(loaded.table.tracks[3].preEmphasis);

    const size_t track = 150 * 2352;
    Bytes whole(4 * track);
    ASSERT_TRUE(loaded.reader->Read(0, 600, whole.data()));
    // The flat tracks bit-exact; the flagged ones as one run of the filter
    // from track 2's first sample, across the change to track 3.
    EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + track, disc.begin()));
    EXPECT_TRUE(std::equal(whole.begin() + 3 * track, whole.end(), disc.begin() + 3 * track));
    const Bytes flagged = Filtered(Bytes(disc.begin() + track, disc.begin() + 3 * track));
    EXPECT_TRUE(std::equal(flagged.begin(), flagged.end(), whole.begin() + track));

    // In batches, as playback reads: the same bytes.
    Bytes pieces(whole.size());
    for (int32_t at = 0; at < 600; at += 13)
      ASSERT_TRUE(loaded.reader->Read(at, std::min(13, 600 - at), pieces.data() + at * 2352));
    EXPECT_EQ(pieces, whole);
    // A play that starts inside track 3 starts the filter there, with no
    // click: its first sample comes out as it went in.
    Bytes jumped(2352);
    ASSERT_TRUE(loaded.reader->Read(380, 1, jumped.data()));
    EXPECT_NEAR(static_cast<int16_t>(jumped[0] | jumped[1] << 8),
                static_cast<int16_t>(disc[380 * 2352] | disc[380 * 2352 + 1] << 8), 1);
  }

  tests::TempFolder temp_{"korvane-deemph"};
  std::string folder_;
};

TEST(DeemphasisFilterTest, FollowsTheCdCurveWithinATenthOfADecibelFrom20HzTo20kHz) {
  for (double hertz : {20.0, 100.0, 1000.0, 3183.0, 5000.0, 10000.0, 15000.0, 20000.0}) {
    const Bytes tone = Tone(hertz, 16000, 0.6);
    const double gainDb = 20 * std::log10(Rms(Filtered(tone), 0.1) / Rms(tone, 0.1));
    EXPECT_NEAR(gainDb, AnalogDb(hertz), 0.1) << hertz << " Hz";
  }
  // Full scale at the top of the band never wraps round.
  const Bytes loud = Tone(19000, 32767, 0.1);
  EXPECT_LE(Rms(Filtered(loud), 0.05), Rms(loud, 0.05));
}

// sox's "deemph" is another implementation of the same curve; tones and
// noise through both come out at the same levels.
TEST(DeemphasisFilterTest, AgreesWithSoxsDeemphasis) {
  const tests::TempFolder temp("korvane-sox");
  ASSERT_TRUE(temp.Made());
  const std::string& folder = temp.Path();
  Bytes input;
  for (double hertz : {100.0, 1000.0, 4000.0, 8000.0, 12000.0, 16000.0, 19000.0}) {
    const Bytes tone = Tone(hertz, 12000, 0.5);
    input.insert(input.end(), tone.begin(), tone.end());
  }
  uint32_t seed = 1;
  for (int i = 0; i < Rate / 2 * 2; i++) {  // half a second of white noise
    seed = seed * 1664525 + 1013904223;
    input.push_back(static_cast<uint8_t>(seed >> 8));
    input.push_back(static_cast<uint8_t>((seed >> 16) & 0x1F));  // about -16 dBFS
  }
  std::ofstream(folder + "/in.raw", std::ios::binary)
      .write(reinterpret_cast<const char*>(input.data()),
             static_cast<std::streamsize>(input.size()));
  const std::string raw = "-t raw -r 44100 -e signed -b 16 -c 2 -L ";
  ASSERT_EQ(system(("sox " + raw + folder + "/in.raw " + raw + folder + "/out.raw deemph").c_str()),
            0)
      << "sox (scripts/deps test) must be installed";
  const Bytes theirs = ReadFile(folder + "/out.raw");
  const Bytes ours = Filtered(input);
  ASSERT_EQ(theirs.size(), ours.size());
  const size_t piece = Rate / 2 * 4;
  for (size_t at = 0; at + piece <= ours.size(); at += piece) {
    const Bytes a(ours.begin() + at, ours.begin() + at + piece);
    const Bytes b(theirs.begin() + at, theirs.begin() + at + piece);
    EXPECT_NEAR(20 * std::log10(Rms(a, 0.05) / Rms(b, 0.05)), 0, 0.3) << "piece " << at / piece;
  }
}

TEST_F(DeemphasisTest, ACueSheetsFlagsPre) {
  const mkdisc::DiscImage image = MakeDisc("disc.cue");
  PlaysTheFlaggedTracksDeemphasised(image.sheetPath, ReadFile(image.binPath));
}

TEST_F(DeemphasisTest, ATocsPreEmphasis) {
  const mkdisc::DiscImage image = MakeDisc("disc.toc");
  Bytes disc = ReadFile(image.binPath);  // samples little-endian, marked SWAP
  PlaysTheFlaggedTracksDeemphasised(image.sheetPath, disc);
}

TEST_F(DeemphasisTest, ADrivesTableOfContents) {
  const mkdisc::DiscImage image = MakeDisc("disc.cue");
  simdrive::DriveSetup setup;
  setup.path = "/dev/sr0";
  setup.image = image.sheetPath;
  simdrive::Install({setup});
  PlaysTheFlaggedTracksDeemphasised("/dev/sr0", ReadFile(image.binPath));
}

}  // namespace
