// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/titles/finder.h"

#include <FL/Fl.H>

#include <atomic>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "platform/linux/common/warn.h"
#include "platform/linux/titles/cache.h"
#include "platform/linux/titles/curl_library.h"
#include "platform/linux/titles/disc_id.h"
#include "platform/linux/titles/fetch.h"
#include "platform/linux/titles/lookup.h"

namespace titles {

namespace {

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// What tells one disc from another here.
std::vector<int32_t> KeyOf(const disc::TrackTable& table) {
  std::vector<int32_t> key{table.first, table.leadout};
  for (const disc::Track& track : table.tracks) {
    key.push_back(track.start);
    key.push_back(track.audio ? 1 : 0);
  }
  return key;
}

// libcurl being loaded on a thread of its own; the result is read on the
// GUI thread once `done` is set. Never freed: the thread may outlive
// everything else at exit.
struct Loading {
  std::atomic<bool> done{false};
  const CurlLibrary* curl = nullptr;
  std::string why;
};

class Finder {
 public:
  void DiscSeen(const disc::TrackTable& table, const disc::DiscText& text) {
    std::vector<int32_t> key = KeyOf(table);
    if (seen_ && key == key_) return;
    seen_ = true;
    key_ = std::move(key);
    Abandon();
    found_ = Album();
    if (text.NamesAnything() || !LookupAllowed()) return;
    std::string why;
    if (!DiscIdOf(table, &discId_, &why)) {
      common::Warn("no titles are looked up: %s", why.c_str());
      return;
    }
    Cache cache(CacheFolder());
    Album kept;
    switch (cache.Load(discId_, std::time(nullptr), &kept, &why)) {
      case Kept::Found:
        found_ = kept;
        return;
      case Kept::NotFound:
        return;
      case Kept::Nothing:
        if (!why.empty()) common::Warn("%s; it will be replaced", why.c_str());
        break;
    }
    lookup_ = std::make_unique<Lookup>(discId_, ServicesFromEnvironment(), cache);
    if (curl_) {
      Step();
      return;
    }
    if (!loading_) {
      loading_ = new Loading;
      Loading* loading = loading_;
      std::thread([loading] {
        loading->curl = LoadCurl(&loading->why);
        loading->done.store(true, std::memory_order_release);
        Fl::awake();
      }).detach();
    }
    if (!waiting_) Fl::add_check(OnLoopWaits, this);
    waiting_ = true;
  }

  const Album& Found() const { return found_; }

 private:
  // Until libcurl is there.
  static void OnLoopWaits(void* self) {
    auto* finder = static_cast<Finder*>(self);
    if (!finder->loading_->done.load(std::memory_order_acquire)) return;
    Fl::remove_check(OnLoopWaits, self);
    finder->waiting_ = false;
    finder->curl_ = finder->loading_->curl;
    if (!finder->curl_) {
      common::Warn("no titles are looked up: %s", finder->loading_->why.c_str());
      finder->lookup_.reset();
      return;
    }
    if (finder->lookup_) finder->Step();
  }

  // The lookup's next request, now or later, or its end.
  void Step() {
    Request request;
    double wait = lookup_->Next(Now(), &request);
    if (wait < 0) return End();
    if (wait > 0) {
      Fl::add_timeout(wait, OnWaited, this);
      return;
    }
    if (!multi_ && !MakeMulti()) {
      common::Warn("no titles are looked up: libcurl could not start");
      lookup_.reset();
      return;
    }
    transfer_ = std::make_unique<Transfer>(*curl_, request);
    if (!transfer_->Handle() || curl_->multiAddHandle(multi_, transfer_->Handle()) != CURLM_OK) {
      transfer_.reset();
      Answer none;
      none.error = request.url + ": libcurl could not make a transfer";
      lookup_->Take(Now(), none);
      Step();
    }
  }

  static void OnWaited(void* self) { static_cast<Finder*>(self)->Step(); }

