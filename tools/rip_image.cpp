// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/rip_image.h"

#include <cstdio>
#include <fstream>

#include "tools/audio_writer.h"

namespace mkdisc {

namespace {

constexpr int FrameBytes = 4;

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// A file of the rip: which sectors of the disc it holds.
struct RipFile {
  std::string name;
  int32_t first = 0;
  int32_t sectors = 0;
};

class Sheet {
 public:
  explicit Sheet(const RipSpec& spec) : spec_(spec) {}

  // A command, lower-cased when the sheet is decorated.
  void Line(int indent, const std::string& command, const std::string& rest) {
    text_ += std::string(static_cast<size_t>(indent), ' ');
    std::string word = command;
    if (spec_.decorated)
      for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    text_ += word + (rest.empty() ? "" : " " + rest) + (spec_.crlf ? "\r\n" : "\n");
  }
  void File(const std::string& name, const std::string& type) {
    std::string shown = spec_.upperNames ? Upper(name) : name;
    Line(0, "FILE", (spec_.unquoted ? shown : "\"" + shown + "\"") + " " + type);
  }
  std::string Text() const { return (spec_.byteOrderMark ? "\xEF\xBB\xBF" : "") + text_; }

 private:
  const RipSpec& spec_;
  std::string text_;
};

}  // namespace

bool WriteRip(const DiscImage& image, const RipSpec& spec, std::string* error) {
  bool bin = spec.layout == RipLayout::Bin;
  for (const DiscImageTrack& track : image.tracks)
    if (!track.audio && !bin) {
      *error = "a rip into audio files holds audio tracks only";
      return false;
    }
  AudioShape shape = CdShape(spec.extension);
  if (!bin && shape.format == 0) {
    *error = "cannot write audio files of type ." + spec.extension;
    return false;
  }
  if (spec.trimFrames < 0 || spec.trimFrames >= disc::SectorBytes / FrameBytes) {
    *error = "trim less than one sector";
    return false;
  }
  std::string typeWord = spec.typeWord;
  if (typeWord.empty())
    typeWord = bin                                                   ? "BINARY"
               : spec.extension == "aiff" || spec.extension == "aif" ? "AIFF"
                                                                     : "WAVE";

  // The files and where each begins on the disc.
  std::string stem = Stem(image.sheetPath);
  std::vector<RipFile> files;
  std::vector<int32_t> fileStarts;  // per track: where its file begins
  // Names with spaces, as rippers write them, unless they go unquoted.
  auto trackName = [&](int number) {
    char name[64];
    snprintf(name, sizeof name, spec.unquoted ? "%02d_Track_%02d.%s" : "%02d Track %02d.%s", number,
             number, spec.extension.c_str());
    return std::string(name);
  };
  size_t tracks = image.tracks.size();
  if (bin) {
    files.push_back({BaseName(image.binPath), 0, image.sectors});
  } else if (spec.layout == RipLayout::OneFile) {
    files.push_back({stem + "." + spec.extension, 0, image.sectors});
  } else {
    for (size_t i = 0; i < tracks; i++) {
      const DiscImageTrack& track = image.tracks[i];
      int32_t first = i == 0                                                       ? 0
                      : spec.layout == RipLayout::PregapInOwn && track.pregap >= 0 ? track.pregap
                                                                                   : track.start;
      files.push_back({trackName(track.number), first, 0});
      if (i > 0) files[i - 1].sectors = first - files[i - 1].first;
    }
    files.back().sectors = image.sectors - files.back().first;
  }

  // The audio files, and the bin silenced where the files end short.
  std::string folder = Folder(image.sheetPath);
  if (!bin) {
    std::fstream reference(image.binPath, std::ios::binary | std::ios::in | std::ios::out);
    for (const RipFile& file : files) {
      std::vector<uint8_t> samples = ReadBin(image.binPath, file.first, file.sectors);
      if (samples.size() != static_cast<size_t>(file.sectors) * disc::SectorBytes) {
        *error = "cannot read " + image.binPath;
        return false;
      }
      samples.resize(samples.size() - static_cast<size_t>(spec.trimFrames) * FrameBytes);
      if (!WriteAudioFile(folder + file.name, samples, shape, error)) return false;
      std::streamoff end =
          static_cast<std::streamoff>(file.first + file.sectors) * disc::SectorBytes;
      reference.seekp(end - spec.trimFrames * FrameBytes);
      reference << std::string(static_cast<size_t>(spec.trimFrames) * FrameBytes, '\0');
    }
    if (!reference) {
      *error = "cannot silence the end of each file in " + image.binPath;
      return false;
    }
  }

  // The sheet: each track's indexes relative to the file they lie in.
  Sheet sheet(spec);
  if (spec.decorated) {
    sheet.Line(0, "REM", "GENRE \"Test\"");
    sheet.Line(0, "REM", "COMMENT \"mkdisc\"");
    sheet.Line(0, "CATALOG", "0000012345678");
    sheet.Line(0, "PERFORMER", "\"Korvane Test Ensemble\"");
    sheet.Line(0, "TITLE", "\"Tones\"");
    sheet.Line(0, "SONGWRITER", "\"Nobody\"");
    sheet.Line(0, "CDTEXTFILE", "\"" + stem + ".cdt\"");
    sheet.Line(0, "ARRANGER", "\"an unknown command\"");
  }
  size_t file = 0;
  if (files.size() == 1) sheet.File(files[0].name, typeWord);
  for (size_t i = 0; i < tracks; i++) {
    const DiscImageTrack& track = image.tracks[i];
    bool ownFile = files.size() > 1;
    if (ownFile && spec.layout == RipLayout::PregapInOwn && i > 0) {
      file = i;
      sheet.File(files[file].name, typeWord);
    } else if (ownFile && i == 0) {
      sheet.File(files[0].name, typeWord);
    }
    char header[32];
    snprintf(header, sizeof header, "%02d %s", track.number, track.audio ? "AUDIO" : "MODE1/2352");
    sheet.Line(2, "TRACK", header);
    if (spec.decorated) {
      sheet.Line(4, "TITLE", "\"Tone " + std::to_string(track.number) + "\"");
      sheet.Line(4, "PERFORMER", "\"Korvane Test Ensemble\"");
      sheet.Line(4, "FLAGS", "DCP");
      sheet.Line(4, "ISRC", "ZZKRV2600001");
    }
    if (track.pregap >= 0) sheet.Line(4, "INDEX", "00 " + Msf(track.pregap - files[file].first));
    if (ownFile && spec.layout == RipLayout::PregapInPrevious && i > 0) {
      file = i;
      sheet.File(files[file].name, typeWord);
    }
    sheet.Line(4, "INDEX", "01 " + Msf(track.start - files[file].first));
  }
  std::ofstream out(image.sheetPath, std::ios::binary);
  out << sheet.Text();
  if (!out) {
    *error = "cannot write " + image.sheetPath;
    return false;
  }
  return true;
}

}  // namespace mkdisc
