// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/disc_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <utility>

#include "tools/cd_text_packs.h"

namespace mkdisc {

namespace {

// A small deterministic noise source, so no two sectors are alike.
struct Noise {
  uint32_t state;
  int Next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<int>(state >> 24) - 128;
  }
};

void PutSample(std::vector<uint8_t>& out, int value) {
  if (value > 32767) value = 32767;
  if (value < -32768) value = -32768;
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

// Track n sounds a tone of 220 Hz times the n-th step of a major scale.
void AppendTone(std::vector<uint8_t>& out, int track, int sectors, Noise& noise,
                const std::function<void()>& flush) {
  static const double Steps[] = {1.0, 1.125, 1.25, 1.333, 1.5, 1.667, 1.875};
  double frequency = 220.0 * Steps[(track - 1) % 7] * (1 << ((track - 1) / 7 % 3));
  long frames = static_cast<long>(sectors) * (disc::SectorBytes / 4);
  for (long i = 0; i < frames; i++) {
    int tone = static_cast<int>(
        6000.0 * sin(2.0 * M_PI * frequency * static_cast<double>(i) / disc::SampleRate));
    PutSample(out, tone + noise.Next());
    PutSample(out, tone + noise.Next());
    if (out.size() >= 75 * disc::SectorBytes) flush();
  }
}

void AppendNoise(std::vector<uint8_t>& out, int sectors, Noise& noise) {
  for (long i = 0; i < static_cast<long>(sectors) * (disc::SectorBytes / 2); i++)
    PutSample(out, noise.Next() / 4);
}

// Data sectors: sync pattern, header and a recognisable fill.
void AppendData(std::vector<uint8_t>& out, int32_t firstLsn, int sectors) {
  for (int s = 0; s < sectors; s++) {
    size_t at = out.size();
    out.resize(at + disc::SectorBytes, 0x5A);
    out[at] = 0;
    for (int i = 1; i < 11; i++) out[at + i] = 0xFF;
    out[at + 11] = 0;
    int32_t msf = firstLsn + s + disc::MsfOffset;
    auto bcd = [](int v) { return static_cast<uint8_t>(v / 10 * 16 + v % 10); };
    out[at + 12] = bcd(msf / 4500);
    out[at + 13] = bcd(msf / 75 % 60);
    out[at + 14] = bcd(msf % 75);
    out[at + 15] = 1;
  }
}

std::string Chunk(const char* id, const std::string& body) {
  std::string chunk = id;
  chunk += BigEndian(body.size(), 4);
  return chunk + body;
}

bool IsTao(NrgLayout layout) { return layout == NrgLayout::TaoNew || layout == NrgLayout::TaoOld; }
bool IsNew(NrgLayout layout) { return layout == NrgLayout::DaoNew || layout == NrgLayout::TaoNew; }

// The chunks and footer Nero writes after an image's sectors. A
// disc-at-once image starts with track 1's 150-sector pregap, so byte
// offsets in the file are (LSN + 150) * 2352 and index 0 of track 1 is
// LSN -150; each session has its cue and DAO chunk. A track-at-once image
// lists where each track lies in the file and its sector there.
std::string NrgTrailer(const std::vector<DiscImageTrack>& tracks, int32_t leadout,
                       const std::vector<int32_t>& fileSectors, uint64_t chunksAt,
                       const disc::DiscText& text, NrgLayout layout) {
  const bool wide = IsNew(layout);
  const int offsetBytes = wide ? 8 : 4;
  auto index0 = [&](size_t i) {
    return i == 0 ? -150 : tracks[i].pregap >= 0 ? tracks[i].pregap : tracks[i].start;
  };
  auto offset = [](int32_t lsn) {
    return static_cast<uint64_t>(lsn + disc::MsfOffset) * disc::SectorBytes;
  };
  auto bcd = [](int v) { return static_cast<char>(v / 10 * 16 + v % 10); };
  std::string trailer;
  std::vector<size_t> sessionTracks;
  if (IsTao(layout)) {
    // ETN2/ETNF: per track its offset and length in the file, its mode
    // (7: audio) and its first sector in the file.
    std::string etn;
    int32_t fileSector = 0;
    for (size_t i = 0; i < tracks.size(); i++) {
      etn += BigEndian(static_cast<uint64_t>(fileSector) * disc::SectorBytes, offsetBytes);
      etn += BigEndian(static_cast<uint64_t>(fileSectors[i]) * disc::SectorBytes, offsetBytes);
      etn += BigEndian(7, 4) + BigEndian(static_cast<uint32_t>(fileSector), 4);
      etn += std::string(static_cast<size_t>(offsetBytes), '\0');
      fileSector += fileSectors[i];
    }
    trailer += Chunk(wide ? "ETN2" : "ETNF", etn);
    sessionTracks.push_back(tracks.size());
  }
  for (size_t first = 0; !IsTao(layout) && first < tracks.size();) {
    // One session: its tracks run up to the next data track after audio.
    size_t last = first;
    while (last + 1 < tracks.size() && tracks[last + 1].audio == tracks[first].audio) last++;
    const int32_t sessionEnd = last + 1 < tracks.size() ? index0(last + 1) : leadout;
    // CUEX (CUES): the lead-in, index 0 and 1 of each track, the lead-out;
    // each entry ADR/control, track, index (BCD), a zero byte and the LSN
    // (in CUES a zero and the MSF time).
    std::string cue;
    auto entry = [&](int control, int track, int index, int32_t lsn) {
      cue += std::string{static_cast<char>(control << 4 | 1),
                         track == 0xAA ? static_cast<char>(0xAA) : bcd(track), bcd(index), 0};
      if (wide) {
        cue += BigEndian(static_cast<uint32_t>(lsn), 4);
      } else {
        const int32_t time = lsn + disc::MsfOffset;
        cue += std::string{0, static_cast<char>(time / 4500), static_cast<char>(time / 75 % 60),
                           static_cast<char>(time % 75)};
      }
    };
    const int control = tracks[first].audio ? 0 : 4;
    entry(control, 0, 0, first == 0 ? -150 : index0(first) - 150);
    for (size_t i = first; i <= last; i++) {
      entry(control, tracks[i].number, 0, index0(i));
      entry(control, tracks[i].number, 1, tracks[i].start);
    }
    entry(control, 0xAA, 1, sessionEnd);
    // DAOX (DAOI): a header (its own size, the catalogue number, the
    // disc's type, the first and last track), then per track its ISRC,
    // sector size, mode (7: audio; 5: data, whole raw sectors) and the file
    // offsets of index 0, index 1 and its end.
    const uint32_t count = static_cast<uint32_t>(last - first + 1);
    std::string dao;
    const uint32_t daoSize = 22 + (18 + 3 * static_cast<uint32_t>(offsetBytes)) * count;
    for (int i = 0; i < 4; i++) dao += static_cast<char>(daoSize >> (8 * i) & 0xFF);
    dao += std::string(14 + 2, '\0');
    dao += static_cast<char>(tracks[first].number);
    dao += static_cast<char>(tracks[last].number);
    for (size_t i = first; i <= last; i++) {
      dao += std::string(12, '\0');
      dao += BigEndian(disc::SectorBytes, 2);
      dao += std::string{static_cast<char>(tracks[i].audio ? 7 : 5), 0, 0, 0};
      dao += BigEndian(offset(i == 0 ? -150 : index0(i)), offsetBytes);
      dao += BigEndian(offset(tracks[i].start), offsetBytes);
      // A session ends where its data ends; the gap after it is the next
      // session's lead-in, not its own.
      const int32_t end = i < last                   ? index0(i + 1)
                          : last + 1 < tracks.size() ? index0(last + 1) - disc::SessionGap
                                                     : leadout;
      dao += BigEndian(offset(end), offsetBytes);
    }
    trailer += Chunk(wide ? "CUEX" : "CUES", cue) + Chunk(wide ? "DAOX" : "DAOI", dao);
    sessionTracks.push_back(count);
    first = last + 1;
  }
  for (size_t count : sessionTracks) trailer += Chunk("SINF", BigEndian(count, 4));
  const std::vector<CdTextBlock> blocks = CdTextBlocks(text);
  if (!blocks.empty())
    trailer += Chunk("CDTX", CdTextPacks(blocks, tracks.front().number, tracks.back().number));
  trailer += Chunk("MTYP", BigEndian(1, 4));
  trailer += Chunk("END!", "");
  trailer += wide ? "NER5" + BigEndian(chunksAt, 8) : "NERO" + BigEndian(chunksAt, 4);
  return trailer;
}

// A cue sheet's TITLE and PERFORMER lines, indented by `indent`.
std::string CueText(const disc::TrackText& text, const std::string& indent) {
  std::string lines;
  if (!text.title.empty()) lines += indent + "TITLE \"" + text.title + "\"\n";
  if (!text.performer.empty()) lines += indent + "PERFORMER \"" + text.performer + "\"\n";
  return lines;
}

// A .toc's string: bytes outside printable ASCII in octal, as cdrdao writes them.
std::string TocString(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char octal[8];
      snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    }
  }
  return out + "\"";
}

