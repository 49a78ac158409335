// SPDX-License-Identifier: GPL-3.0-or-later
// Images that once crashed or hung the player: each must now be refused
// with a reason, or read as what it is, and never reach a reader that
// cannot take it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <thread>

#include "platform/linux/disc/disc.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class HostileInputTest : public DeviceTest {
 protected:
  // Loads `source`, giving up (and failing) after a few seconds; the
  // disc's state and the reason.
  disc::DiscState Load(const std::string& source, std::string* why, disc::Disc* loaded = nullptr) {
    auto result = std::make_shared<std::pair<disc::DiscState, std::string>>();
    auto disc = std::make_shared<disc::Disc>();
    std::packaged_task<void()> task(
        [=] { result->first = disc::LoadDisc(source, disc.get(), &result->second); });
    std::future<void> done = task.get_future();
    std::thread(std::move(task)).detach();
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      // Left to finish on its own; it holds only what it shares.
      ADD_FAILURE() << "loading " << source << " hangs";
      Unblock();
      *why = "hangs";
      return disc::DiscState::NoDisc;
    }
    try {
      done.get();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "loading " << source << " throws " << e.what();
    }
    *why = result->second;
    if (loaded) *loaded = std::move(*disc);
    return result->first;
  }
  // Lets an open of a FIFO that is waiting for a writer go on.
  void Unblock() {
    for (const std::string& fifo : fifos_) {
      const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) close(fd);
    }
  }
  std::string Fifo(const std::string& name) {
    const std::string path = Path(name);
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    fifos_.push_back(path);
    return path;
  }
  void ExpectUnreadable(const std::string& source, const std::string& said) {
    std::string why;
    EXPECT_EQ(Load(source, &why), disc::DiscState::Unreadable) << source;
    EXPECT_NE(why.find(said), std::string::npos) << source << ": " << why;
  }

  std::vector<std::string> fifos_;
};

}  // namespace

TEST_F(HostileInputTest, TocStringsWithAnyBackslashEscapeLoad) {
  WriteFile("disc.bin", std::string(10 * 2352, '\0'));
  for (const char* title : {"Live at \\999 Club", "\\999", "\\8\\9", "\\101\\102\\103", "a \\ b"}) {
    WriteFile("disc.toc",
              std::string("CD_DA\nCD_TEXT {\n LANGUAGE_MAP { 0 : EN }\n LANGUAGE 0 {\n") +
                  "  TITLE \"" + title + "\"\n }\n}\nTRACK AUDIO\nFILE \"disc.bin\" 0\n");
    std::string why;
    EXPECT_EQ(Load(Path("disc.toc"), &why), disc::DiscState::Ready) << title << ": " << why;
  }
  WriteFile("bare.toc", "CD_DA\nTRACK AUDIO\nISRC \"\\999");
  ExpectUnreadable(Path("bare.toc"), "unterminated string");
}

// Offsets and lengths past anything a disc holds are refused as they are
// read, before any sum is made of them.
TEST_F(HostileInputTest, TocNumbersBeyondAnyDiscAreRefusedAsNumbers) {
  WriteFile("disc.bin", std::string(10 * 2352, '\0'));
  WriteFile("offset.toc", "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" #5000000000000 0\n");
  ExpectUnreadable(Path("offset.toc"), "bad offset");
  WriteFile("length.toc", "CD_DA\nTRACK AUDIO\nFILE \"disc.bin\" 0 999999999999\n");
  ExpectUnreadable(Path("length.toc"), "bad number");
}

TEST_F(HostileInputTest, NeroChunksThatCannotBeTrustedAreRefusedButBadCdTextCostsOnlyTitles) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {20, 10};
  spec.nrg = true;
  const mkdisc::DiscImage image = MakeImage(spec, "disc.nrg");
  std::string why;
  ASSERT_EQ(Load(image.sheetPath, &why), disc::DiscState::Ready) << why;

  // An empty CD-Text chunk before END!, or one of a zeroed pack: the disc
  // plays, without titles.
  std::string nrg;
  {
    std::ifstream in(image.sheetPath, std::ios::binary);
    nrg.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const size_t end = nrg.rfind("END!");
  ASSERT_NE(end, std::string::npos);
  for (const std::string& text : {std::string(), std::string(18, '\0')}) {
    WriteFile("text.nrg", nrg.substr(0, end) + "CDTX" + mkdisc::BigEndian(text.size(), 4) + text +
                              nrg.substr(end));
    // The footer still points at the first chunk, which has not moved.
    disc::Disc loaded;
    ASSERT_EQ(disc::LoadDisc(Path("text.nrg"), &loaded, &why), disc::DiscState::Ready) << why;
    EXPECT_EQ(loaded.table.leadout, 30);
    EXPECT_TRUE(loaded.text.disc.title.empty());
  }
  // Two DAO chunks for one track list: which says where the tracks lie?
  const size_t dao = nrg.find("DAOX");
  const size_t sinf = nrg.find("SINF");
  ASSERT_LT(dao, sinf);
  WriteFile("twice.nrg", nrg.substr(0, sinf) + nrg.substr(dao, sinf - dao) + nrg.substr(sinf));
  ExpectUnreadable(Path("twice.nrg"), "twice");

  // Files too short for a footer, and files with none, are no Nero
  // images.
  for (const std::string& bytes :
       {std::string(), std::string("NER5"), std::string(11, 'N'), std::string(5000, '\x55')}) {
    WriteFile("short.nrg", bytes);
    ExpectUnreadable(Path("short.nrg"), "no Nero footer");
  }
  WriteFile("image.iso", std::string(40000, '\0'));
  ExpectUnreadable(Path("image.iso"), "no Nero footer");
}

TEST_F(HostileInputTest, FifosAreRefusedWithoutWaitingForAWriter) {
  const std::string bin = Fifo("audio.bin");
  WriteFile("disc.cue", "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  ExpectUnreadable(Path("disc.cue"), "not a regular file");
  WriteFile("disc.toc", "CD_DA\nTRACK AUDIO\nFILE \"audio.bin\" 0\n");
  ExpectUnreadable(Path("disc.toc"), "cannot open");
  WriteFile("data.toc", "CD_ROM\nTRACK MODE1\nDATAFILE \"audio.bin\"\n");
  ExpectUnreadable(Path("data.toc"), "cannot open");
  // The sheet itself, and a FIFO named as the device.
  ExpectUnreadable(Fifo("fifo.cue"), "cannot read");
  ExpectUnreadable(Fifo("fifo.toc"), "cannot read");
  ExpectUnreadable(Fifo("fifo.nrg"), "not a CD drive or disc image");
  ExpectUnreadable(bin, "cannot open");
}

TEST_F(HostileInputTest, FilesLargerThanAnyDiscAreRefusedNotSummedPastTheirRange) {
  // Three FILE lines naming one sparse file of 2.5 TB.
  const std::string huge = Path("huge.bin");
  const int fd = open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, int64_t{2500} << 30), 0) << "the file system cannot hold sparse files";
  close(fd);
  std::string sheet;
  for (int i = 1; i <= 3; i++)
    sheet += "FILE \"huge.bin\" BINARY\n  TRACK 0" + std::to_string(i) +
             " AUDIO\n    INDEX 01 00:00:00\n";
  WriteFile("huge.cue", sheet);
  ExpectUnreadable(Path("huge.cue"), "more than a disc can");
  WriteFile("huge.toc", "CD_DA\nTRACK AUDIO\nFILE \"huge.bin\" 0\nFILE \"huge.bin\" 0\n");
  ExpectUnreadable(Path("huge.toc"), "too long for a disc");
}

