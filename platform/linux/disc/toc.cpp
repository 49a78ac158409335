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
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "platform/linux/common/bytes.h"
#include "platform/linux/common/file.h"
#include "platform/linux/common/text.h"
#include "platform/linux/disc/cd_text_codes.h"
#include "platform/linux/disc/sources.h"

namespace disc {

// ---- The sheet ----

namespace {

constexpr int64_t MostBytes = static_cast<int64_t>(1) << 40;

// Bytes of sub-channel data an image may keep after each sector (RW, RW_RAW).
constexpr int SubChannelBytes = 96;

struct Token {
  std::string text;
  bool quoted = false;
  int line = 0;
};

bool IsOctal(const std::string& text, size_t at) {
  return at < text.size() && text[at] >= '0' && text[at] <= '7';
}

// The quoted string that starts at `*i`, with cdrdao's \" and \ooo
// escapes, into `quoted`; `*i` left past its closing quote. False when the
// line ends first.
bool ReadQuoted(const std::string& text, size_t* i, std::string* quoted) {
  for (size_t at = *i + 1;; at++) {
    if (at >= text.size() || text[at] == '\n') return false;
    if (text[at] == '"') {
      *i = at + 1;
      return true;
    }
    if (text[at] == '\\' && at + 1 < text.size() && text[at + 1] == '"') {
      *quoted += '"';
      at++;
    } else if (text[at] == '\\' && IsOctal(text, at + 1) && IsOctal(text, at + 2) &&
               IsOctal(text, at + 3)) {
      // \ooo is a byte in octal; a backslash before anything else, "\999"
      // too, stands for itself.
      const int value = (text[at + 1] - '0') * 64 + (text[at + 2] - '0') * 8 + (text[at + 3] - '0');
      *quoted += static_cast<char>(value & 0xff);
      at += 3;
    } else {
      *quoted += text[at];
    }
  }
}

// Splits the text into words, quoted strings and braces, dropping //
// comments.
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
      if (!ReadQuoted(text, &i, &token.text)) {
        *why = "line " + std::to_string(line) + ": unterminated string";
        return false;
      }
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
  } Modes[] = {{"AUDIO", SectorBytes},     {"MODE0", 2336},       {"MODE1", 2048},
               {"MODE1_RAW", SectorBytes}, {"MODE2", 2336},       {"MODE2_RAW", SectorBytes},
               {"MODE2_FORM1", 2048},      {"MODE2_FORM2", 2324}, {"MODE2_FORM_MIX", 2336}};
  for (const auto& known : Modes)
    if (mode == known.name) return known.bytes;
  return 0;
}

bool EndsWithWav(const std::string& name) {
  if (name.size() < 4) return false;
  return common::AsciiLower(name.substr(name.size() - 4)) == ".wav";
}

// A plain number counts image bytes of the track's data: whole samples in
// audio, bytes in data.
int Unit(const TocTrack& track) { return track.audio ? SampleBytes : 1; }

// Decimal digits worth at most `most`, as `value`.
bool Count(const std::string& digits, int64_t most, int64_t* value) {
  *value = 0;
  for (char c : digits) {
    if (!isdigit(static_cast<unsigned char>(c))) return false;
    *value = *value * 10 + (c - '0');
    if (*value > most) return false;
  }
  return !digits.empty();
}

// The sheet's statements, one method each. A method that fails says why
// through Fail, which names the line of the token it stopped at.
class Parser {
 public:
  Parser(std::vector<Token> tokens, const std::string& folder, TocSheet* sheet, std::string* why)
      : tokens_(std::move(tokens)), folder_(folder), sheet_(sheet), why_(why) {}

  bool Parse() {
    while (Is("CATALOG") || Is("CD_DA") || Is("CD_ROM") || Is("CD_ROM_XA") || Is("CD_I"))
      if (Take().text == "CATALOG" && !TakeString(nullptr)) return Fail("CATALOG without a number");
    if (Is("CD_TEXT") && !CdText(&discTexts_)) return false;
    while (Is("TRACK"))
      if (!Track()) return false;
    ChooseText();
    if (sheet_->tracks.empty()) return Fail("no TRACK");
    if (at_ < tokens_.size()) return Fail("unexpected " + tokens_[at_].text);
    if (sheet_->tracks.size() > MaxTracks)
      return FailAt(extraTrackLine_, "more than " + std::to_string(MaxTracks) + " tracks");
    return true;
  }

 private:
  // A statement of a track, read by the method that follows its keyword.
  struct Statement {
    const char* keyword;
    bool (Parser::*read)(TocTrack* track);
  };

