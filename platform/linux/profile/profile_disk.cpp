// Reading a profile file whole, and replacing it so that a crash, a full
// disk or a folder that refuses the write never leaves it half written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/linux/profile/profile_internal.h"

namespace profile {

namespace {

// A file descriptor closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now, reporting what close() says: the last word on a write.
  bool closeChecked() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Writes, flushes and closes a newly created file; false on any failure.
bool FillNewFile(Fd& file, const std::string& bytes, std::optional<mode_t> mode) {
  if (mode && fchmod(file.get(), *mode & 07777) != 0) return false;
  if (!WriteAll(file.get(), bytes)) return false;
  if (fsync(file.get()) != 0) return false;
  return file.closeChecked();
}

// The file a path really names: a symbolic link is written through, so
// that a link into a folder of managed settings stays a link.
std::string WriteTarget(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      std::string target(real);
      std::free(real);
      return target;
    }
  }
  return path;
}

}  // namespace

FileContents ReadProfileFile(const std::string& path) {
  FileContents contents;
  // Never waits: a FIFO in the file's place would block until a writer came.
  Fd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file.ok()) {
    contents.exists = errno != ENOENT && errno != ENOTDIR;
    return contents;
  }
  contents.exists = true;
  struct stat info;
  if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return contents;
  contents.mode = info.st_mode;
  char buffer[8192];
  for (;;) {
    const ssize_t n = read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return contents;
    if (n == 0) break;
    contents.bytes.append(buffer, size_t(n));
    if (contents.bytes.size() > MaxProfileSize) return contents;
  }
  contents.readable = true;
  return contents;
}

bool ReplaceFile(const std::string& path, const std::string& bytes, std::optional<mode_t> mode) {
  static std::atomic<unsigned> serial{0};
  const std::string target = WriteTarget(path);
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);

  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; attempt++) {
    temp = folder + "/." + name + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) +
           ".tmp";
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  Fd file(fd);
  if (!file.ok()) return false;
  if (!FillNewFile(file, bytes, mode) || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.ok()) fsync(dir.get());
  return true;
}

bool KeepCopy(const std::string& path, const std::string& bytes, mode_t mode) {
  for (int n = 0; n < 100; n++) {
    const std::string copy = path + ".bak" + (n ? "." + std::to_string(n) : "");
    Fd file(open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.ok() && errno == EEXIST) continue;
    if (!file.ok()) return false;
    if (FillNewFile(file, bytes, mode)) return true;
    unlink(copy.c_str());
    return false;
  }
  return false;
}

}  // namespace profile
