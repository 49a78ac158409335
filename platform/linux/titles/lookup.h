// SPDX-License-Identifier: GPL-3.0-or-later
// One disc's lookup, as a sequence of requests: MusicBrainz for the titles
// (once a second at most, a 503 asked again after its Retry-After, three
// times at most), then, where the release has a front cover, the Cover Art
// Archive for it; what it finds goes to the cache. It sends nothing itself:
// whoever runs it makes the requests (the window's loop, or a test) and
// hands back the answers, so that it never waits on the network.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_LOOKUP_H
#define KORVANE_PLATFORM_LINUX_TITLES_LOOKUP_H

#include <ctime>
#include <string>

#include "platform/linux/titles/album.h"
#include "platform/linux/titles/cache.h"
#include "platform/linux/titles/fetch.h"

namespace titles {

constexpr size_t MaxAnswerBytes = 2 * 1024 * 1024;
constexpr size_t MaxPictureBytes = 10 * 1024 * 1024;
constexpr int MaxRetries = 3;
constexpr double MusicBrainzInterval = 1.0;  // seconds between two requests at least
constexpr long MaxRetryAfter = 60;

// Where the lookup asks, without a trailing slash.
struct Services {
  std::string musicBrainz = "https://musicbrainz.org";
  std::string coverArt = "https://coverartarchive.org";
};

// Whether the lookup may send anything: not when KORVANE_LOOKUP is "off".
bool LookupAllowed();
// KORVANE_MUSICBRAINZ_URL and KORVANE_COVERART_URL, else the public services.
Services ServicesFromEnvironment();

// The picture's file extension by its first bytes ("jpg", "png", "gif",
// "webp"); "" when it is none of them.
std::string PictureType(const std::string& bytes);

enum class Outcome { Pending, Found, NotFound, Failed };

class Lookup {
 public:
  Lookup(std::string discId, Services services, Cache cache);

  // What to do at monotonic time `now` (seconds): Send `request` now (0),
  // call again in that many seconds (> 0), or nothing more (< 0).
  double Next(double now, Request* request);
  // The answer to the request last sent.
  void Take(double now, const Answer& answer);

  Outcome Result() const { return outcome_; }
  const Album& Found() const { return album_; }
  // Failed: one line saying why. Found or NotFound: what could not be kept
  // in the cache, if anything.
  const std::string& Problem() const { return problem_; }

 private:
  enum class Step { Titles, Cover, Over };

  void TakeTitles(double now, const Answer& answer);
  void TakeCover(const Answer& answer);
  void Fail(const std::string& why);
  void Keep();

  std::string discId_;
  Services services_;
  Cache cache_;
  Step step_ = Step::Titles;
  int retries_ = 0;
  double notBefore_ = 0;
  Album album_;
  Outcome outcome_ = Outcome::Pending;
  std::string problem_;
};

}  // namespace titles

#endif
