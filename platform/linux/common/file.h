// SPDX-License-Identifier: GPL-3.0-or-later
// Files as the backend reads and writes them: a descriptor closed by its
// owner, a regular file opened without waiting, and whole reads and writes
// that go on after a signal. This is the one place EINTR is handled.
#ifndef KORVANE_PLATFORM_LINUX_COMMON_FILE_H
#define KORVANE_PLATFORM_LINUX_COMMON_FILE_H

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace common {

// A file descriptor closed when its owner goes; -1 owns nothing.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd();

  int Get() const { return fd_; }
  bool Ok() const { return fd_ >= 0; }
  // Closes now, reporting what close() says: the last word on a write.
  bool CloseChecked();

 private:
  int fd_ = -1;
};

// Opens a file the user or an image names for reading; nothing when it is
// not a regular file. The open never waits (a FIFO would block until a
// writer came), and the file is checked before a byte of it is read.
// `info` receives its status. When the open itself fails, errno is its
// error; when the file is there but not regular, errno is 0. `why`, when
// given, says which of the two failed, naming the file.
Fd OpenRegularFile(const std::string& path, struct stat* info, std::string* why = nullptr);

// Reads `count` bytes at `at`; false when the file holds fewer there or
// fails.
bool ReadAt(int fd, int64_t at, uint8_t* out, int64_t count);

// Appends the rest of the file to `out`; false when reading fails or the
// file holds more than `limit` bytes.
bool ReadAll(int fd, size_t limit, std::string* out);

// Writes all of `bytes`; false when the file takes fewer.
bool WriteAll(int fd, const std::string& bytes);

}  // namespace common

#endif
