// SPDX-License-Identifier: GPL-3.0-or-later
// A small HTTP/1.1 server on 127.0.0.1 for the lookup's tests: it answers
// each request with what the test's handler says, byte for byte, or resets
// the connection, and records every request it was sent.
#ifndef KORVANE_TESTS_PLATFORM_LINUX_TITLES_LOOPBACK_SERVER_H
#define KORVANE_TESTS_PLATFORM_LINUX_TITLES_LOOPBACK_SERVER_H

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_titles {

struct Reply {
  std::string bytes;   // the whole answer, status line to body
  bool reset = false;  // instead, end the connection with a reset
};

// A complete answer; `body` is sent with its Content-Length unless
// `closeDelimited`, then the end of the connection ends it.
Reply Http(int status, const std::string& body, const std::string& headers = "",
           bool closeDelimited = false);

class LoopbackServer {
 public:
  using Handler = std::function<Reply(const std::string& target)>;
  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();

  // "http://127.0.0.1:<port>"
  std::string Base() const;
  // The heads of the requests received, in order.
  std::vector<std::string> Requests() const;
  // Runs `change` while no handler runs: for what the handler reads.
  void Change(const std::function<void()>& change);

 private:
  void Serve();

  Handler handler_;
  int listener_ = -1;
  int stop_[2] = {-1, -1};
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace testing_titles

#endif