  bool Is(const char* word) const {
    return at_ < tokens_.size() && !tokens_[at_].quoted && tokens_[at_].text == word;
  }
  bool IsNumber() const {
    return at_ < tokens_.size() && !tokens_[at_].quoted &&
           isdigit(static_cast<unsigned char>(tokens_[at_].text[0]));
  }
  Token Take() { return at_ < tokens_.size() ? tokens_[at_++] : Token(); }

  // Takes the quoted string that comes next, if one does.
  bool TakeString(std::string* text) {
    if (at_ >= tokens_.size() || !tokens_[at_].quoted) return false;
    Token token = Take();
    if (text) *text = token.text;
    return true;
  }

  bool Fail(const std::string& what) {
    return FailAt(at_ < tokens_.size() ? tokens_[at_].line
                  : tokens_.empty()    ? 1
                                       : tokens_.back().line,
                  what);
  }
  bool FailAt(int line, const std::string& what) {
    *why_ = "line " + std::to_string(line) + ": " + what;
    return false;
  }
  bool Unfinished() { return Fail("unfinished CD_TEXT block"); }

  // "track N: ", for the refusals of the track being read.
  std::string TrackName() const {
    return "track " + std::to_string(sheet_->tracks.size() + 1) + ": ";
  }

  // Reads the statements of `statements` for as long as one comes next.
  template <size_t N>
  bool ReadStatements(const Statement (&statements)[N], TocTrack* track) {
    for (;;) {
      const Statement* next = std::find_if(std::begin(statements), std::end(statements),
                                           [this](const Statement& s) { return Is(s.keyword); });
      if (next == std::end(statements)) return true;
      if (!(this->*next->read)(track)) return false;
    }
  }

  // ---- CD_TEXT blocks ----

  // The texts of one CD_TEXT block's languages, raw, by language number.
  using Texts = std::map<int, TrackText>;

  // CD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE "..." ... } }:
  // the titles and performers, the language map and each language's
  // character code (the first byte of its SIZE_INFO); all else skipped.
  bool CdText(Texts* texts) {
    Take();
    if (!Is("{")) return Unfinished();
    Take();
    while (!Is("}")) {
      if (at_ >= tokens_.size()) return Unfinished();
      const bool read = Is("LANGUAGE_MAP") ? LanguageMap()
                        : Is("LANGUAGE")   ? Language(texts)
                        : Is("{")          ? SkipBraces()
                                           : Skip();
      if (!read) return false;
    }
    Take();
    return true;
  }

  bool Skip() {
    Take();
    return true;
  }

  // Skips a { ... } block with its nested blocks.
  bool SkipBraces() {
    int depth = 0;
    do {
      if (at_ >= tokens_.size()) return Unfinished();
      Token token = Take();
      if (!token.quoted && token.text == "{") depth++;
      if (!token.quoted && token.text == "}") depth--;
    } while (depth > 0);
    return true;
  }