TEST_F(HostileInputTest, AWaveOfEmptyChunksIsGivenUpOnQuickly) {
  // A header whose first chunk claims 700 MB, then gigabytes of zeros:
  // millions of empty chunks, each a read.
  std::string header = "RIFF" + std::string("\xff\xff\xff\xff", 4) + "WAVEJUNK";
  header += std::string("\x10\x00\x00\x2c", 4) + std::string(16, '\0');
  const std::string wave = Path("zeros.wav");
  WriteFile("zeros.wav", header);
  ASSERT_EQ(truncate(wave.c_str(), int64_t{3} << 30), 0)
      << "the file system cannot hold sparse files";
  WriteFile("zeros.toc", "CD_DA\nTRACK AUDIO\nFILE \"zeros.wav\" 0\n");
  ExpectUnreadable(Path("zeros.toc"), "has no samples");
}

TEST_F(HostileInputTest, ABinNamedAloneIsReadThroughTheSheetBesideIt) {
  mkdisc::DiscImageSpec spec;
  spec.audioSectors = {30, 20, 10};
  spec.pregap = 4;
  const mkdisc::DiscImage image = MakeImage(spec, "disc.cue");
  disc::Disc fromCue, fromBin;
  std::string why;
  ASSERT_EQ(Load(image.sheetPath, &why, &fromCue), disc::DiscState::Ready) << why;
  ASSERT_EQ(Load(image.binPath, &why, &fromBin), disc::DiscState::Ready) << why;
  ASSERT_EQ(fromBin.table.tracks.size(), 3u);
  for (int number = 1; number <= 3; number++) {
    EXPECT_EQ(fromBin.table.Numbered(number).start, fromCue.table.Numbered(number).start);
    EXPECT_EQ(fromBin.table.Numbered(number).pregap, fromCue.table.Numbered(number).pregap);
  }
  EXPECT_EQ(fromBin.table.leadout, 60);
  Bytes read(5 * 2352);
  ASSERT_TRUE(fromBin.reader->Read(32, 5, read.data()));
  EXPECT_TRUE(read == mkdisc::ReadBin(image.binPath, 32, 5));

  // A damaged sheet beside it is refused as the sheet reader says.
  WriteFile("disc.cue", "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:99\n");
  ExpectUnreadable(image.binPath, "bad time 00:00:99");
  // One that names other files does not describe this one.
  WriteFile("other.bin", std::string(2352, '\0'));
  WriteFile("disc.cue", "FILE \"other.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  ExpectUnreadable(image.binPath, "names other files");

  // Without a sheet, the whole sectors of the bin are one audio track.
  ASSERT_EQ(unlink(image.sheetPath.c_str()), 0);
  ASSERT_EQ(truncate(image.binPath.c_str(), 60 * 2352 + 100), 0);
  disc::Disc alone;
  ASSERT_EQ(Load(image.binPath, &why, &alone), disc::DiscState::Ready) << why;
  ASSERT_EQ(alone.table.tracks.size(), 1u);
  EXPECT_TRUE(alone.table.Numbered(1).audio);
  EXPECT_EQ(alone.table.Numbered(1).start, 0);
  EXPECT_EQ(alone.table.leadout, 60);
  ASSERT_TRUE(alone.reader->Read(32, 5, read.data()));
  EXPECT_TRUE(read == mkdisc::ReadBin(image.binPath, 32, 5));
  WriteFile("tiny.bin", std::string(2000, '\0'));
  ExpectUnreadable(Path("tiny.bin"), "tiny.bin");
}
