// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a profile file whole, and replacing it so that a crash, a full
// disk or a folder that refuses the write never leaves it half written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/linux/common/file.h"
#include "platform/linux/profile/profile_internal.h"

namespace profile {

namespace {

using common::Fd;

// Writes, flushes and closes a newly created file; false on any failure.
bool FillNewFile(Fd& file, const std::string& bytes, std::optional<mode_t> mode) {
  if (mode && fchmod(file.Get(), *mode & 07777) != 0) return false;
  if (!common::WriteAll(file.Get(), bytes)) return false;
  if (fsync(file.Get()) != 0) return false;
  return file.CloseChecked();
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
  struct stat info;
  const Fd file = common::OpenRegularFile(path, &info);
  if (!file.Ok()) {
    // A file that is there but not regular exists, and is not read.
    contents.exists = errno != ENOENT && errno != ENOTDIR;
    return contents;
  }
  contents.exists = true;
  contents.mode = info.st_mode;
  if (!common::ReadAll(file.Get(), MaxProfileSize, &contents.bytes)) return contents;
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
  if (!file.Ok()) return false;
  if (!FillNewFile(file, bytes, mode) || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder.
  Fd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Ok()) fsync(dir.Get());
  return true;
}

bool KeepCopy(const std::string& path, const std::string& bytes, mode_t mode) {
  for (int n = 0; n < 100; n++) {
    const std::string copy = path + ".bak" + (n ? "." + std::to_string(n) : "");
    Fd file(open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file.Ok() && errno == EEXIST) continue;
    if (!file.Ok()) return false;
    if (FillNewFile(file, bytes, mode)) return true;
    unlink(copy.c_str());
    return false;
  }
  return false;
}

}  // namespace profile