  void End() {
    const std::string& problem = lookup_->Problem();
    switch (lookup_->Result()) {
      case Outcome::Found:
        found_ = lookup_->Found();
        if (!problem.empty()) common::Warn("the titles found are not kept: %s", problem.c_str());
        break;
      case Outcome::NotFound:
        common::Warn("MusicBrainz knows no disc %s: it is asked again in a day", discId_.c_str());
        break;
      case Outcome::Failed:
      case Outcome::Pending:
        common::Warn("no titles for disc %s: %s", discId_.c_str(), problem.c_str());
        break;
    }
    lookup_.reset();
  }

  // Another disc: what was under way for the last one is dropped.
  void Abandon() {
    Fl::remove_timeout(OnWaited, this);
    if (transfer_) {
      curl_->multiRemoveHandle(multi_, transfer_->Handle());
      transfer_.reset();
    }
    lookup_.reset();
  }

  bool MakeMulti() {
    multi_ = curl_->multiInit();
    if (!multi_) return false;
    curl_->multiSetopt(multi_, CURLMOPT_SOCKETFUNCTION, OnSocket);
    curl_->multiSetopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_->multiSetopt(multi_, CURLMOPT_TIMERFUNCTION, OnTimer);
    curl_->multiSetopt(multi_, CURLMOPT_TIMERDATA, this);
    return true;
  }

  // curl says what to watch a socket for; the loop watches it.
  static int OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
    Fl::remove_fd(socket);
    if (what == CURL_POLL_REMOVE) return 0;
    if (what & CURL_POLL_IN) Fl::add_fd(socket, FL_READ, OnReadable, self);
    if (what & CURL_POLL_OUT) Fl::add_fd(socket, FL_WRITE, OnWritable, self);
    return 0;
  }

  static int OnTimer(CURLM*, long milliseconds, void* self) {
    Fl::remove_timeout(OnCurlTimeout, self);
    if (milliseconds >= 0)
      Fl::add_timeout(static_cast<double>(milliseconds) / 1000.0, OnCurlTimeout, self);
    return 0;
  }

  static void OnReadable(int socket, void* self) {
    static_cast<Finder*>(self)->Act(socket, CURL_CSELECT_IN);
  }
  static void OnWritable(int socket, void* self) {
    static_cast<Finder*>(self)->Act(socket, CURL_CSELECT_OUT);
  }
  static void OnCurlTimeout(void* self) { static_cast<Finder*>(self)->Act(CURL_SOCKET_TIMEOUT, 0); }

  void Act(curl_socket_t socket, int events) {
    int running = 0;
    curl_->multiSocketAction(multi_, socket, events, &running);
    int left = 0;
    while (CURLMsg* message = curl_->multiInfoRead(multi_, &left)) {
      if (message->msg != CURLMSG_DONE || !transfer_ || message->easy_handle != transfer_->Handle())
        continue;
      CURLcode code = message->data.result;
      curl_->multiRemoveHandle(multi_, transfer_->Handle());
      Answer answer = transfer_->Finish(code);
      transfer_.reset();
      if (lookup_) {
        lookup_->Take(Now(), answer);
        Step();
      }
    }
  }

  bool seen_ = false;
  std::vector<int32_t> key_;
  std::string discId_;
  Album found_;
  Loading* loading_ = nullptr;
  bool waiting_ = false;  // for libcurl, in the loop's checks
  const CurlLibrary* curl_ = nullptr;
  CURLM* multi_ = nullptr;
  std::unique_ptr<Lookup> lookup_;
  std::unique_ptr<Transfer> transfer_;
};

// Never destroyed: at exit a transfer may still be out, and is left to the
// end of the process.
Finder& TheFinder() {
  static Finder* finder = new Finder;
  return *finder;
}

}  // namespace

void DiscSeen(const disc::TrackTable& table, const disc::DiscText& text) {
  TheFinder().DiscSeen(table, text);
}

const Album& Found() { return TheFinder().Found(); }

}  // namespace titles
