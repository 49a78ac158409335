// SPDX-License-Identifier: GPL-3.0-or-later
// Cue sheets parsed, and the files they name found.
#include <algorithm>
#include <cctype>
#include <iterator>
#include <sstream>

#include "platform/linux/common/audio_types.h"
#include "platform/linux/common/text.h"
#include "platform/linux/disc/sheets.h"

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
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  size_t space = rest.find_last_of(" \t");
  std::string name = space == std::string::npos ? rest : rest.substr(0, space);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
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
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  return rest;
}

// The FILE types a sheet may give, for the message that refuses another.
std::string KnownTypes() {
  std::string list = "BINARY, MOTOROLA";
  const size_t count = std::size(common::AudioFileTypes);
  for (size_t i = 0; i < count; i++)
    list += std::string(i + 1 < count ? ", " : " or ") + std::string(common::AudioFileTypes[i]);
  return list;
}

}  // namespace

bool ParseMsf(const std::string& text, int32_t* sectors) {
  int minutes, seconds, frames;
  char colon1, colon2, extra;
  std::istringstream in(text);
  if (!(in >> minutes >> colon1 >> seconds >> colon2 >> frames) || colon1 != ':' || colon2 != ':' ||
      (in >> extra))
    return false;
  if (minutes < 0 || minutes > 99 || seconds < 0 || seconds > 59 || frames < 0 || frames > 74)
    return false;
  *sectors = (minutes * 60 + seconds) * 75 + frames;
  return true;
}

namespace {

// What is wrong with the sheet, or an empty string.
std::string Parse(const std::string& text, const std::string& folder, CueSheet* sheet) {
  *sheet = CueSheet();
  std::istringstream lines(text);
  std::string raw;
  int lineNumber = 0;
  int session = 1;
  while (std::getline(lines, raw)) {
    lineNumber++;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::istringstream line(raw);
    std::string keyword;
    if (!(line >> keyword)) continue;
    keyword = common::AsciiUpper(keyword);
    std::string where = "line " + std::to_string(lineNumber) + ": ";
    if (keyword == "FILE") {
      CueFile file;
      std::string name = ReadFileName(line);
      std::string type = common::AsciiUpper(ReadArgument(line));
      if (name.empty()) return where + "FILE without a name";
      if (type == "MOTOROLA")
        file.bigEndian = true;
      else if (common::IsAudioFileType(type))
        file.audio = true;
      else if (type != "BINARY")
        return where + "file type " + type + " is not supported (" + KnownTypes() + ")";
      std::string problem;
      if (!FindSheetFile(folder, name, file.audio, &file.path, &problem)) return where + problem;
      sheet->files.push_back(file);
    } else if (keyword == "TRACK") {
      if (sheet->files.empty()) return where + "TRACK before any FILE";
      CueTrack track;
      std::string mode;
      if (!(line >> track.number) || track.number < 1 || track.number > 99)
        return where + "bad track number";
      line >> mode;
      mode = common::AsciiUpper(mode);
      if (mode == "AUDIO")
        track.audio = true;
      else if (mode == "MODE1/2352" || mode == "MODE2/2352")
        track.audio = false;
      else
        return where + "track mode " + mode + " is not supported";
      if (!sheet->tracks.empty() && track.number != sheet->tracks.back().number + 1)
        return where + "track numbers are not consecutive";
      track.session = session;
      sheet->tracks.push_back(track);
    } else if (keyword == "INDEX") {
      if (sheet->tracks.empty()) return where + "INDEX before any TRACK";
      int index;
      std::string time;
      if (!(line >> index >> time)) return where + "bad INDEX";
      int32_t sector = 0;
      if (!ParseMsf(time, &sector)) return where + "bad time " + time;
      CuePosition position{static_cast<int>(sheet->files.size()) - 1, sector};
      if (index == 0) sheet->tracks.back().index0 = position;
      if (index == 1) sheet->tracks.back().index1 = position;
    } else if (keyword == "PREGAP" || keyword == "POSTGAP") {
      if (sheet->tracks.empty()) return where + keyword + " before any TRACK";
      std::string time;
      line >> time;
      int32_t sectors = 0;
      if (!ParseMsf(time, &sectors)) return where + "bad time " + time;
      CueTrack& track = sheet->tracks.back();
      (keyword == "PREGAP" ? track.pregapSilence : track.postgapSilence) = sectors;
    } else if (keyword == "FLAGS") {
      if (sheet->tracks.empty()) return where + "FLAGS before any TRACK";
      std::string flag;
      while (line >> flag)
        if (common::AsciiUpper(flag) == "PRE") sheet->tracks.back().preEmphasis = true;
    } else if (keyword == "TITLE" || keyword == "PERFORMER") {
      // Before the first TRACK they name the disc, after it that track.
      TrackText& text = sheet->tracks.empty() ? sheet->text : sheet->tracks.back().text;
      (keyword == "TITLE" ? text.title : text.performer) = ReadText(line);
    } else if (keyword == "CATALOG" || keyword == "ISRC") {
      // The disc's catalogue number and a track's recording code, as its
      // Q sub-channel carries them; ill-formed ones are left out.
      const std::string code = common::AsciiUpper(ReadArgument(line));
      const bool catalog = keyword == "CATALOG";
      const bool formed = code.size() == (catalog ? 13u : 12u) &&
                          std::all_of(code.begin(), code.end(), [&](char c) {
                            return isdigit(static_cast<unsigned char>(c)) ||
                                   (!catalog && isupper(static_cast<unsigned char>(c)));
                          });
      if (formed && catalog) sheet->catalog = code;
      if (formed && !catalog && !sheet->tracks.empty()) sheet->tracks.back().isrc = code;
    } else if (keyword == "CDTEXTFILE") {
      // The titles as the disc's own CD-Text packs, read when the image
      // is loaded; a file that is not there costs only the titles.
      const std::string name = ReadText(line);
      std::string problem;
      if (!name.empty() && !FindSheetFile(folder, name, false, &sheet->cdTextFile, &problem))
        sheet->cdTextFile = ResolveIn(folder, name);
    } else if (keyword == "REM") {
      std::string what;
      line >> what;
      if (common::AsciiUpper(what) == "SESSION" && !(line >> session))
        return where + "bad session number";
    }
    // SONGWRITER and the like carry nothing the device plays
    // or the desktop shows.
  }
  if (sheet->tracks.empty()) return "the cue sheet lists no tracks";
  for (const CueTrack& track : sheet->tracks)
    if (track.index1.file < 0) return "track " + std::to_string(track.number) + " has no INDEX 01";
  return "";
}

}  // namespace

bool ParseCueSheet(const std::string& text, const std::string& folder, CueSheet* sheet,
                   std::string* why) {
  const std::string problem = Parse(text, folder, sheet);
  if (problem.empty()) return true;
  *why = problem;
  return false;
}

}  // namespace disc
