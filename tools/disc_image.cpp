#include "tools/disc_image.h"

#include <math.h>
#include <stdio.h>

#include <fstream>
#include <functional>
#include <utility>

namespace mkdisc {

namespace {

// A small deterministic noise source, so no two sectors are alike.
struct Noise {
  uint32_t state;
  int Next() {
    state = state * 1664525u + 1013904223u;
    return (int)(state >> 24) - 128;
  }
};

void PutSample(std::vector<uint8_t>& out, int value) {
  if (value > 32767) value = 32767;
  if (value < -32768) value = -32768;
  out.push_back((uint8_t)(value & 0xFF));
  out.push_back((uint8_t)((value >> 8) & 0xFF));
}

// Track n sounds a tone of 220 Hz times the n-th step of a major scale.
void AppendTone(std::vector<uint8_t>& out, int track, int sectors, Noise& noise,
                const std::function<void()>& flush) {
  static const double kSteps[] = {1.0, 1.125, 1.25, 1.333, 1.5, 1.667, 1.875};
  double frequency = 220.0 * kSteps[(track - 1) % 7] * (1 << ((track - 1) / 7 % 3));
  long frames = (long)sectors * (kSectorBytes / 4);
  for (long i = 0; i < frames; i++) {
    int tone = (int)(6000.0 * sin(2.0 * M_PI * frequency * (double)i / 44100.0));
    PutSample(out, tone + noise.Next());
    PutSample(out, tone + noise.Next());
    if (out.size() >= 75 * kSectorBytes) flush();
  }
}

void AppendNoise(std::vector<uint8_t>& out, int sectors, Noise& noise) {
  for (long i = 0; i < (long)sectors * (kSectorBytes / 2); i++) PutSample(out, noise.Next() / 4);
}

// Data sectors: sync pattern, header and a recognisable fill.
void AppendData(std::vector<uint8_t>& out, int32_t first_lsn, int sectors) {
  for (int s = 0; s < sectors; s++) {
    size_t at = out.size();
    out.resize(at + kSectorBytes, 0x5A);
    out[at] = 0;
    for (int i = 1; i < 11; i++) out[at + i] = 0xFF;
    out[at + 11] = 0;
    int32_t msf = first_lsn + s + 150;
    auto bcd = [](int v) { return (uint8_t)(v / 10 * 16 + v % 10); };
    out[at + 12] = bcd(msf / 4500);
    out[at + 13] = bcd(msf / 75 % 60);
    out[at + 14] = bcd(msf % 75);
    out[at + 15] = 1;
  }
}

std::string Msf(int32_t sectors) {
  char text[16];
  snprintf(text, sizeof text, "%02d:%02d:%02d", sectors / 4500, sectors / 75 % 60, sectors % 75);
  return text;
}

void PutBig(std::string& out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; i--) out += (char)(value >> (8 * i) & 0xFF);
}

std::string Chunk(const char* id, const std::string& body) {
  std::string chunk = id;
  PutBig(chunk, body.size(), 4);
  return chunk + body;
}

// The chunks and footer Nero writes after a disc-at-once image's sectors,
// which start with track 1's 150-sector pregap: so byte offsets in the
// file are (LSN + 150) * 2352, and index 0 of track 1 is LSN -150.
std::string NrgTrailer(const std::vector<DiscImageTrack>& tracks, int32_t leadout,
                       uint64_t chunks_at) {
  auto index0 = [&](size_t i) {
    return i == 0 ? -150 : tracks[i].pregap >= 0 ? tracks[i].pregap : tracks[i].start;
  };
  auto offset = [](int32_t lsn) { return (uint64_t)(lsn + 150) * kSectorBytes; };
  auto bcd = [](int v) { return (char)(v / 10 * 16 + v % 10); };
  // CUEX: the lead-in, index 0 and 1 of each track, the lead-out; each
  // entry ADR/control, track, index (BCD), a zero byte and the LSN.
  std::string cue;
  auto entry = [&](int track, int index, int32_t lsn) {
    cue += std::string{1, bcd(track), bcd(index), 0};
    PutBig(cue, (uint32_t)lsn, 4);
  };
  entry(0, 0, -150);
  for (size_t i = 0; i < tracks.size(); i++) {
    entry(tracks[i].number, 0, index0(i));
    entry(tracks[i].number, 1, tracks[i].start);
  }
  cue += std::string{1, (char)0xAA, 1, 0};
  PutBig(cue, (uint32_t)leadout, 4);
  // DAOX: a header (its own size, the catalogue number, the disc's type,
  // the first and last track), then per track its ISRC, sector size, mode
  // (7: audio, 2352 bytes) and the file offsets of index 0, index 1 and
  // its end.
  std::string dao;
  uint32_t dao_size = 22 + 42 * (uint32_t)tracks.size();
  for (int i = 0; i < 4; i++) dao += (char)(dao_size >> (8 * i) & 0xFF);
  dao += std::string(14 + 2, '\0');
  dao += (char)tracks.front().number;
  dao += (char)tracks.back().number;
  for (size_t i = 0; i < tracks.size(); i++) {
    dao += std::string(12, '\0');
    PutBig(dao, kSectorBytes, 2);
    dao += std::string{7, 0, 0, 0};
    PutBig(dao, offset(index0(i)), 8);
    PutBig(dao, offset(tracks[i].start), 8);
    PutBig(dao, offset(i + 1 < tracks.size() ? index0(i + 1) : leadout), 8);
  }
  std::string session;
  PutBig(session, tracks.size(), 4);
  std::string trailer =
      Chunk("CUEX", cue) + Chunk("DAOX", dao) + Chunk("SINF", session) + Chunk("END!", "");
  trailer += "NER5";
  PutBig(trailer, chunks_at, 8);
  return trailer;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

bool WriteDiscImage(const std::string& sheet_path, const DiscImageSpec& spec, DiscImage* image,
                    std::string* error) {
  if (spec.audio_sectors.empty() || spec.audio_sectors.size() > 97) {
    *error = "give between 1 and 97 audio tracks";
    return false;
  }
  if (spec.toc && spec.data_session > 0) {
    *error = "a .toc holds one session: no data session";
    return false;
  }
  if (spec.nrg && (spec.toc || spec.data_first > 0 || spec.data_session > 0)) {
    *error = "a .nrg is made of audio tracks only";
    return false;
  }
  if (spec.swap && !spec.toc) {
    *error = "SWAP belongs to a .toc";
    return false;
  }
  for (int sectors : spec.audio_sectors)
    if (sectors < 1 || sectors <= spec.pregap) {
      *error = "every audio track needs more sectors than the pregap";
      return false;
    }
  std::string bin_name = spec.bin_name;
  if (bin_name.empty()) {
    bin_name = BaseName(sheet_path);
    size_t dot = bin_name.rfind('.');
    bin_name = (dot == std::string::npos ? bin_name : bin_name.substr(0, dot)) + ".bin";
  }
  *image = DiscImage();
  image->sheet_path = sheet_path;
  image->bin_path = spec.nrg ? sheet_path : Folder(sheet_path) + bin_name;

  // The bin is written piece by piece, so a long disc costs no memory.
  std::ofstream bin_file(image->bin_path, std::ios::binary);
  std::vector<uint8_t> bin;
  int32_t written = 0;
  // A .toc's raw audio is big-endian unless its FILE lines say SWAP.
  bool audio = false;
  bool big_endian = spec.toc && !spec.swap;
  if (spec.nrg) bin_file << std::string((size_t)150 * kSectorBytes, '\0');
  std::function<void()> flush = [&] {
    if (audio && big_endian)
      for (size_t i = 0; i + 1 < bin.size(); i += 2) std::swap(bin[i], bin[i + 1]);
    bin_file.write((const char*)bin.data(), (std::streamsize)bin.size());
    written += (int32_t)(bin.size() / kSectorBytes);
    bin.clear();
  };
  Noise noise{12345};
  std::string cue = "FILE \"" + bin_name + "\" BINARY\n";
  std::string toc = spec.data_first > 0 ? "CD_ROM\n" : "CD_DA\n";
  int number = 1;
  if (spec.data_first > 0) {
    cue += "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n";
    toc += "\nTRACK MODE1_RAW\nDATAFILE \"" + bin_name + "\" " + Msf(spec.data_first) + "\n";
    image->tracks.push_back({number++, false, 0, -1});
    AppendData(bin, 0, spec.data_first);
    flush();
  }
  for (size_t i = 0; i < spec.audio_sectors.size(); i++) {
    char header[32];
    snprintf(header, sizeof header, "  TRACK %02d AUDIO\n", number);
    cue += header;
    int32_t here = written;
    int32_t pregap = -1;
    int sectors = spec.audio_sectors[i];
    toc += "\nTRACK AUDIO\nFILE \"" + bin_name + "\" " + (spec.swap ? "SWAP " : "") + Msf(here) +
           " " + Msf(sectors) + "\n";
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
  if (spec.data_session > 0) {
    // The gap between the sessions is in the bin, as a disc image of a
    // second session lays it out; its sectors are never audio.
    AppendData(bin, written, kSessionGap);
    flush();
    int32_t here = written;
    char header[64];
    snprintf(header, sizeof header, "REM SESSION 02\n  TRACK %02d MODE1/2352\n", number);
    cue += header;
    cue += "    INDEX 01 " + Msf(here) + "\n";
    image->tracks.push_back({number++, false, here, -1});
    AppendData(bin, here, spec.data_session);
    flush();
  }
  image->sectors = written;
  if (spec.nrg)
    bin_file << NrgTrailer(image->tracks, written, (uint64_t)(written + 150) * kSectorBytes);
  bin_file.close();
  std::ofstream cue_file;
  if (!spec.nrg) {
    cue_file.open(sheet_path);
    cue_file << (spec.toc ? toc : cue);
  }
  if (!bin_file || (!spec.nrg && !cue_file)) {
    *error = "cannot write " + sheet_path + " or " + image->bin_path;
    return false;
  }
  return true;
}

std::vector<uint8_t> ReadBin(const std::string& bin_path, int32_t lsn, int32_t count) {
  std::vector<uint8_t> bytes((size_t)count * kSectorBytes);
  std::ifstream in(bin_path, std::ios::binary);
  in.seekg((std::streamoff)lsn * kSectorBytes);
  in.read((char*)bytes.data(), (std::streamsize)bytes.size());
  bytes.resize((size_t)in.gcount());
  return bytes;
}

}  // namespace mkdisc