  // LANGUAGE_MAP { 0 : EN 1 : 105 }, however the colons are spaced.
  bool LanguageMap() {
    Take();
    if (!Is("{")) return Unfinished();
    Take();
    std::string pairs;
    while (!Is("}")) {
      if (at_ >= tokens_.size()) return Unfinished();
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

  // LANGUAGE n { TITLE "..." PERFORMER "..." SIZE_INFO { code, ... } ... }.
  bool Language(Texts* texts) {
    Take();
    int64_t number = -1;
    if (!IsNumber() || !Count(Take().text, 7, &number) || !Is("{")) return Unfinished();
    Take();
    TrackText& text = (*texts)[static_cast<int>(number)];
    while (!Is("}")) {
      if (at_ >= tokens_.size()) return Unfinished();
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
      return common::ValidUtf8(bytes) ? bytes : CdTextToUtf8(bytes, japanese);
    };
    auto pick = [&](Texts& texts) {
      const TrackText& raw = texts[chosen];
      return TrackText{decode(raw.title), decode(raw.performer)};
    };
    sheet_->text = pick(discTexts_);
    for (size_t i = 0; i < sheet_->tracks.size() && i < trackTexts_.size(); i++)
      sheet_->tracks[i].text = pick(trackTexts_[i]);
  }

  // ---- Positions and lengths ----

  // An MSF position, in sectors.
  bool Msf(int32_t* sectors) {
    int32_t value = -1;
    if (!IsNumber() || !ParseMsf(tokens_[at_].text, &value))
      return Fail("expected a time mm:ss:ff");
    at_++;
    if (sectors) *sectors = value;
    return true;
  }

  // A length or position in bytes: MSF counts sectors of `block` bytes, a
  // plain number counts `unit` bytes.
  bool Amount(int block, int unit, int64_t* bytes) {
    if (!IsNumber()) return Fail("expected a length");
    const std::string text = tokens_[at_].text;
    if (text.find(':') != std::string::npos) {
      int32_t sectors = 0;
      if (!Msf(&sectors)) return false;
      *bytes = static_cast<int64_t>(sectors) * block;
      return true;
    }
    int64_t value = 0;
    if (!Count(text, MostBytes / unit, &value)) return Fail("bad number " + text);
    at_++;
    *bytes = value * unit;
    return true;
  }

  // #offset or # offset: bytes before a file's contents begin; none is 0.
  bool Offset(TocPiece* piece) {
    if (at_ >= tokens_.size() || tokens_[at_].quoted || tokens_[at_].text[0] != '#') return true;
    std::string digits = Take().text.substr(1);
    if (digits.empty()) {  // "# 1234"
      if (!IsNumber()) return Fail("# without an offset");
      digits = Take().text;
    }
    if (!Count(digits, MostBytes, &piece->offset)) return Fail("bad offset #" + digits);
    return true;
  }

  int File(const std::string& name) {
    sheet_->files.push_back({ResolveIn(folder_, name), EndsWithWav(name)});
    return static_cast<int>(sheet_->files.size()) - 1;
  }

  // ---- Tracks ----

  // TRACK mode, then in this order its flags, its CD_TEXT, PREGAP, the
  // statements of its data and its INDEX positions; a word out of its
  // place ends the track.
  bool Track() {
    if (sheet_->tracks.size() == MaxTracks) extraTrackLine_ = tokens_[at_].line;
    Take();
    TocTrack track;
    static const Statement Flags[] = {{"ISRC", &Parser::Isrc},
                                      {"NO", &Parser::No},
                                      {"PRE_EMPHASIS", &Parser::PreEmphasis},
                                      {"COPY", &Parser::Flag},
                                      {"TWO_CHANNEL_AUDIO", &Parser::Flag},
                                      {"FOUR_CHANNEL_AUDIO", &Parser::Flag}};
    static const Statement Data[] = {
        {"FILE", &Parser::AudioFile},    {"AUDIOFILE", &Parser::AudioFile},
        {"DATAFILE", &Parser::DataFile}, {"SILENCE", &Parser::Silence},
        {"ZERO", &Parser::Silence},      {"FIFO", &Parser::Fifo},
        {"START", &Parser::Start},       {"END", &Parser::End}};
    static const Statement Indexes[] = {{"INDEX", &Parser::Index}};
    trackTexts_.emplace_back();
    if (!Mode(&track) || !ReadStatements(Flags, &track)) return false;
    if (Is("CD_TEXT") && !CdText(&trackTexts_.back())) return false;
    if (Is("PREGAP") && !Pregap(&track)) return false;
    if (!ReadStatements(Data, &track) || !ReadStatements(Indexes, &track)) return false;
    if (track.pieces.empty()) return Fail(TrackName() + "no FILE, DATAFILE, SILENCE or ZERO");
    sheet_->tracks.push_back(track);
    return true;
  }

  // The track's mode, and RW or RW_RAW after it: sub-channel data after
  // each sector.
  bool Mode(TocTrack* track) {
    const std::string mode = Take().text;
    track->blockBytes = BlockBytes(mode);
    if (track->blockBytes == 0) return Fail("unknown track mode " + mode);
    track->audio = mode == "AUDIO";
    if (!Is("RW") && !Is("RW_RAW")) return true;
    Take();
    if (track->audio) return Fail("audio tracks with sub-channel data are not supported");
    track->blockBytes += SubChannelBytes;
    return true;
  }

  // ISRC "code": the recording's code, which nothing played carries.
  bool Isrc(TocTrack*) {
    Take();
    return TakeString(nullptr) || Fail("ISRC without a code");
  }

  // NO COPY, NO PRE_EMPHASIS.
  bool No(TocTrack* track) {
    Take();
    if (!Is("COPY") && !Is("PRE_EMPHASIS")) return Fail("NO before neither COPY nor PRE_EMPHASIS");
    if (Take().text == "PRE_EMPHASIS") track->preEmphasis = false;
    return true;
  }

  bool PreEmphasis(TocTrack* track) {
    Take();
    track->preEmphasis = true;
    return true;
  }

  // COPY, TWO_CHANNEL_AUDIO, FOUR_CHANNEL_AUDIO: nothing the device plays.
  bool Flag(TocTrack*) { return Skip(); }

  // PREGAP length: silence before index 1.
  bool Pregap(TocTrack* track) {
    Take();
    TocPiece silence;
    if (!Amount(track->blockBytes, track->blockBytes, &silence.length)) return false;
    if (silence.length <= 0) return Fail(TrackName() + "PREGAP needs a length");
    track->pieces.push_back(silence);
    track->startAfter = 1;
    return true;
  }

  // FILE "name" [SWAP] [#offset] start [length]: an audio file's samples.
  bool AudioFile(TocTrack* track) {
    Take();
    if (!track->audio) return Fail(TrackName() + "FILE holds audio, in a data track");
    TocPiece piece;
    std::string name;
    if (!TakeString(&name) || name.empty()) return Fail(TrackName() + "FILE without a name");
    if (Is("SWAP")) {
      Take();
      piece.swap = true;
    }
    if (!Offset(&piece) || !Amount(SectorBytes, SampleBytes, &piece.start)) return false;
    if (IsNumber() && !Amount(SectorBytes, SampleBytes, &piece.length)) return false;
    if (piece.length == 0) piece.length = -1;  // 0 too means to the end
    piece.file = File(name);
    track->pieces.push_back(piece);
    return true;
  }

  // DATAFILE "name" [#offset] [length]: a file's bytes as they stand.
  bool DataFile(TocTrack* track) {
    Take();
    TocPiece piece;
    std::string name;
    if (!TakeString(&name) || name.empty()) return Fail(TrackName() + "DATAFILE without a name");
    if (!Offset(&piece)) return false;
    if (IsNumber() && !Amount(track->blockBytes, Unit(*track), &piece.length)) return false;
    piece.file = File(name);
    track->pieces.push_back(piece);
    return true;
  }

  // SILENCE length, or ZERO [mode [RW|RW_RAW]] length.
  bool Silence(TocTrack* track) {
    const bool zero = Take().text == "ZERO";
    int block = track->blockBytes, unit = Unit(*track);
    if (zero && BlockBytes(at_ < tokens_.size() ? tokens_[at_].text : "") != 0) {
      block = BlockBytes(Take().text);
      unit = 1;
    }
    if (zero && (Is("RW") || Is("RW_RAW"))) {
      Take();
      block += SubChannelBytes;
    }
    TocPiece silence;
    if (!Amount(block, unit, &silence.length)) return false;
    if (silence.length <= 0) return Fail(TrackName() + "SILENCE and ZERO need a length");
    track->pieces.push_back(silence);
    return true;
  }

  bool Fifo(TocTrack*) { return Fail(TrackName() + "FIFO is not supported in an image"); }

  // START [position]: where index 1 lies, from the track's beginning, or
  // after the statements so far.
  bool Start(TocTrack* track) {
    Take();
    if (track->startAfter >= 0 || track->startSectors >= 0)
      return Fail(TrackName() + "START given twice, or after PREGAP");
    if (IsNumber()) return Msf(&track->startSectors);
    track->startAfter = static_cast<int>(track->pieces.size());
    return true;
  }

  // END [position]: where the post-gap begins; no position on the disc
  // changes.
  bool End(TocTrack*) {
    Take();
    return !IsNumber() || Msf(nullptr);
  }

  // INDEX position: an index the device does not seek to.
  bool Index(TocTrack*) {
    Take();
    return Msf(nullptr);
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
  std::string folder_;
  TocSheet* sheet_;
  std::string* why_;
  Texts discTexts_;
  std::vector<Texts> trackTexts_;       // one for each track, in order
  std::map<int, long> languages_;       // language number: CD-Text language code
  std::map<int, long> characterCodes_;  // language number: SIZE_INFO's character code
  int extraTrackLine_ = 0;              // where the track past the most a disc holds begins
};

}  // namespace

bool ParseTocSheet(const std::string& text, const std::string& folder, TocSheet* sheet,
                   std::string* why) {
  *sheet = TocSheet();
  std::vector<Token> tokens;
  return Tokenize(text, &tokens, why) && Parser(std::move(tokens), folder, sheet, why).Parse();
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
          common::Le32(chunk + 12) != SampleRate || common::Le16(chunk + 20) != SampleBytes ||
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

// Opens the files the sheet names into `reader`, with where their samples
// lie.
bool OpenFiles(const TocSheet& sheet, SpanReader* reader, std::vector<Contents>* files,
               std::string* why) {
  for (const TocFile& named : sheet.files) {
    int file = 0;
    int64_t size = 0;
    if (!reader->Open(named.path, &file, &size, why)) return false;
    Contents contents{0, size};
    if (named.wave && !ReadWave(reader->Fd(file), size, &contents, why)) {
      *why = named.path + " " + *why;
      return false;
    }
    files->push_back(contents);
  }
  return true;
}

// The tracks laid on the disc one after another, each the concatenation of
// its statements padded with silence to whole sectors.
class TocLayout {
 public:
  TocLayout(const TocSheet& sheet, const std::vector<Contents>& files, SpanReader* reader)
      : sheet_(sheet), files_(files), reader_(reader) {}

  // Lays out track `index` after those before it.
  bool AddTrack(size_t index, std::string* why) {
    const TocTrack& entry = sheet_.tracks[index];
    const std::string name = "track " + std::to_string(index + 1) + " ";
    int64_t length = 0;       // the track's image bytes so far
    int64_t startBytes = -1;  // where START without a position lies
    for (size_t i = 0; i < entry.pieces.size(); i++) {
      if (static_cast<int>(i) == entry.startAfter) startBytes = length;
      int64_t bytes = 0;
      if (!AddPiece(entry, entry.pieces[i], discByte_ + length, &bytes, why)) {
        *why = name + *why;
        return false;
      }
      length += bytes;
    }
    if (entry.startAfter == static_cast<int>(entry.pieces.size())) startBytes = length;
    const int64_t sectors = (length + entry.blockBytes - 1) / entry.blockBytes;
    const int64_t pregap = entry.startSectors >= 0 ? entry.startSectors
                           : startBytes >= 0
                               ? (startBytes + entry.blockBytes - 1) / entry.blockBytes
                               : 0;
    if (sectors > MaxImageSectors || discByte_ / SectorBytes + sectors > MaxImageSectors) {
      *why = name + "is too long for a disc";
      return false;
    }
    if (pregap >= sectors) {
      *why = name + "starts at or past its own end";
      return false;
    }
    Track track;
    const int32_t first = static_cast<int32_t>(discByte_ / SectorBytes);
    track.start = first + static_cast<int32_t>(pregap);
    track.pregap = pregap > 0 ? first : -1;
    track.audio = entry.audio;
    track.preEmphasis = entry.audio && entry.preEmphasis;
    table_.tracks.push_back(track);
    discByte_ += sectors * SectorBytes;  // the rest of the last sector is silence
    return true;
  }

  TrackTable Table() {
    table_.leadout = static_cast<int32_t>(discByte_ / SectorBytes);
    return table_;
  }

 private:
  // One statement's `bytes` at `discByte`: a file's audio becomes a span
  // of the reader; silence, zeros and data are left silent.
  bool AddPiece(const TocTrack& entry, const TocPiece& piece, int64_t discByte, int64_t* bytes,
                std::string* why) {
    *bytes = piece.length;
    if (piece.file < 0) return true;
    const TocFile& named = sheet_.files[static_cast<size_t>(piece.file)];
    const Contents& contents = files_[static_cast<size_t>(piece.file)];
    const int64_t skip = piece.offset + piece.start;
    int64_t left = contents.bytes - skip;
    if (entry.audio) left -= left % SampleBytes;
    if (*bytes < 0) *bytes = left;
    if (*bytes <= 0 || *bytes > left) {
      *why = "takes more from " + named.path + " than it holds";
      return false;
    }
    if (!entry.audio) return true;
    ImageSpan span;
    span.discByte = discByte;
    span.bytes = *bytes;
    span.file = piece.file;
    span.fileByte = contents.first + skip;
    span.bigEndian = named.wave == piece.swap;
    reader_->Add(span);
    return true;
  }

  const TocSheet& sheet_;
  const std::vector<Contents>& files_;
  SpanReader* reader_;
  TrackTable table_;
  int64_t discByte_ = 0;
};

}  // namespace

bool LoadTocImage(const std::string& path, Disc* disc, std::string* why) {
  std::string text, problem;
  if (!ReadSheet(path, &text, why)) return false;
  TocSheet sheet;
  auto reader = std::make_unique<SpanReader>();
  std::vector<Contents> files;
  bool laid = ParseTocSheet(text, FolderOf(path), &sheet, &problem) &&
              OpenFiles(sheet, reader.get(), &files, &problem);
  TocLayout layout(sheet, files, reader.get());
  for (size_t index = 0; laid && index < sheet.tracks.size(); index++)
    laid = layout.AddTrack(index, &problem);
  if (!laid) {
    *why = path + ": " + problem;
    return false;
  }
  return FinishSheetImage(path, layout.Table(), std::move(reader), sheet, disc, why);
}

}  // namespace disc
