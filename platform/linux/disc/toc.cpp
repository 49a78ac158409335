// SPDX-License-Identifier: GPL-3.0-or-later
// cdrdao's .toc files: the sheet parsed, then the image it describes laid
// out as cdrdao means it: each track the concatenation of its statements,
// padded with silence to whole sectors, the tracks one after another. Raw
// audio files hold big-endian samples and .wav files little-endian ones;
// SWAP reverses either.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "platform/linux/common/bytes.h"
#include "platform/linux/common/file.h"
#include "platform/linux/common/text.h"
#include "platform/linux/disc/sources.h"

namespace disc {

// ---- The sheet ----

namespace {

constexpr int64_t MostBytes = static_cast<int64_t>(1) << 40;

// CD-Text's codes for the languages and the character code a sheet names.
constexpr long EnglishLanguage = 0x09;
constexpr long JapaneseLanguage = 0x69;
constexpr long MsJisCharacters = 0x80;

struct Token {
  std::string text;
  bool quoted = false;
  int line = 0;
};

bool IsOctal(const std::string& text, size_t at) {
  return at < text.size() && text[at] >= '0' && text[at] <= '7';
}

// Splits the text into words, quoted strings (with cdrdao's \" and \ooo
// escapes) and braces, dropping // comments.
bool Tokenize(const std::string& text, std::vector<Token>* tokens, std::string* why) {
  int line = 1;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\n') {
      line++;
      i++;
    } else if (isspace(static_cast<unsigned char>(c))) {
      i++;
    } else if (text.compare(i, 2, "//") == 0) {
      while (i < text.size() && text[i] != '\n') i++;
    } else if (c == '"') {
      Token token{"", true, line};
      for (i++;; i++) {
        if (i >= text.size() || text[i] == '\n') {
          *why = "line " + std::to_string(line) + ": unterminated string";
          return false;
        }
        if (text[i] == '"') break;
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
          token.text += '"';
          i++;
        } else if (text[i] == '\\' && IsOctal(text, i + 1) && IsOctal(text, i + 2) &&
                   IsOctal(text, i + 3)) {
          // \ooo is a byte in octal; a backslash before anything else,
          // "\999" too, stands for itself.
          const int value =
              (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
          token.text += static_cast<char>(value & 0xff);
          i += 3;
        } else {
          token.text += text[i];
        }
      }
      i++;
      tokens->push_back(token);
    } else if (c == '{' || c == '}') {
      tokens->push_back({std::string(1, c), false, line});
      i++;
    } else {
      Token token{"", false, line};
      while (i < text.size() && !isspace(static_cast<unsigned char>(text[i])) && text[i] != '"' &&
             text[i] != '{' && text[i] != '}' && text.compare(i, 2, "//") != 0)
        token.text += text[i++];
      tokens->push_back(token);
    }
  }
  return true;
}

// Bytes of one image sector of a track mode, or 0 for no mode.
int BlockBytes(const std::string& mode) {
  static const struct {
    const char* name;
    int bytes;
  } Modes[] = {{"AUDIO", 2352},       {"MODE0", 2336},       {"MODE1", 2048},
               {"MODE1_RAW", 2352},   {"MODE2", 2336},       {"MODE2_RAW", 2352},
               {"MODE2_FORM1", 2048}, {"MODE2_FORM2", 2324}, {"MODE2_FORM_MIX", 2336}};
  for (const auto& known : Modes)
    if (mode == known.name) return known.bytes;
  return 0;
}