// A .toc's CD_TEXT block for the disc (track -1) or an audio track (its
// index), in each language of `blocks`.
std::string TocText(const std::vector<CdTextBlock>& blocks, int track) {
  if (blocks.empty()) return "";
  std::string text = "CD_TEXT {\n";
  if (track < 0) {
    text += "  LANGUAGE_MAP {\n";
    for (size_t b = 0; b < blocks.size(); b++)
      text +=
          "    " + std::to_string(b) + " : " +
          (blocks[b].language == 0x09 ? std::string("EN") : std::to_string(blocks[b].language)) +
          "\n";
    text += "  }\n";
  }
  for (size_t b = 0; b < blocks.size(); b++) {
    const size_t index = static_cast<size_t>(track);
    const disc::TrackText none;
    const disc::TrackText& entry = track < 0 ? blocks[b].text.disc
                                   : index < blocks[b].text.tracks.size()
                                       ? blocks[b].text.tracks[index]
                                       : none;
    text += "  LANGUAGE " + std::to_string(b) + " {\n    TITLE " + TocString(entry.title) +
            "\n    PERFORMER " + TocString(entry.performer) + "\n";
    if (track < 0) text += "    SIZE_INFO { " + std::to_string(blocks[b].characters) + ", 1 }\n";
    text += "  }\n";
  }
  return text + "}\n";
}

}  // namespace

