// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/platform/linux/titles/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace testing_titles {

namespace {

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 302:
      return "Found";
    case 307:
      return "Temporary Redirect";
    case 404:
      return "Not Found";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client has gone, as it may when an answer is too large
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

Reply Http(int status, const std::string& body, const std::string& headers, bool closeDelimited) {
  Reply reply;
  reply.bytes = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" + headers +
                "Connection: close\r\n";
  if (!closeDelimited) reply.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  reply.bytes += "\r\n" + body;
  return reply;
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 8) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      pipe(stop_) != 0)
    std::abort();
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  if (write(stop_[1], "x", 1) != 1) std::abort();
  thread_.join();
  close(listener_);
  close(stop_[0]);
  close(stop_[1]);
}

std::string LoopbackServer::Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackServer::Change(const std::function<void()>& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  change();
}

void LoopbackServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      head.append(buffer, static_cast<size_t>(n));
    }
    // "GET <target> HTTP/1.1"
    size_t start = head.find(' ') + 1;
    std::string target = head.substr(start, head.find(' ', start) - start);
    Reply reply;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(head);
      reply = handler_(target);
    }
    if (reply.reset) {
      linger abort{1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
      SendAll(client, reply.bytes);
      shutdown(client, SHUT_WR);
    }
    close(client);
  }
}

}  // namespace testing_titles
