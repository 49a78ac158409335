// SPDX-License-Identifier: GPL-3.0-or-later
// nlohmann-json (Debian's nlohmann-json3-dev): header-only, so nothing more
// is loaded into the player; it checks UTF-8 as it parses, and its
// non-throwing parse plus type checks before each read keep exceptions out.
#include "platform/linux/titles/answer.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace titles {

namespace {

using Json = nlohmann::json;

constexpr int MaxPosition = 99;

// Reading fails at the first field of a wrong type, saying which.
class Reader {
 public:
  bool Failed() const { return !problem_.empty(); }
  const std::string& Problem() const { return problem_; }

  void Fail(const std::string& what) {
    if (problem_.empty()) problem_ = what;
  }

  // The member, or nullptr when absent or null (MusicBrainz writes null for
  // what it does not know).
  const Json* Member(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
  }

  const Json* Array(const Json& object, const char* key, bool required) {
    const Json* value = Member(object, key);
    if (value && value->is_array()) return value;
    if (value || required) Fail(std::string("\"") + key + "\" is not a list");
    return nullptr;
  }

  std::string Text(const Json& object, const char* key, bool required) {
    const Json* value = Member(object, key);
    if (value && value->is_string()) return value->get<std::string>();
    if (value || required) Fail(std::string("\"") + key + "\" is not a text");
    return "";
  }

  int Position(const Json& object) {
    const Json* value = Member(object, "position");
    if (value && value->is_number_integer()) {
      auto position = value->get<int64_t>();
      if (position >= 1 && position <= MaxPosition) return static_cast<int>(position);
    }
    Fail("\"position\" is not a number from 1 to 99");
    return 0;
  }

  bool Flag(const Json& object, const char* key) {
    const Json* value = Member(object, key);
    if (!value) return false;
    if (value->is_boolean()) return value->get<bool>();
    Fail(std::string("\"") + key + "\" is not true or false");
    return false;
  }

  bool IsObject(const Json& value, const char* what) {
    if (value.is_object()) return true;
    Fail(std::string(what) + " is not an object");
    return false;
  }

  // Each name, then its join phrase, as MusicBrainz writes the credit.
  std::string Credit(const Json& object) {
    const Json* credit = Array(object, "artist-credit", false);
    std::string joined;
    if (!credit) return joined;
    for (const Json& name : *credit) {
      if (!IsObject(name, "an artist credit")) return "";
      joined += Text(name, "name", true);
      joined += Text(name, "joinphrase", false);
    }
    return joined;
  }

  // Whether the medium's discs hold `discId`.
  bool Holds(const Json& medium, const std::string& discId) {
    const Json* discs = Array(medium, "discs", false);
    if (!discs) return false;
    for (const Json& disc : *discs)
      if (IsObject(disc, "a disc") && Text(disc, "id", true) == discId && !Failed()) return true;
    return false;
  }

  // The first medium of `release` that holds the disc, or nullptr.
  const Json* MediumOf(const Json& release, const std::string& discId) {
    if (!IsObject(release, "a release")) return nullptr;
    const Json* media = Array(release, "media", true);
    if (!media) return nullptr;
    for (const Json& medium : *media)
      if (IsObject(medium, "a medium") && Holds(medium, discId)) return &medium;
    return nullptr;
  }

 private:
  std::string problem_;
};

}  // namespace

bool WellFormedMbid(const std::string& mbid) {
  if (mbid.size() != 36) return false;
  for (size_t i = 0; i < mbid.size(); ++i) {
    char c = mbid[i];
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    if (dash ? c != '-' : !hex) return false;
  }
  return true;
}

bool ReadAnswer(const std::string& body, const std::string& discId, Album* album,
                std::string* why) {
  // Parsing without exceptions; the reads below check every type first, and
  // the catch is the boundary for anything the library might still throw.
  try {
    const Json answer = Json::parse(body, nullptr, false);
    if (answer.is_discarded()) {
      *why = "the answer is not JSON";
      return false;
    }
    Reader reader;
    if (!reader.IsObject(answer, "the answer")) {
      *why = reader.Problem();
      return false;
    }
    const Json* releases = reader.Array(answer, "releases", true);
    const Json* chosen = nullptr;
    const Json* chosenMedium = nullptr;
    for (size_t i = 0; releases && i < releases->size() && !reader.Failed(); ++i) {
      const Json& release = (*releases)[i];
      const Json* medium = reader.MediumOf(release, discId);
      if (!medium || reader.Failed()) continue;
      bool official = reader.Text(release, "status", false) == "Official";
      if (!chosen || official) {
        chosen = &release;
        chosenMedium = medium;
      }
      if (official) break;
    }
    if (reader.Failed()) {
      *why = "the answer is not as MusicBrainz writes it: " + reader.Problem();
      return false;
    }
    if (!chosen) {
      *why = "no medium of the answer holds disc " + discId;
      return false;
    }
    Album found;
    found.releaseId = reader.Text(*chosen, "id", true);
    found.title = reader.Text(*chosen, "title", true);
    found.artist = reader.Credit(*chosen);
    if (reader.Array(*chosen, "media", true)->size() > 1)
      found.discNumber = reader.Position(*chosenMedium);
    if (const Json* art = reader.Member(*chosen, "cover-art-archive"))
      if (reader.IsObject(*art, "\"cover-art-archive\""))
        found.frontCover = reader.Flag(*art, "front");
    if (const Json* tracks = reader.Array(*chosenMedium, "tracks", false)) {
      for (const Json& track : *tracks) {
        if (!reader.IsObject(track, "a track")) break;
        int position = reader.Position(track);
        std::string title = reader.Text(track, "title", true);
        std::string artist = reader.Credit(track);
        if (reader.Failed()) break;
        if (found.songs.size() < static_cast<size_t>(position))
          found.songs.resize(static_cast<size_t>(position));
        found.songs[static_cast<size_t>(position - 1)] = Song{title, artist};
      }
    }
    if (reader.Failed()) {
      *why = "the answer is not as MusicBrainz writes it: " + reader.Problem();
      return false;
    }
    if (!WellFormedMbid(found.releaseId)) {
      *why = "the release's ID is not an MBID";
      return false;
    }
    *album = std::move(found);
    return true;
  } catch (const std::exception& error) {
    *why = std::string("the answer could not be read: ") + error.what();
    return false;
  }
}

}  // namespace titles
