// SPDX-License-Identifier: GPL-3.0-or-later
// What the two sheet parsers say when they refuse a sheet: the words and
// the line, exactly, since a user finds the fault in the sheet by them.
#include <string>

#include "platform/linux/disc/sheets.h"
#include "tests/platform/linux/cdaudio/device_fixture.h"

namespace {

class SheetRefusalTest : public DeviceTest {
 protected:
  std::string TocRefusal(const std::string& text) {
    disc::TocSheet sheet;
    std::string why;
    EXPECT_FALSE(disc::ParseTocSheet(text, Path(""), &sheet, &why)) << text;
    return why;
  }
  std::string CueRefusal(const std::string& text) {
    disc::CueSheet sheet;
    std::string why;
    EXPECT_FALSE(disc::ParseCueSheet(text, Path(""), &sheet, &why)) << text;
    return why;
  }
};

struct Case {
  std::string text;
  std::string says;
};

TEST_F(SheetRefusalTest, ATocIsRefusedInWordsNamingTheLine) {
  const std::string track = "TRACK AUDIO\n";
  const std::string file = "FILE \"a.raw\" 0\n";
  const Case cases[] = {
      {"CD_DA\nCATALOG\n", "line 2: CATALOG without a number"},
      {"CD_TEXT { LANGUAGE 0 {\n" + track, "line 2: unfinished CD_TEXT block"},
      {"CD_TEXT { LANGUAGE_MAP { 0 : EN\n", "line 1: unfinished CD_TEXT block"},
      {track + "CD_TEXT { LANGUAGE x { } }\n" + file, "line 2: unfinished CD_TEXT block"},
      {"TRACK CDG\n" + file, "line 2: unknown track mode CDG"},
      {"TRACK AUDIO RW\n" + file, "line 2: audio tracks with sub-channel data are not supported"},
      {track + "ISRC\n" + file, "line 3: ISRC without a code"},
      {track + "NO DATA\n" + file, "line 2: NO before neither COPY nor PRE_EMPHASIS"},
      {track + "PREGAP 0\n" + file, "line 3: track 1: PREGAP needs a length"},
      {track + "PREGAP\n" + file, "line 3: expected a length"},
      {"TRACK MODE1\n" + file, "line 2: track 1: FILE holds audio, in a data track"},
      {track + "FILE 0\n", "line 2: track 1: FILE without a name"},
      {track + "FILE \"\" 0\n", "line 2: track 1: FILE without a name"},
      {track + "FILE \"a.raw\" # x\n", "line 2: # without an offset"},
      {track + "FILE \"a.raw\" #1x 0\n", "line 2: bad offset #1x"},
      {track + "FILE \"a.raw\" 00:61:00\n", "line 2: expected a time mm:ss:ff"},
      {track + "FILE \"a.raw\" 0 1:2\n", "line 2: expected a time mm:ss:ff"},
      {track + "FILE \"a.raw\" 99999999999999999999999\n",
       "line 2: bad number 99999999999999999999999"},
      {"TRACK MODE1\nDATAFILE 0\n", "line 2: track 1: DATAFILE without a name"},
      {track + "SILENCE 0\n", "line 2: track 1: SILENCE and ZERO need a length"},
      {track + "ZERO MODE1 RW\n" + file, "line 3: expected a length"},
      {track + "FIFO \"/dev/zero\" 2352\n", "line 2: track 1: FIFO is not supported in an image"},
      {track + file + "START\nSTART\n", "line 4: track 1: START given twice, or after PREGAP"},
      {track + "PREGAP 00:00:02\n" + file + "START\n",
       "line 4: track 1: START given twice, or after PREGAP"},
      {track + file + "START 1:0\n", "line 3: expected a time mm:ss:ff"},
      {track + file + "END 00:00:99\n", "line 3: expected a time mm:ss:ff"},
      {track + file + "INDEX x\n", "line 3: expected a time mm:ss:ff"},
      {track + track + file, "line 2: track 1: no FILE, DATAFILE, SILENCE or ZERO"},
      {track + file + "TRACK MODE1\nSILENCE 5\n" + track,
       "line 5: track 3: no FILE, DATAFILE, SILENCE or ZERO"},
      {track + file + "BOGUS\n", "line 3: unexpected BOGUS"},
      {track + "FILE \"a.raw 0\n", "line 2: unterminated string"},
      {"CD_DA\n", "line 1: no TRACK"},
      {"", "line 1: no TRACK"},
  };
  for (const Case& c : cases) EXPECT_EQ(TocRefusal(c.text), c.says) << c.text;

  // The hundredth track is named by its line, as every other refusal is.
  std::string hundred = "CD_DA\n";
  for (int i = 0; i < 100; i++) hundred += "TRACK AUDIO SILENCE 1\n";
  EXPECT_EQ(TocRefusal(hundred), "line 101: more than 99 tracks");
  disc::TocSheet sheet;
  std::string why;
  EXPECT_TRUE(disc::ParseTocSheet(hundred.substr(0, hundred.size() - 22), Path(""), &sheet, &why))
      << why;
  EXPECT_EQ(sheet.tracks.size(), 99u);
}

TEST_F(SheetRefusalTest, ACueSheetIsRefusedInWordsNamingTheLine) {
  WriteFile("a.bin", std::string(2352, '\0'));
  const std::string file = "FILE \"a.bin\" BINARY\n";
  const std::string track = "  TRACK 01 AUDIO\n";
  const std::string index = "    INDEX 01 00:00:00\n";
  const Case cases[] = {
      {"  TRACK 01 AUDIO\n", "line 1: TRACK before any FILE"},
      {"FILE \"\" BINARY\n", "line 1: FILE without a name"},
      {file + "  TRACK 00 AUDIO\n", "line 2: bad track number"},
      {file + "  TRACK 100 AUDIO\n", "line 2: bad track number"},
      {file + "  TRACK one AUDIO\n", "line 2: bad track number"},
      {file + "  TRACK 01 MODE1/2048\n", "line 2: track mode MODE1/2048 is not supported"},
      {file + track + index + "  TRACK 03 AUDIO\n", "line 4: track numbers are not consecutive"},
      {file + "INDEX 01 00:00:00\n", "line 2: INDEX before any TRACK"},
      {file + track + "    INDEX 01\n", "line 3: bad INDEX"},
      {file + track + "    INDEX 01 1:2\n", "line 3: bad time 1:2"},
      {file + track + "    INDEX 01 00:00:75\n", "line 3: bad time 00:00:75"},
      {file + track + "    INDEX 01 00:60:00\n", "line 3: bad time 00:60:00"},
      {file + track + "    INDEX 01 100:00:00\n", "line 3: bad time 100:00:00"},
      {file + "PREGAP 00:00:02\n", "line 2: PREGAP before any TRACK"},
      {file + track + "POSTGAP two\n", "line 3: bad time two"},
      {file + "FLAGS PRE\n", "line 2: FLAGS before any TRACK"},
      {"REM SESSION two\n" + file, "line 1: bad session number"},
      {"REM GENRE Rock\r\n" + file +
           "\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00 extra\r\n"
           "  TRACK 02 AUDIO\r\n    INDEX 00 1:00\r\n",
       "line 7: bad time 1:00"},
      {file, "the cue sheet lists no tracks"},
      {"TITLE \"Album\"\n" + file + track + "    INDEX 00 00:00:00\n", "track 1 has no INDEX 01"},
  };
  for (const Case& c : cases) EXPECT_EQ(CueRefusal(c.text), c.says) << c.text;

  const std::string type = CueRefusal("FILE \"a.bin\" APE\n" + track + index);
  EXPECT_EQ(type.rfind("line 1: file type APE is not supported (BINARY, MOTOROLA, ", 0), 0u)
      << type;
  const std::string missing = CueRefusal("FILE \"gone.bin\" BINARY\n" + track + index);
  EXPECT_EQ(missing.rfind("line 1: cannot find ", 0), 0u) << missing;

  // The longest time an MSF position can say, and a FILE name with blanks
  // after it, unquoted.
  disc::CueSheet sheet;
  std::string why;
  ASSERT_TRUE(disc::ParseCueSheet("FILE a.bin \t BINARY \t\n" + track + "    INDEX 01 99:59:74\n",
                                  Path(""), &sheet, &why))
      << why;
  EXPECT_EQ(sheet.tracks[0].index1.sector, (99 * 60 + 59) * 75 + 74);
  EXPECT_EQ(sheet.files[0].path, Path("a.bin"));
}

}  // namespace
