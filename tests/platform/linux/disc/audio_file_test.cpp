// SPDX-License-Identifier: GPL-3.0-or-later
// Audio files decoded as a CD's samples: bit-exact for 16-bit stereo at
// 44100 Hz in every lossless container, silence past the end, and a refusal
// naming the file for everything else.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/disc/sources.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"
#include "tools/audio_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Samples that differ everywhere, full scale both ways included.
Bytes Noise(size_t frames, uint32_t seed) {
  Bytes bytes(frames * 4);
  for (size_t i = 0; i < bytes.size(); i++) {
    seed = seed * 1664525u + 1013904223u;
    bytes[i] = static_cast<uint8_t>(seed >> 24);
  }
  if (frames > 2) {
    bytes[0] = 0x00, bytes[1] = 0x80;  // -32768
    bytes[4] = 0xFF, bytes[5] = 0x7F;  // 32767
  }
  return bytes;
}

class AudioFileTest : public DeviceTest {
 protected:
  std::string Write(const std::string& name, const Bytes& samples, mkdisc::AudioShape shape) {
    std::string error;
    EXPECT_TRUE(mkdisc::WriteAudioFile(Path(name), samples, shape, &error)) << error;
    return Path(name);
  }

  std::string Refusal(const std::string& path) {
    disc::AudioFile file;
    std::string why;
    EXPECT_FALSE(file.Open(path, &why));
    return why;
  }
};

TEST_F(AudioFileTest, LosslessFilesReadSampleForSampleFromAnyFrame) {
  // An odd length: the last 588-sample sector of a track is cut short.
  const size_t frames = 44100 + 123;
  Bytes samples = Noise(frames, 7);
  for (const char* type : {"wav", "flac", "aiff"}) {
    SCOPED_TRACE(type);
    std::string path = Write(std::string("track.") + type, samples, mkdisc::CdShape(type));
    disc::AudioFile file;
    std::string why;
    ASSERT_TRUE(file.Open(path, &why)) << why;
    EXPECT_EQ(file.Frames(), static_cast<int64_t>(frames));

    Bytes all(frames * 4);
    ASSERT_TRUE(file.Read(0, static_cast<int64_t>(frames), all.data()));
    EXPECT_TRUE(all == samples);

    // Backwards and forwards, as a seek does, then past the end.
    Bytes piece(1000 * 4, 0xAA);
    for (int64_t from : {30000, 588, 44000}) {
      ASSERT_TRUE(file.Read(from, 100, piece.data()));
      EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + 400, samples.begin() + from * 4))
          << "from " << from;
    }
    ASSERT_TRUE(file.Read(static_cast<int64_t>(frames) - 10, 1000, piece.data()));
    EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + 40, samples.end() - 40));
    EXPECT_TRUE(std::all_of(piece.begin() + 40, piece.end(), [](uint8_t b) { return b == 0; }));
    ASSERT_TRUE(file.Read(static_cast<int64_t>(frames) + 5000, 10, piece.data()));
    EXPECT_TRUE(std::all_of(piece.begin(), piece.begin() + 40, [](uint8_t b) { return b == 0; }));
  }
}

TEST_F(AudioFileTest, LossyFilesDecodeToCdSamples) {
  std::string path = Write("track.ogg", Noise(44100, 3), mkdisc::CdShape("ogg"));
  disc::AudioFile file;
  std::string why;
  ASSERT_TRUE(file.Open(path, &why)) << why;
  EXPECT_NEAR(static_cast<double>(file.Frames()), 44100, 2000);
  Bytes all(static_cast<size_t>(file.Frames()) * 4);
  EXPECT_TRUE(file.Read(0, file.Frames(), all.data()));
}

TEST_F(AudioFileTest, OtherShapesAndUnreadableFilesAreRefusedNamingTheFile) {
  Bytes samples = Noise(4410, 5);
  mkdisc::AudioShape rate = mkdisc::CdShape("flac");
  rate.rate = 48000;
  std::string why = Refusal(Write("rate.flac", samples, rate));
  EXPECT_NE(why.find(Path("rate.flac")), std::string::npos) << why;
  EXPECT_NE(why.find("48000 Hz"), std::string::npos) << why;

  mkdisc::AudioShape mono = mkdisc::CdShape("wav");
  mono.channels = 1;
  why = Refusal(Write("mono.wav", samples, mono));
  EXPECT_NE(why.find(Path("mono.wav")), std::string::npos) << why;
  EXPECT_NE(why.find("1 channel"), std::string::npos) << why;

  mkdisc::AudioShape deep = mkdisc::CdShape("wav");
  deep.format = (deep.format & ~0xFFFF) | 0x0003;  // 24-bit PCM
  why = Refusal(Write("deep.wav", samples, deep));
  EXPECT_NE(why.find(Path("deep.wav")), std::string::npos) << why;
  EXPECT_NE(why.find("24 bit"), std::string::npos) << why;

  // Monkey's Audio, which libsndfile does not read, and a truncated header.
  WriteFile("album.ape", std::string("MAC \x96\x0f\0\0", 8) + std::string(4000, 'x'));
  why = Refusal(Path("album.ape"));
  EXPECT_NE(why.find(Path("album.ape")), std::string::npos) << why;
  EXPECT_NE(why.find("not an audio file"), std::string::npos) << why;
  WriteFile("cut.flac", "fLaC\0\0");
  EXPECT_NE(Refusal(Path("cut.flac")).find(Path("cut.flac")), std::string::npos);

  why = Refusal(Path("missing.wav"));
  EXPECT_NE(why.find("cannot open " + Path("missing.wav")), std::string::npos) << why;
  // A FIFO would block an open for reading until a writer came.
  ASSERT_EQ(mkfifo(Path("pipe.wav").c_str(), 0600), 0);
  why = Refusal(Path("pipe.wav"));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
}

TEST_F(AudioFileTest, AFileCutShortUnderTheReaderFailsTheRead) {
  std::string path = Write("track.wav", Noise(44100, 9), mkdisc::CdShape("wav"));
  disc::AudioFile file;
  std::string why;
  ASSERT_TRUE(file.Open(path, &why)) << why;
  ASSERT_EQ(truncate(path.c_str(), 44 + 4 * 1000), 0);
  Bytes all(44100 * 4);
  EXPECT_FALSE(file.Read(0, 44100, all.data()));
}

}  // namespace
