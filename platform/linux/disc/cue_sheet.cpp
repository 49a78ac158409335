// SPDX-License-Identifier: GPL-3.0-or-later
// Cue sheets parsed, and the files they name found.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/linux/common/audio_types.h"
#include "platform/linux/common/text.h"
#include "platform/linux/disc/sheets.h"
#include "platform/linux/disc/track_table.h"

namespace disc {

namespace {

// Reads a word, or a quoted string with its spaces.
std::string ReadArgument(std::istringstream& line) {
  line >> std::ws;
  if (line.peek() != '"') {
    std::string word;
    line >> word;
    return word;
  }
  line.get();
  std::string quoted;
  std::getline(line, quoted, '"');
  return quoted;
}

// FILE's name, quoted or not: unquoted, it runs to the type word at the
// end of the line, spaces and all.
std::string ReadFileName(std::istringstream& line) {
  line >> std::ws;
  if (line.peek() == '"') return ReadArgument(line);
  std::string rest;
  std::getline(line, rest);
  rest = common::TrimBlanks(rest);
  size_t space = rest.find_last_of(" \t");
  std::string name = common::TrimBlanks(space == std::string::npos ? rest : rest.substr(0, space));
  line.clear();
  line.str(space == std::string::npos ? "" : rest.substr(space + 1));
  return name;
}

// TITLE's or PERFORMER's text: quoted, or unquoted to the end of the line.
std::string ReadText(std::istringstream& line) {
  line >> std::ws;
  if (line.peek() == '"') return ReadArgument(line);
  std::string rest;
  std::getline(line, rest);
  return common::TrimBlanks(rest);
}

// The FILE types a sheet may give, for the message that refuses another.
std::string KnownTypes() {
  std::string list = "BINARY, MOTOROLA";
  const size_t count = std::size(common::AudioFileTypes);
  for (size_t i = 0; i < count; i++)
    list += std::string(i + 1 < count ? ", " : " or ") + std::string(common::AudioFileTypes[i]);
  return list;
}

// The most minutes an MSF time can say.
constexpr int MostMinutes = 99;

}  // namespace

bool ParseMsf(const std::string& text, int32_t* sectors) {
  int minutes, seconds, frames;
  char colon1, colon2, extra;
  std::istringstream in(text);
  if (!(in >> minutes >> colon1 >> seconds >> colon2 >> frames) || colon1 != ':' || colon2 != ':' ||
      (in >> extra))
    return false;
  if (minutes < 0 || minutes > MostMinutes || seconds < 0 || seconds >= 60 || frames < 0 ||
      frames >= SectorsPerSecond)
    return false;
  *sectors = (minutes * 60 + seconds) * SectorsPerSecond + frames;
  return true;
}

namespace {

// What the lines read so far have set up.
struct CueReading {
  std::string folder;
  CueSheet* sheet;
  int session = 1;  // REM SESSION's number, for the tracks that follow it
};

// A statement, read by the function that follows its keyword (upper case);
// false with `why` saying what is wrong with its line.
using Statement = bool (*)(const std::string& keyword, std::istringstream& line,
                           CueReading* reading, std::string* why);

bool Fail(const std::string& what, std::string* why) {
  *why = what;
  return false;
}

// FILE name type.
bool ReadFile(const std::string&, std::istringstream& line, CueReading* reading, std::string* why) {
  CueFile file;
  std::string name = ReadFileName(line);
  std::string type = common::AsciiUpper(ReadArgument(line));
  if (name.empty()) return Fail("FILE without a name", why);
  if (type == "MOTOROLA")
    file.bigEndian = true;
  else if (common::IsAudioFileType(type))
    file.audio = true;
  else if (type != "BINARY")
    return Fail("file type " + type + " is not supported (" + KnownTypes() + ")", why);
  if (!FindSheetFile(reading->folder, name, file.audio, &file.path, why)) return false;
  reading->sheet->files.push_back(file);
  return true;
}

// TRACK number mode.
bool ReadTrack(const std::string&, std::istringstream& line, CueReading* reading,
               std::string* why) {
  std::vector<CueTrack>& tracks = reading->sheet->tracks;
  if (reading->sheet->files.empty()) return Fail("TRACK before any FILE", why);
  CueTrack track;
  std::string mode;
  if (!(line >> track.number) || track.number < 1 || track.number > MaxTracks)
    return Fail("bad track number", why);
  line >> mode;
  mode = common::AsciiUpper(mode);
  if (mode == "AUDIO")
    track.audio = true;
  else if (mode == "MODE1/2352" || mode == "MODE2/2352")
    track.audio = false;
  else
    return Fail("track mode " + mode + " is not supported", why);
  if (!tracks.empty() && track.number != tracks.back().number + 1)
    return Fail("track numbers are not consecutive", why);
  track.session = reading->session;
  tracks.push_back(track);
  return true;
}

// INDEX number time: where index 0 or 1 lies in the last FILE.
bool ReadIndex(const std::string&, std::istringstream& line, CueReading* reading,
               std::string* why) {
  CueSheet* sheet = reading->sheet;
  if (sheet->tracks.empty()) return Fail("INDEX before any TRACK", why);
  int index;
  std::string time;
  if (!(line >> index >> time)) return Fail("bad INDEX", why);
  int32_t sector = 0;
  if (!ParseMsf(time, &sector)) return Fail("bad time " + time, why);
  CuePosition position{static_cast<int>(sheet->files.size()) - 1, sector};
  if (index == 0) sheet->tracks.back().index0 = position;
  if (index == 1) sheet->tracks.back().index1 = position;
  return true;
}

// PREGAP time, POSTGAP time: silence the sheet adds around the track.
bool ReadGap(const std::string& keyword, std::istringstream& line, CueReading* reading,
             std::string* why) {
  if (reading->sheet->tracks.empty()) return Fail(keyword + " before any TRACK", why);
  std::string time;
  line >> time;
  int32_t sectors = 0;
  if (!ParseMsf(time, &sectors)) return Fail("bad time " + time, why);
  CueTrack& track = reading->sheet->tracks.back();
  (keyword == "PREGAP" ? track.pregapSilence : track.postgapSilence) = sectors;
  return true;
}

// FLAGS flag...: PRE alone changes what is played.
bool ReadFlags(const std::string&, std::istringstream& line, CueReading* reading,
               std::string* why) {
  if (reading->sheet->tracks.empty()) return Fail("FLAGS before any TRACK", why);
  std::string flag;
  while (line >> flag)
    if (common::AsciiUpper(flag) == "PRE") reading->sheet->tracks.back().preEmphasis = true;
  return true;
}

// TITLE text, PERFORMER text: before the first TRACK they name the disc,
// after it that track.
bool ReadTitle(const std::string& keyword, std::istringstream& line, CueReading* reading,
               std::string*) {
  CueSheet* sheet = reading->sheet;
  TrackText& text = sheet->tracks.empty() ? sheet->text : sheet->tracks.back().text;
  (keyword == "TITLE" ? text.title : text.performer) = ReadText(line);
  return true;
}

// CATALOG code, ISRC code: the disc's catalogue number and a track's
// recording code, as its Q sub-channel carries them; ill-formed ones are
// left out.
bool ReadCode(const std::string& keyword, std::istringstream& line, CueReading* reading,
              std::string*) {
  const std::string code = common::AsciiUpper(ReadArgument(line));
  const bool catalog = keyword == "CATALOG";
  const bool formed =
      code.size() == (catalog ? 13u : 12u) && std::all_of(code.begin(), code.end(), [&](char c) {
        return isdigit(static_cast<unsigned char>(c)) ||
               (!catalog && isupper(static_cast<unsigned char>(c)));
      });
  CueSheet* sheet = reading->sheet;
  if (formed && catalog) sheet->catalog = code;
  if (formed && !catalog && !sheet->tracks.empty()) sheet->tracks.back().isrc = code;
  return true;
}

// CDTEXTFILE name: the titles as the disc's own CD-Text packs, read when
// the image is loaded; a file that is not there costs only the titles.
bool ReadCdTextFile(const std::string&, std::istringstream& line, CueReading* reading,
                    std::string*) {
  const std::string name = ReadText(line);
  std::string problem;
  if (!name.empty() &&
      !FindSheetFile(reading->folder, name, false, &reading->sheet->cdTextFile, &problem))
    reading->sheet->cdTextFile = ResolveIn(reading->folder, name);
  return true;
}

// REM SESSION number: the session of the tracks that follow; other
// remarks say nothing the device uses.
bool ReadRemark(const std::string&, std::istringstream& line, CueReading* reading,
                std::string* why) {
  std::string what;
  line >> what;
  if (common::AsciiUpper(what) == "SESSION" && !(line >> reading->session))
    return Fail("bad session number", why);
  return true;
}

// The statements the device reads. SONGWRITER and the like carry nothing
// the device plays or the desktop shows.
const struct {
  const char* keyword;
  Statement read;
} Statements[] = {{"FILE", ReadFile},   {"TRACK", ReadTrack},           {"INDEX", ReadIndex},
                  {"PREGAP", ReadGap},  {"POSTGAP", ReadGap},           {"FLAGS", ReadFlags},
                  {"TITLE", ReadTitle}, {"PERFORMER", ReadTitle},       {"CATALOG", ReadCode},
                  {"ISRC", ReadCode},   {"CDTEXTFILE", ReadCdTextFile}, {"REM", ReadRemark}};

// One line of the sheet, numbered `number`.
bool ReadLine(std::string raw, int number, CueReading* reading, std::string* why) {
  if (!raw.empty() && raw.back() == '\r') raw.pop_back();
  std::istringstream line(raw);
  std::string keyword;
  if (!(line >> keyword)) return true;
  keyword = common::AsciiUpper(keyword);
  for (const auto& statement : Statements) {
    if (keyword != statement.keyword) continue;
    if (statement.read(keyword, line, reading, why)) return true;
    *why = "line " + std::to_string(number) + ": " + *why;
    return false;
  }
  return true;
}

}  // namespace

bool ParseCueSheet(const std::string& text, const std::string& folder, CueSheet* sheet,
                   std::string* why) {
  *sheet = CueSheet();
  CueReading reading{folder, sheet};
  std::istringstream lines(text);
  std::string raw;
  for (int number = 1; std::getline(lines, raw); number++)
    if (!ReadLine(raw, number, &reading, why)) return false;
  if (sheet->tracks.empty()) return Fail("the cue sheet lists no tracks", why);
  for (const CueTrack& track : sheet->tracks)
    if (track.index1.file < 0)
      return Fail("track " + std::to_string(track.number) + " has no INDEX 01", why);
  return true;
}

}  // namespace disc