bool EndsWithWav(const std::string& name) {
  if (name.size() < 4) return false;
  return common::AsciiLower(name.substr(name.size() - 4)) == ".wav";
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, const std::string& folder, TocSheet* sheet)
      : tokens_(std::move(tokens)), folder_(folder), sheet_(sheet) {}

  std::string Parse() {
    while (Is("CATALOG") || Is("CD_DA") || Is("CD_ROM") || Is("CD_ROM_XA") || Is("CD_I"))
      if (Take().text == "CATALOG" && !String(nullptr)) return Fail("CATALOG without a number");
    if (Is("CD_TEXT") && !CdText(&discTexts_)) return Fail("unfinished CD_TEXT block");
    while (error_.empty() && Is("TRACK")) Track();
    if (!error_.empty()) return error_;
    ChooseText();
    if (sheet_->tracks.empty()) return Fail("no TRACK");
    if (at_ < tokens_.size()) return Fail("unexpected " + tokens_[at_].text);
    if (sheet_->tracks.size() > 99) return "more than 99 tracks";
    return "";
  }

 private:
  bool Is(const char* word) const {
    return at_ < tokens_.size() && !tokens_[at_].quoted && tokens_[at_].text == word;
  }
  bool IsNumber() const {
    return at_ < tokens_.size() && !tokens_[at_].quoted &&
           isdigit(static_cast<unsigned char>(tokens_[at_].text[0]));
  }
  Token Take() { return at_ < tokens_.size() ? tokens_[at_++] : Token(); }

  std::string Fail(const std::string& what) {
    if (error_.empty()) {
      int line = at_ < tokens_.size() ? tokens_[at_].line
                 : tokens_.empty()    ? 1
                                      : tokens_.back().line;
      error_ = "line " + std::to_string(line) + ": " + what;
    }
    return error_;
  }

  bool String(std::string* text) {
    if (at_ >= tokens_.size() || !tokens_[at_].quoted) return false;
    Token token = Take();
    if (text) *text = token.text;
    return true;
  }

  // Skips a { ... } block with its nested blocks.
  bool SkipBraces() {
    if (!Is("{")) return false;
    int depth = 0;
    do {
      if (at_ >= tokens_.size()) return false;
      Token token = Take();
      if (!token.quoted && token.text == "{") depth++;
      if (!token.quoted && token.text == "}") depth--;
    } while (depth > 0);
    return true;
  }

  // The texts of one CD_TEXT block's languages, raw, by language number.
  using Texts = std::map<int, TrackText>;

  // CD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE "..." ... } }:
  // the titles and performers, the language map and each language's
  // character code (the first byte of its SIZE_INFO); all else skipped.
  bool CdText(Texts* texts) {
    Take();
    if (!Is("{")) return false;
    Take();
    while (!Is("}")) {
      if (at_ >= tokens_.size()) return false;
      if (Is("LANGUAGE_MAP")) {
        Take();
        if (!LanguageMap()) return false;
      } else if (Is("LANGUAGE")) {
        Take();
        int64_t number = -1;
        if (!IsNumber() || !Count(Take().text, 7, &number) || !Is("{")) return false;
        Take();
        TrackText& text = (*texts)[static_cast<int>(number)];
        while (!Is("}")) {
          if (at_ >= tokens_.size()) return false;
          const Token item = Take();
          if (!item.quoted && (item.text == "TITLE" || item.text == "PERFORMER") &&
              at_ < tokens_.size() && tokens_[at_].quoted)
            (item.text == "TITLE" ? text.title : text.performer) = Take().text;
          else if (!item.quoted && item.text == "SIZE_INFO" && Is("{") && at_ + 1 < tokens_.size())
            characterCodes_[static_cast<int>(number)] =
                std::strtol(tokens_[at_ + 1].text.c_str(), nullptr, 0);
          if (Is("{") && !SkipBraces()) return false;
        }
        Take();
      } else if (Is("{")) {
        if (!SkipBraces()) return false;
      } else {
        Take();
      }
    }
    Take();
    return true;
  }

  // { 0 : EN 1 : 105 }, however the colons are spaced.
  bool LanguageMap() {
    if (!Is("{")) return false;
    Take();
    std::string pairs;
    while (!Is("}")) {
      if (at_ >= tokens_.size()) return false;
      for (char c : Take().text) pairs += c == ':' ? std::string(" : ") : std::string(1, c);
      pairs += ' ';
    }
    Take();
    std::istringstream in(pairs);
    std::string number, colon, code;
    while (in >> number >> colon >> code) {
      int64_t block = -1;
      if (colon != ":" || !Count(number, 7, &block)) continue;
      languages_[static_cast<int>(block)] = code == "EN"   ? EnglishLanguage
                                            : code == "JA" ? JapaneseLanguage
                                                           : std::strtol(code.c_str(), nullptr, 0);
    }
    return true;
  }

  // The language the texts are shown in: a Japanese one when the sheet
  // has it, else the first; decoded from code page 932 in a Japanese or
  // MS-JIS block, else from Latin-1, unless they are UTF-8 already.
  void ChooseText() {
    std::set<int> present;
    for (const auto& [block, text] : discTexts_) present.insert(block);
    for (const Texts& texts : trackTexts_)
      for (const auto& [block, text] : texts) present.insert(block);
    if (present.empty()) return;
    int chosen = *present.begin();
    for (int block : present)
      if (languages_[block] == JapaneseLanguage || characterCodes_[block] == MsJisCharacters) {
        chosen = block;
        break;
      }
    const bool japanese =
        languages_[chosen] == JapaneseLanguage || characterCodes_[chosen] == MsJisCharacters;
    auto decode = [japanese](const std::string& bytes) {
      std::string text;
      if (common::ValidUtf8(bytes)) return bytes;
      common::ConvertText("UTF-8", japanese ? "CP932" : "ISO-8859-1", bytes, &text, "\xEF\xBF\xBD");
      return text;
    };
    auto pick = [&](Texts& texts) {
      const TrackText& raw = texts[chosen];
      return TrackText{decode(raw.title), decode(raw.performer)};
    };
    sheet_->text = pick(discTexts_);
    for (size_t i = 0; i < sheet_->tracks.size() && i < trackTexts_.size(); i++)
      sheet_->tracks[i].text = pick(trackTexts_[i]);
  }

  // An MSF position in sectors, or -1 (and the error set).
  int32_t Msf() {
    int32_t sectors = -1;
    if (!IsNumber() || !ParseMsf(tokens_[at_].text, &sectors)) {
      Fail("expected a time mm:ss:ff");
      return -1;
    }
    at_++;
    return sectors;
  }

  // Decimal digits worth at most `most`, as `value`.
  static bool Count(const std::string& digits, int64_t most, int64_t* value) {
    *value = 0;
    for (char c : digits) {
      if (!isdigit(static_cast<unsigned char>(c))) return false;
      *value = *value * 10 + (c - '0');
      if (*value > most) return false;
    }
    return !digits.empty();
  }

  // A length or position: MSF counts sectors of `block` bytes, a plain
  // number counts `unit` bytes. -1 (and the error set) when it is neither.
  int64_t Amount(int block, int unit) {
    if (!IsNumber()) {
      Fail("expected a length");
      return -1;
    }
    const std::string& text = tokens_[at_].text;
    if (text.find(':') != std::string::npos) {
      int32_t sectors = Msf();
      return sectors < 0 ? -1 : static_cast<int64_t>(sectors) * block;
    }
    int64_t value = 0;
    if (!Count(text, MostBytes / unit, &value)) {
      Fail("bad number " + text);
      return -1;
    }
    at_++;
    return value * unit;
  }

  int File(const std::string& name) {
    sheet_->files.push_back({ResolveIn(folder_, name), EndsWithWav(name)});
    return static_cast<int>(sheet_->files.size()) - 1;
  }

  void Track() {
    Take();
    TocTrack track;
    std::string mode = Take().text;
    track.blockBytes = BlockBytes(mode);
    if (track.blockBytes == 0) {
      Fail("unknown track mode " + mode);
      return;
    }
    track.audio = mode == "AUDIO";
    if (Is("RW") || Is("RW_RAW")) {
      Take();
      if (track.audio) {
        Fail("audio tracks with sub-channel data are not supported");
        return;
      }
      track.blockBytes += 96;  // sub-channel data follows each sector
    }
    int number = static_cast<int>(sheet_->tracks.size()) + 1;
    std::string name = "track " + std::to_string(number) + ": ";
    for (;;) {
      if (Is("ISRC")) {
        Take();
        if (!String(nullptr)) {
          Fail("ISRC without a code");
          return;
        }
      } else if (Is("NO")) {
        Take();
        if (!Is("COPY") && !Is("PRE_EMPHASIS")) {
          Fail("NO before neither COPY nor PRE_EMPHASIS");
          return;
        }
        if (Take().text == "PRE_EMPHASIS") track.preEmphasis = false;
      } else if (Is("PRE_EMPHASIS")) {
        Take();
        track.preEmphasis = true;
      } else if (Is("COPY") || Is("TWO_CHANNEL_AUDIO") || Is("FOUR_CHANNEL_AUDIO")) {
        Take();
      } else {
        break;
      }
    }
    trackTexts_.emplace_back();
    if (Is("CD_TEXT") && !CdText(&trackTexts_.back())) {
      Fail("unfinished CD_TEXT block");
      return;
    }
    if (Is("PREGAP")) {
      Take();
      int64_t bytes = Amount(track.blockBytes, track.blockBytes);
      if (bytes <= 0) {
        Fail(name + "PREGAP needs a length");
        return;
      }
      TocPiece silence;
      silence.length = bytes;
      track.pieces.push_back(silence);
      track.startAfter = 1;
    }
    int unit = track.audio ? SampleBytes : 1;
    for (;;) {
      bool given = track.startAfter >= 0 || track.startSectors >= 0;
      if (Is("FILE") || Is("AUDIOFILE")) {
        Take();
        if (!track.audio) {
          Fail(name + "FILE holds audio, in a data track");
          return;
        }
        TocPiece piece;
        std::string file;
        if (!String(&file) || file.empty()) {
          Fail(name + "FILE without a name");
          return;
        }
        if (Is("SWAP")) {
          Take();
          piece.swap = true;
        }
        if (!Offset(&piece)) return;
        piece.start = Amount(SectorBytes, SampleBytes);
        if (piece.start < 0) return;
        if (IsNumber()) {
          piece.length = Amount(SectorBytes, SampleBytes);
          if (piece.length < 0) return;
          if (piece.length == 0) piece.length = -1;  // 0 too means to the end
        }
        piece.file = File(file);
        track.pieces.push_back(piece);
      } else if (Is("DATAFILE")) {
        Take();
        TocPiece piece;
        std::string file;
        if (!String(&file) || file.empty()) {
          Fail(name + "DATAFILE without a name");
          return;
        }
        if (!Offset(&piece)) return;
        if (IsNumber()) {
          piece.length = Amount(track.blockBytes, unit);
          if (piece.length < 0) return;
        }
        piece.file = File(file);
        track.pieces.push_back(piece);
      } else if (Is("SILENCE") || Is("ZERO")) {
        bool zero = Take().text == "ZERO";
        int block = track.blockBytes, bytesUnit = unit;
        if (zero && BlockBytes(at_ < tokens_.size() ? tokens_[at_].text : "") != 0) {
          block = BlockBytes(Take().text);
          bytesUnit = 1;
        }
        if (zero && (Is("RW") || Is("RW_RAW"))) {
          Take();
          block += 96;
        }
        TocPiece silence;
        silence.length = Amount(block, bytesUnit);
        if (silence.length <= 0) {
          Fail(name + "SILENCE and ZERO need a length");
          return;
        }
        track.pieces.push_back(silence);
      } else if (Is("FIFO")) {
        Fail(name + "FIFO is not supported in an image");
        return;
      } else if (Is("START")) {
        Take();
        if (given) {
          Fail(name + "START given twice, or after PREGAP");
          return;
        }
        if (IsNumber()) {
          track.startSectors = Msf();
          if (track.startSectors < 0) return;
        } else {
          track.startAfter = static_cast<int>(track.pieces.size());
        }
      } else if (Is("END")) {
        Take();  // where the post-gap begins: no position on the disc changes
        if (IsNumber() && Msf() < 0) return;
      } else {
        break;
      }
    }
    while (Is("INDEX")) {
      Take();
      if (Msf() < 0) return;
    }
    if (track.pieces.empty()) {
      Fail(name + "no FILE, DATAFILE, SILENCE or ZERO");
      return;
    }
    sheet_->tracks.push_back(track);
  }

  bool Offset(TocPiece* piece) {
    if (at_ >= tokens_.size() || tokens_[at_].quoted || tokens_[at_].text[0] != '#') return true;
    Token token = Take();
    std::string digits = token.text.substr(1);
    if (digits.empty()) {  // "# 1234"
      if (!IsNumber()) {
        Fail("# without an offset");
        return false;
      }
      digits = Take().text;
    }
    int64_t value = 0;
    if (!Count(digits, MostBytes, &value)) {
      Fail("bad offset #" + digits);
      return false;
    }
    piece->offset = value;
    return true;
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
  std::string folder_;
  TocSheet* sheet_;
  Texts discTexts_;
  std::vector<Texts> trackTexts_;       // one for each track, in order
  std::map<int, long> languages_;       // language number: CD-Text language code
  std::map<int, long> characterCodes_;  // language number: SIZE_INFO's character code
  std::string error_;
};

}  // namespace

