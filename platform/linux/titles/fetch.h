// SPDX-License-Identifier: GPL-3.0-or-later
// One HTTP GET through libcurl, as every request of the lookup is made:
// HTTP or HTTPS only (against the system's certificates), redirects
// followed five times at most, a connect and a total deadline, a limit on
// the body, and the User-Agent MusicBrainz asks for. The same transfer runs
// in the window's loop (curl's multi interface) and, for tests, on its own.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_FETCH_H
#define KORVANE_PLATFORM_LINUX_TITLES_FETCH_H

#include <cstddef>
#include <string>

#include "platform/linux/titles/curl_library.h"

namespace titles {

constexpr long MaxRedirects = 5;
constexpr long ConnectSeconds = 5;
constexpr long TotalSeconds = 20;

// "Korvane/<version> ( <homepage> )", as MusicBrainz's rules for clients ask.
const char* UserAgent();

struct Request {
  std::string url;
  size_t limit = 0;   // the most bytes of body accepted
  bool json = false;  // asks for JSON
};

struct Answer {
  bool answered = false;  // an HTTP answer came whole; else `error` says what went wrong
  std::string error;
  long status = 0;
  std::string body;
  long retryAfter = -1;  // Retry-After's seconds, when the last answer gave them
};

class Transfer {
 public:
  Transfer(const CurlLibrary& curl, const Request& request);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // nullptr when libcurl could not make one.
  CURL* Handle() const { return handle_; }
  const Request& Asked() const { return request_; }
  // The answer, once curl has ended the transfer with `code`.
  Answer Finish(CURLcode code);
  // Runs the transfer here and now, waiting for it.
  Answer Perform();

 private:
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);

  const CurlLibrary& curl_;
  Request request_;
  CURL* handle_ = nullptr;
  curl_slist* headers_ = nullptr;
  Answer answer_;
  bool tooLarge_ = false;
  char error_[CURL_ERROR_SIZE] = {};
};

}  // namespace titles

#endif
