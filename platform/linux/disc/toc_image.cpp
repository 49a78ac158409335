// .toc images as cdrdao means them: each track the concatenation of its
// statements, padded with silence to whole sectors, the tracks one after
// another. Raw audio files hold big-endian samples and .wav files
// little-endian ones; SWAP reverses either.
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/linux/common/bytes.h"
#include "platform/linux/common/file.h"
#include "platform/linux/disc/disc.h"
#include "platform/linux/disc/loaders.h"
#include "platform/linux/disc/span_reader.h"
#include "platform/linux/disc/toc_sheet.h"

namespace disc {

namespace {

constexpr int MaxWaveChunks = 1000;

// Where a file's samples lie, and how many bytes of them there are.
struct Contents {
  int64_t first = 0;
  int64_t bytes = 0;
};

// Finds the samples of a RIFF WAVE file of 16-bit stereo PCM at 44.1 kHz,
// as a disc holds them; an empty string when it is one.
std::string ReadWave(int fd, int64_t size, Contents* contents) {
  uint8_t header[12];
  if (!common::ReadAt(fd, 0, header, 12) || memcmp(header, "RIFF", 4) != 0 ||
      memcmp(header + 8, "WAVE", 4) != 0)
    return "is not a RIFF WAVE file";
  bool formatSeen = false;
  // A real file holds a handful of chunks before its samples; a damaged one
  // can hold millions of empty ones (zeros), each a read: give up early.
  int chunks = 0;
  for (int64_t at = 12; at + 8 <= size; chunks++) {
    if (chunks == MaxWaveChunks) return "has no samples among its first chunks";
    uint8_t chunk[24];
    if (!common::ReadAt(fd, at, chunk, 8)) break;
    int64_t length = common::Le32(chunk + 4);
    if (memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16 || !common::ReadAt(fd, at + 8, chunk + 8, 16)) break;
      uint16_t tag = common::Le16(chunk + 8);
      if ((tag != 1 && tag != 0xFFFE) || common::Le16(chunk + 10) != 2 ||
          common::Le32(chunk + 12) != SampleRate || common::Le16(chunk + 20) != 4 ||
          common::Le16(chunk + 22) != 16)
        return "is not 16-bit stereo PCM at 44100 Hz";
      formatSeen = true;
    } else if (memcmp(chunk, "data", 4) == 0) {
      if (!formatSeen) return "has its samples before their format";
      contents->first = at + 8;
      contents->bytes = std::min(length, size - contents->first);  // a file cut short
      return "";
    }
    at += 8 + length + (length & 1);  // chunks are padded to even lengths
  }
  return "has no samples";
}

}  // namespace

DiscState LoadTocImage(const std::string& path, Disc* disc, std::string* why) {
  std::string text;
  if (!ReadSheet(path, &text, why)) return DiscState::Unreadable;
  TocSheet sheet;
  std::string problem = ParseTocSheet(text, FolderOf(path), &sheet);
  auto fail = [&](const std::string& what) {
    *why = path + ": " + what;
    return DiscState::Unreadable;
  };
  if (!problem.empty()) return fail(problem);

  std::unique_ptr<SpanReader> reader(new SpanReader);
  std::vector<Contents> files;
  for (const TocFile& named : sheet.files) {
    int64_t size = 0;
    int file = reader->Open(named.path, &size);
    if (file < 0) return fail("cannot open " + named.path);
    Contents contents{0, size};
    if (named.wave) {
      problem = ReadWave(reader->Fd(file), size, &contents);
      if (!problem.empty()) return fail(named.path + " " + problem);
    }
    files.push_back(contents);
  }

  TrackTable table;
  int64_t discByte = 0;
  for (size_t index = 0; index < sheet.tracks.size(); index++) {
    const TocTrack& entry = sheet.tracks[index];
    std::string name = "track " + std::to_string(index + 1) + " ";
    int64_t length = 0;       // the track's image bytes so far
    int64_t startBytes = -1;  // where START without a position lies
    for (size_t i = 0; i < entry.pieces.size(); i++) {
      if (static_cast<int>(i) == entry.startAfter) startBytes = length;
      const TocPiece& piece = entry.pieces[i];
      int64_t bytes = piece.length;
      if (piece.file >= 0) {
        const Contents& contents = files[static_cast<size_t>(piece.file)];
        int64_t skip = piece.offset + piece.start;
        int64_t left = contents.bytes - skip;
        if (entry.audio) left -= left % SampleBytes;
        if (bytes < 0) bytes = left;
        if (bytes <= 0 || bytes > left)
          return fail(name + "takes more from " +
                      sheet.files[static_cast<size_t>(piece.file)].path + " than it holds");
        if (entry.audio) {
          ImageSpan span;
          span.discByte = discByte + length;
          span.bytes = bytes;
          span.file = piece.file;
          span.fileByte = contents.first + skip;
          span.bigEndian = sheet.files[static_cast<size_t>(piece.file)].wave == piece.swap;
          reader->Add(span);
        }
      }
      length += bytes;
    }
    if (entry.startAfter == static_cast<int>(entry.pieces.size())) startBytes = length;
    int64_t sectors = (length + entry.blockBytes - 1) / entry.blockBytes;
    int64_t pregap = entry.startSectors >= 0 ? entry.startSectors
                     : startBytes >= 0 ? (startBytes + entry.blockBytes - 1) / entry.blockBytes
                                       : 0;
    if (sectors > MaxImageSectors || discByte / SectorBytes + sectors > MaxImageSectors)
      return fail(name + "is too long for a disc");
    if (pregap >= sectors) return fail(name + "starts at or past its own end");
    Track track;
    int32_t first = static_cast<int32_t>(discByte / SectorBytes);
    track.start = first + static_cast<int32_t>(pregap);
    track.pregap = pregap > 0 ? first : -1;
    track.audio = entry.audio;
    table.tracks.push_back(track);
    discByte += sectors * SectorBytes;  // the rest of the last sector is silence
  }
  table.leadout = static_cast<int32_t>(discByte / SectorBytes);
  return FinishImage(path, table, std::move(reader), disc, why);
}

}  // namespace disc