bool ParseTocSheet(const std::string& text, const std::string& folder, TocSheet* sheet,
                   std::string* why) {
  *sheet = TocSheet();
  std::vector<Token> tokens;
  if (!Tokenize(text, &tokens, why)) return false;
  const std::string problem = Parser(std::move(tokens), folder, sheet).Parse();
  if (problem.empty()) return true;
  *why = problem;
  return false;
}

// ---- The image ----

namespace {

constexpr int MaxWaveChunks = 1000;

// Where a file's samples lie, and how many bytes of them there are.
struct Contents {
  int64_t first = 0;
  int64_t bytes = 0;
};

// Finds the samples of a RIFF WAVE file of 16-bit stereo PCM at 44.1 kHz,
// as a disc holds them; false when it is not one, with `why` saying so.
bool ReadWave(int fd, int64_t size, Contents* contents, std::string* why) {
  auto fail = [why](const char* what) {
    *why = what;
    return false;
  };
  uint8_t header[12];
  if (!common::ReadAt(fd, 0, header, 12) || std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0)
    return fail("is not a RIFF WAVE file");
  bool formatSeen = false;
  // A real file holds a handful of chunks before its samples; a damaged one
  // can hold millions of empty ones (zeros), each a read: give up early.
  int chunks = 0;
  for (int64_t at = 12; at + 8 <= size; chunks++) {
    if (chunks == MaxWaveChunks) return fail("has no samples among its first chunks");
    uint8_t chunk[24];
    if (!common::ReadAt(fd, at, chunk, 8)) break;
    int64_t length = common::Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16 || !common::ReadAt(fd, at + 8, chunk + 8, 16)) break;
      uint16_t tag = common::Le16(chunk + 8);
      if ((tag != 1 && tag != 0xFFFE) || common::Le16(chunk + 10) != 2 ||
          common::Le32(chunk + 12) != SampleRate || common::Le16(chunk + 20) != 4 ||
          common::Le16(chunk + 22) != 16)
        return fail("is not 16-bit stereo PCM at 44100 Hz");
      formatSeen = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!formatSeen) return fail("has its samples before their format");
      contents->first = at + 8;
      contents->bytes = std::min(length, size - contents->first);  // a file cut short
      return true;
    }
    at += 8 + length + (length & 1);  // chunks are padded to even lengths
  }
  return fail("has no samples");
}

}  // namespace

