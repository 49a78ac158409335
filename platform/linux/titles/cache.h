// SPDX-License-Identifier: GPL-3.0-or-later
// What was found for each disc, kept under $XDG_CACHE_HOME/korvane/ (else
// ~/.cache/korvane/) so that a later start shows it at once, network or
// not: <discid>.json holds the titles chosen or a "not found" mark with its
// time, <discid>.<jpg|png|gif|webp> the cover. Every file is written to a
// temporary name and renamed; a damaged or foreign file reads as nothing
// kept, and is replaced by the next lookup.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_CACHE_H
#define KORVANE_PLATFORM_LINUX_TITLES_CACHE_H

#include <ctime>
#include <string>

#include "platform/linux/titles/album.h"

namespace titles {

// How long MusicBrainz's "not found" holds before the disc is asked about
// again.
constexpr time_t NotFoundKept = 24 * 60 * 60;

// The folder from the environment; "" when neither XDG_CACHE_HOME nor HOME
// names one.
std::string CacheFolder();

enum class Kept { Nothing, Found, NotFound };

class Cache {
 public:
  explicit Cache(std::string folder) : folder_(std::move(folder)) {}

  // What is kept for the disc at time `now`: Found fills `album` (with its
  // cover's path where the file is still there), NotFound while the mark is
  // younger than NotFoundKept. A file that cannot be read as ours is
  // Nothing, with `why` saying so when given.
  Kept Load(const std::string& discId, time_t now, Album* album, std::string* why = nullptr) const;

  // Each false with `why` when the folder or the file cannot be written.
  bool StoreAlbum(const std::string& discId, const Album& album, std::string* why) const;
  bool StoreNotFound(const std::string& discId, time_t now, std::string* why) const;
  // Writes the picture as <discid>.<extension>; `path` receives its name.
  bool StoreCover(const std::string& discId, const std::string& picture,
                  const std::string& extension, std::string* path, std::string* why) const;

  const std::string& Folder() const { return folder_; }

 private:
  std::string PathOf(const std::string& discId, const std::string& extension) const;
  bool Store(const std::string& path, const std::string& bytes, std::string* why) const;

  std::string folder_;
};

}  // namespace titles

#endif
