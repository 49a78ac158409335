// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/titles/lookup.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/linux/titles/answer.h"

namespace titles {

namespace {

// When MusicBrainz was last asked, by any lookup of the process.
double lastAsked = -std::numeric_limits<double>::infinity();

std::string WithoutSlash(std::string base) {
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

std::string FromEnvironment(const char* name, const std::string& otherwise) {
  const char* value = std::getenv(name);
  return value && value[0] ? WithoutSlash(value) : otherwise;
}

bool StartsWith(const std::string& bytes, const char* prefix, size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
}

}  // namespace

bool LookupAllowed() {
  const char* lookup = std::getenv("KORVANE_LOOKUP");
  return !lookup || std::strcmp(lookup, "off") != 0;
}

Services ServicesFromEnvironment() {
  Services services;
  services.musicBrainz = FromEnvironment("KORVANE_MUSICBRAINZ_URL", services.musicBrainz);
  services.coverArt = FromEnvironment("KORVANE_COVERART_URL", services.coverArt);
  return services;
}

std::string PictureType(const std::string& bytes) {
  if (StartsWith(bytes, "\xFF\xD8\xFF", 3)) return "jpg";
  if (StartsWith(bytes, "\x89PNG\r\n\x1A\n", 8)) return "png";
  if (StartsWith(bytes, "GIF87a", 6) || StartsWith(bytes, "GIF89a", 6)) return "gif";
  if (StartsWith(bytes, "RIFF", 4) && bytes.size() >= 12 && bytes.compare(8, 4, "WEBP") == 0)
    return "webp";
  return "";
}

Lookup::Lookup(std::string discId, Services services, Cache cache)
    : discId_(std::move(discId)), services_(std::move(services)), cache_(std::move(cache)) {
  services_.musicBrainz = WithoutSlash(services_.musicBrainz);
  services_.coverArt = WithoutSlash(services_.coverArt);
}

double Lookup::Next(double now, Request* request) {
  if (step_ == Step::Over) return -1;
  if (step_ == Step::Titles) {
    double at = std::max(notBefore_, lastAsked + MusicBrainzInterval);
    if (at > now) return at - now;
    lastAsked = now;
    request->url = services_.musicBrainz + "/ws/2/discid/" + discId_ +
                   "?inc=artist-credits+recordings&fmt=json";
    request->limit = MaxAnswerBytes;
    request->json = true;
    return 0;
  }
  request->url = services_.coverArt + "/release/" + album_.releaseId + "/front-500";
  request->limit = MaxPictureBytes;
  request->json = false;
  return 0;
}

void Lookup::Take(double now, const Answer& answer) {
  if (step_ == Step::Titles)
    TakeTitles(now, answer);
  else if (step_ == Step::Cover)
    TakeCover(answer);
}

void Lookup::TakeTitles(double now, const Answer& answer) {
  const std::string service = "MusicBrainz (" + services_.musicBrainz + ")";
  if (!answer.answered) return Fail(answer.error);
  if (answer.status == 503) {
    if (retries_ == MaxRetries)
      return Fail(service + " is unavailable (503) after " + std::to_string(MaxRetries + 1) +
                  " tries");
    ++retries_;
    long wait = answer.retryAfter >= 0 ? std::min(answer.retryAfter, MaxRetryAfter) : 1;
    notBefore_ = now + static_cast<double>(wait);
    return;
  }
  if (answer.status == 404) {
    step_ = Step::Over;
    outcome_ = Outcome::NotFound;
    cache_.StoreNotFound(discId_, std::time(nullptr), &problem_);
    return;
  }
  if (answer.status != 200)
    return Fail(service + " answered HTTP " + std::to_string(answer.status));
  std::string why;
  if (!ReadAnswer(answer.body, discId_, &album_, &why)) {
    album_ = Album();
    return Fail(service + ": " + why);
  }
  if (album_.frontCover)
    step_ = Step::Cover;
  else
    Keep();
}

// A release whose front cover the archive does not have after all keeps
// its titles; any other failure fails the lookup, as a bad answer would.
void Lookup::TakeCover(const Answer& answer) {
  const std::string service = "the Cover Art Archive (" + services_.coverArt + ")";
  if (!answer.answered) return Fail(answer.error);
  if (answer.status == 404) return Keep();
  if (answer.status != 200)
    return Fail(service + " answered HTTP " + std::to_string(answer.status));
  const std::string type = PictureType(answer.body);
  if (type.empty())
    return Fail(service + " sent a cover that is no JPEG, PNG, GIF or WebP picture");
  std::string why;
  if (!cache_.StoreCover(discId_, answer.body, type, &album_.coverPath, &why)) {
    // Without a file there is nothing to show: the titles go on alone.
    problem_ = why;
  }
  Keep();
}

void Lookup::Fail(const std::string& why) {
  step_ = Step::Over;
  outcome_ = Outcome::Failed;
  album_ = Album();
  problem_ = why;
}

void Lookup::Keep() {
  step_ = Step::Over;
  outcome_ = Outcome::Found;
  std::string why;
  if (!cache_.StoreAlbum(discId_, album_, &why) && problem_.empty()) problem_ = why;
}

}  // namespace titles