bool LoadTocImage(const std::string& path, Disc* disc, std::string* why) {
  std::string text;
  if (!ReadSheet(path, &text, why)) return false;
  TocSheet sheet;
  std::string problem;
  auto fail = [&](const std::string& what) {
    *why = path + ": " + what;
    return false;
  };
  if (!ParseTocSheet(text, FolderOf(path), &sheet, &problem)) return fail(problem);

  std::unique_ptr<SpanReader> reader(new SpanReader);
  std::vector<Contents> files;
  for (const TocFile& named : sheet.files) {
    int file = 0;
    int64_t size = 0;
    if (!reader->Open(named.path, &file, &size, &problem)) return fail(problem);
    Contents contents{0, size};
    if (named.wave && !ReadWave(reader->Fd(file), size, &contents, &problem))
      return fail(named.path + " " + problem);
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
    track.preEmphasis = entry.audio && entry.preEmphasis;
    table.tracks.push_back(track);
    discByte += sectors * SectorBytes;  // the rest of the last sector is silence
  }
  table.leadout = static_cast<int32_t>(discByte / SectorBytes);
  if (!FinishImage(path, table, std::move(reader), disc, why)) return false;
  disc->text.disc = sheet.text;
  disc->text.tracks.clear();
  for (const TocTrack& entry : sheet.tracks) disc->text.tracks.push_back(entry.text);
  return true;
}

}  // namespace disc