bool WriteDiscImage(const std::string& sheetPath, const DiscImageSpec& spec, DiscImage* image,
                    std::string* error) {
  if (spec.audioSectors.empty() || spec.audioSectors.size() > 97) {
    *error = "give between 1 and 97 audio tracks";
    return false;
  }
  if (spec.toc && spec.dataSession > 0) {
    *error = "a .toc holds one session: no data session";
    return false;
  }
  const bool tao = spec.nrg && IsTao(spec.nrgLayout);
  if (spec.nrg && (spec.toc || spec.dataFirst > 0)) {
    *error = "a .nrg begins with audio";
    return false;
  }
  if (tao && (spec.dataSession > 0 || spec.pregap > 0)) {
    *error = "a track-at-once .nrg is audio tracks without pregaps";
    return false;
  }
  if (!spec.cdTextFile.empty() && (spec.toc || spec.nrg)) {
    *error = "a CD-Text file belongs to a cue sheet";
    return false;
  }
  if (spec.swap && !spec.toc) {
    *error = "SWAP belongs to a .toc";
    return false;
  }
  for (int sectors : spec.audioSectors)
    if (sectors < 1 || sectors <= spec.pregap) {
      *error = "every audio track needs more sectors than the pregap";
      return false;
    }
  std::string binName = spec.binName;
  if (binName.empty()) {
    binName = Stem(sheetPath) + ".bin";
  }
  *image = DiscImage();
  image->sheetPath = sheetPath;
  image->binPath = spec.nrg ? sheetPath : Folder(sheetPath) + binName;

  // The bin is written piece by piece, so a long disc costs no memory.
  std::ofstream binFile(image->binPath, std::ios::binary);
  std::vector<uint8_t> bin;
  int32_t written = 0;
  // A .toc's raw audio is big-endian unless its FILE lines say SWAP.
  bool audio = false;
  bool bigEndian = spec.toc && !spec.swap;
  if (spec.nrg && !tao) binFile << std::string(static_cast<size_t>(150) * disc::SectorBytes, '\0');
  std::function<void()> flush = [&] {
    if (audio && bigEndian)
      for (size_t i = 0; i + 1 < bin.size(); i += 2) std::swap(bin[i], bin[i + 1]);
    binFile.write(reinterpret_cast<const char*>(bin.data()),
                  static_cast<std::streamsize>(bin.size()));
    written += static_cast<int32_t>(bin.size() / disc::SectorBytes);
    bin.clear();
  };
  Noise noise{12345};
  const std::vector<CdTextBlock> blocks = CdTextBlocks(spec.text);
  // The sheet's text, or its CD-Text file.
  const bool sheetText = spec.cdTextFile.empty();
  std::string cue =
      sheetText ? CueText(spec.text.disc, "") : "CDTEXTFILE \"" + spec.cdTextFile + "\"\n";
  cue += "FILE \"" + binName + "\" BINARY\n";
  std::string toc = (spec.dataFirst > 0 ? "CD_ROM\n" : "CD_DA\n") + TocText(blocks, -1);
  int number = 1;
  if (spec.dataFirst > 0) {
    cue += "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
    toc += "\nTRACK MODE1_RAW\nDATAFILE \"" + binName + "\" " + Msf(spec.dataFirst) + "\n";
    image->tracks.push_back({number++, false, 0, -1});
    AppendData(bin, 0, spec.dataFirst);
    flush();
  }
  for (size_t i = 0; i < spec.audioSectors.size(); i++) {
    char header[32];
    snprintf(header, sizeof header, "  TRACK %02d AUDIO\n", number);
    cue += header;
    const bool emphasised = std::find(spec.preEmphasis.begin(), spec.preEmphasis.end(),
                                      static_cast<int>(i)) != spec.preEmphasis.end();
    if (emphasised) cue += "    FLAGS PRE\n";
    if (sheetText && i < spec.text.tracks.size()) cue += CueText(spec.text.tracks[i], "    ");
    int32_t here = written;
    int32_t pregap = -1;
    int sectors = spec.audioSectors[i];
    toc += std::string("\nTRACK AUDIO\n") + (emphasised ? "PRE_EMPHASIS\n" : "") +
           TocText(blocks, static_cast<int>(i)) + "FILE \"" + binName + "\" " +
           (spec.swap ? "SWAP " : "") + Msf(here) + " " + Msf(sectors) + "\n";
    if (spec.pregap > 0 && i > 0) toc += "START " + Msf(spec.pregap) + "\n";
    audio = true;
    if (spec.pregap > 0 && i > 0) {
      pregap = here;
      cue += "    INDEX 00 " + Msf(here) + "\n";
      AppendNoise(bin, spec.pregap, noise);
      here += spec.pregap;
      sectors -= spec.pregap;
    }
    cue += "    INDEX 01 " + Msf(here) + "\n";
    image->tracks.push_back({number, true, here, pregap});
    AppendTone(bin, number++, sectors, noise, flush);
    flush();
    audio = false;
  }
  if (spec.dataSession > 0) {
    // The gap between the sessions is in the bin, as a disc image of a
    // second session lays it out; its sectors are never audio.
    AppendData(bin, written, disc::SessionGap);
    flush();
    int32_t here = written;
    char header[64];
    snprintf(header, sizeof header, "REM SESSION 02\n  TRACK %02d MODE1/2352\n", number);
    cue += header;
    cue += "    INDEX 01 " + Msf(here) + "\n";
    image->tracks.push_back({number++, false, here, -1});
    AppendData(bin, here, spec.dataSession);
    flush();
  }
  image->sectors = written;
  if (spec.nrg) {
    const uint64_t chunksAt =
        static_cast<uint64_t>(written + (tao ? 0 : disc::MsfOffset)) * disc::SectorBytes;
    // Track-at-once: each track after its gap on the disc.
    for (size_t i = 0; tao && i < image->tracks.size(); i++)
      image->tracks[i].start += disc::MsfOffset * static_cast<int32_t>(i);
    binFile << NrgTrailer(image->tracks, written,
                          std::vector<int32_t>(spec.audioSectors.begin(), spec.audioSectors.end()),
                          chunksAt, spec.text, spec.nrgLayout);
  }
  if (!sheetText) {
    std::ofstream packs(Folder(sheetPath) + spec.cdTextFile, std::ios::binary);
    const int first = image->tracks.front().number;
    packs << CdTextPacks(CdTextBlocks(spec.text), first,
                         first + static_cast<int>(spec.audioSectors.size()) - 1);
    if (!packs) {
      *error = "cannot write " + Folder(sheetPath) + spec.cdTextFile;
      return false;
    }
  }
  binFile.close();
  std::ofstream cueFile;
  if (!spec.nrg) {
    cueFile.open(sheetPath);
    cueFile << (spec.toc ? toc : cue);
  }
  if (!binFile || (!spec.nrg && !cueFile)) {
    *error = "cannot write " + sheetPath + " or " + image->binPath;
    return false;
  }
  return true;
}

std::string Msf(int32_t sectors) {
  char text[16];
  snprintf(text, sizeof text, "%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
  return text;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& path) {
  std::string name = BaseName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string BigEndian(uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; i--) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

std::vector<uint8_t> ReadBin(const std::string& binPath, int32_t lsn, int32_t count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * disc::SectorBytes);
  std::ifstream in(binPath, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(lsn) * disc::SectorBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

}  // namespace mkdisc
