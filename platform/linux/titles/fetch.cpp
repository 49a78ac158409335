// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/titles/fetch.h"

#include <cstring>

#include "platform/linux/common/text.h"

namespace titles {

const char* UserAgent() { return "Korvane/" KORVANE_VERSION " ( " KORVANE_HOMEPAGE " )"; }

Transfer::Transfer(const CurlLibrary& curl, const Request& request)
    : curl_(curl), request_(request), handle_(curl.easyInit()) {
  if (!handle_) return;
  CURL* h = handle_;
  curl_.easySetopt(h, CURLOPT_URL, request_.url.c_str());
  curl_.easySetopt(h, CURLOPT_USERAGENT, UserAgent());
  curl_.easySetopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_.easySetopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_.easySetopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_.easySetopt(h, CURLOPT_MAXREDIRS, MaxRedirects);
  curl_.easySetopt(h, CURLOPT_CONNECTTIMEOUT, ConnectSeconds);
  curl_.easySetopt(h, CURLOPT_TIMEOUT, TotalSeconds);
  // No signals: the player's threads must not see curl's alarms.
  curl_.easySetopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_.easySetopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request_.limit));
  curl_.easySetopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_.easySetopt(h, CURLOPT_WRITEDATA, this);
  curl_.easySetopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_.easySetopt(h, CURLOPT_HEADERDATA, this);
  curl_.easySetopt(h, CURLOPT_ERRORBUFFER, error_);
  curl_.easySetopt(h, CURLOPT_PRIVATE, this);
  if (request_.json) {
    headers_ = curl_.slistAppend(nullptr, "Accept: application/json");
    curl_.easySetopt(h, CURLOPT_HTTPHEADER, headers_);
  }
}

Transfer::~Transfer() {
  if (handle_) curl_.easyCleanup(handle_);
  if (headers_) curl_.slistFreeAll(headers_);
}

size_t Transfer::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<Transfer*>(self);
  size_t bytes = size * count;
  if (transfer->answer_.body.size() + bytes > transfer->request_.limit) {
    transfer->tooLarge_ = true;
    return 0;  // curl ends the transfer with a write error
  }
  transfer->answer_.body.append(data, bytes);
  return bytes;
}

// Retry-After as seconds (the services send no dates); the headers of an
// answer that redirects are forgotten at the next status line.
size_t Transfer::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<Transfer*>(self);
  size_t bytes = size * count;
  std::string line = common::AsciiLower(std::string(data, bytes));
  if (line.compare(0, 5, "http/") == 0) {
    transfer->answer_.retryAfter = -1;
    transfer->answer_.body.clear();
  }
  constexpr char Name[] = "retry-after:";
  if (line.compare(0, sizeof Name - 1, Name) == 0) {
    size_t at = line.find_first_not_of(" \t", sizeof Name - 1);
    long seconds = 0;
    bool digits = at != std::string::npos && line[at] >= '0' && line[at] <= '9';
    for (; digits && at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at)
      if (seconds < 100000) seconds = seconds * 10 + (line[at] - '0');
    if (digits) transfer->answer_.retryAfter = seconds;
  }
  return bytes;
}

Answer Transfer::Finish(CURLcode code) {
  Answer answer = std::move(answer_);
  answer_ = Answer();
  if (code == CURLE_OK) {
    answer.answered = true;
    curl_.easyGetinfo(handle_, CURLINFO_RESPONSE_CODE, &answer.status);
    return answer;
  }
  answer.body.clear();
  if (tooLarge_ || code == CURLE_FILESIZE_EXCEEDED)
    answer.error = "the answer is larger than " + std::to_string(request_.limit) + " bytes";
  else
    answer.error = error_[0] ? error_ : curl_.easyStrerror(code);
  answer.error = request_.url + ": " + answer.error;
  return answer;
}

Answer Transfer::Perform() {
  if (!handle_) {
    Answer answer;
    answer.error = request_.url + ": libcurl could not make a transfer";
    return answer;
  }
  return Finish(curl_.easyPerform(handle_));
}

}  // namespace titles
