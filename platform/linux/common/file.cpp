// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/common/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace common {

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

Fd::~Fd() {
  if (fd_ >= 0) close(fd_);
}

bool Fd::CloseChecked() {
  const int fd = fd_;
  fd_ = -1;
  return close(fd) == 0;
}

Fd OpenRegularFile(const std::string& path, struct stat* info, std::string* why) {
  Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file.Ok()) {
    const int error = errno;
    if (why) *why = "cannot open " + path + ": " + std::strerror(error);
    errno = error;
    return Fd();
  }
  if (fstat(file.Get(), info) != 0 || !S_ISREG(info->st_mode)) {
    if (why) *why = path + ": not a regular file";
    errno = 0;
    return Fd();
  }
  // Reads of a regular file never block anyway; clear the flag all the same.
  fcntl(file.Get(), F_SETFL, fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK);
  return file;
}

bool ReadAt(int fd, int64_t at, uint8_t* out, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t got = pread(fd, out + done, static_cast<size_t>(count - done), at + done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += got;
  }
  return true;
}

bool ReadAll(int fd, size_t limit, std::string* out) {
  char buffer[65536];
  size_t taken = 0;
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    out->append(buffer, static_cast<size_t>(got));
    taken += static_cast<size_t>(got);
    if (taken > limit) return false;
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

}  // namespace common
