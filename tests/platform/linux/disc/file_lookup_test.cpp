// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the files a sheet names: as written, ignoring case, or the same
// audio under another extension, and refusing when that is ambiguous.
#include <sys/stat.h>

#include "platform/linux/disc/sheets.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

class FileLookupTest : public DeviceTest {
 protected:
  std::string Find(const std::string& name, bool audio = true) {
    std::string path, why;
    EXPECT_TRUE(disc::FindSheetFile(Path(""), name, audio, &path, &why)) << why;
    return path;
  }
  std::string Refusal(const std::string& name, bool audio = true) {
    std::string path, why;
    EXPECT_FALSE(disc::FindSheetFile(Path(""), name, audio, &path, &why));
    EXPECT_EQ(path, "");
    return why;
  }
};

TEST_F(FileLookupTest, NamesResolveAsWrittenThenIgnoringCaseThenByStem) {
  WriteFile("cdda.bin", "x");
  WriteFile("Track 01.flac", "x");
  WriteFile("exact.wav", "x");
  WriteFile("EXACT.WAV", "x");
  ASSERT_EQ(mkdir(Path("Disc 1").c_str(), 0700), 0);
  WriteFile("Disc 1/side.aiff", "x");

  EXPECT_EQ(Find("cdda.bin", false), Path("cdda.bin"));
  EXPECT_EQ(Find(Path("cdda.bin"), false), Path("cdda.bin"));  // absolute
  // Written where names ignore case.
  EXPECT_EQ(Find("CDDA.BIN", false), Path("cdda.bin"));
  // The name as written wins over one that differs only in case.
  EXPECT_EQ(Find("EXACT.WAV"), Path("EXACT.WAV"));
  // The sheet names the .wav the rip was before it became a .flac.
  EXPECT_EQ(Find("Track 01.wav"), Path("Track 01.flac"));
  EXPECT_EQ(Find("TRACK 01.WAV"), Path("Track 01.flac"));
  // Folders, also in the wrong case and with Windows' backslashes.
  EXPECT_EQ(Find("Disc 1/side.aiff"), Path("Disc 1/side.aiff"));
  EXPECT_EQ(Find("disc 1\\SIDE.wav"), Path("Disc 1/side.aiff"));
}

TEST_F(FileLookupTest, MissingAndAmbiguousNamesAreRefusedNamingTheCandidates) {
  WriteFile("Album.wav", "x");
  WriteFile("ALBUM.WAV", "x");
  WriteFile("mix.flac", "x");
  WriteFile("mix.ogg", "x");
  WriteFile("data.iso", "x");
  ASSERT_EQ(mkdir(Path("folder.wav").c_str(), 0700), 0);

  std::string why = Refusal("album.wav");
  EXPECT_NE(why.find("ambiguous"), std::string::npos) << why;
  EXPECT_NE(why.find(Path("ALBUM.WAV")), std::string::npos) << why;
  EXPECT_NE(why.find(Path("Album.wav")), std::string::npos) << why;

  why = Refusal("mix.wav");
  EXPECT_NE(why.find(Path("mix.flac")), std::string::npos) << why;
  EXPECT_NE(why.find(Path("mix.ogg")), std::string::npos) << why;

  // Another extension stands in only for audio, and only audio extensions.
  why = Refusal("mix.bin", false);
  EXPECT_NE(why.find("cannot find " + Path("mix.bin")), std::string::npos) << why;
  EXPECT_EQ(Refusal("data.wav").find("cannot find"), 0u);
  // A folder is not the file.
  EXPECT_NE(Refusal("folder.wav").find("cannot find"), std::string::npos);
  EXPECT_NE(Refusal("").find("no file"), std::string::npos);
  ASSERT_EQ(mkfifo(Path("pipe.wav").c_str(), 0600), 0);
  EXPECT_EQ(Refusal("pipe.wav"), Path("pipe.wav") + " is not a regular file");
  EXPECT_NE(Refusal("nowhere/x.wav").find("cannot find"), std::string::npos);
}

}  // namespace
