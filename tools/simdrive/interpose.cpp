// SPDX-License-Identifier: GPL-3.0-or-later
// The C library's file calls, for the drives' device nodes. Each wrapper
// hands everything that is not a drive to the next definition in line.
#undef _FORTIFY_SOURCE
#include "tools/simdrive/interpose.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "tools/simdrive/simdrive.h"

namespace simdrive {

namespace {

// A drive is made on first use, outside the registry's lock: making it
// opens files, which comes back through open.
struct Slot {
  DriveSetup setup;
  std::once_flag made;
  std::shared_ptr<Drive> drive;
  // The file at the setup's path, when there is one: another name for it,
  // or a descriptor another process opened on it, is the drive too.
  bool exists = false;
  uint64_t device = 0;
  uint64_t inode = 0;
};

using FileId = std::pair<uint64_t, uint64_t>;  // device, inode

// The open file a descriptor of a drive stands for, shared by its
// duplicates (dup, dup2, F_DUPFD), which are known by its identity. It is
// kept after the descriptors known by number close: a duplicate never used
// yet may still stand for it. Memory files' inode numbers come from a
// counter, so no later file takes its identity.
struct OpenFile {
  OpenNode node;
};

struct Registry {
  std::mutex mutex;
  bool installed = false;
  bool anyExists = false;
  std::vector<std::shared_ptr<Slot>> slots;
  std::map<int, FileId> nodes;
  std::map<FileId, OpenFile> files;
};

// The file's identity, by a call none of the wrappers takes.
bool Identify(int directory, const char* path, int flags, uint64_t* device, uint64_t* inode) {
  struct statx info;
  if (statx(directory, path, flags, STATX_INO, &info) != 0) return false;
  *device = static_cast<uint64_t>(info.stx_dev_major) << 32 | info.stx_dev_minor;
  *inode = info.stx_ino;
  return true;
}

std::vector<DriveSetup> SetupsFromEnvironment() {
  std::vector<DriveSetup> setups;
  const char* prefixes[] = {"SIMDRIVE_", "SIMDRIVE2_"};
  for (int i = 0; i < 2; i++) {
    auto get = [&](const char* name) {
      const char* value = getenv((std::string(prefixes[i]) + name).c_str());
      return std::string(value ? value : "");
    };
    DriveSetup setup;
    setup.path = get("PATH");
    setup.image = get("IMAGE");
    if (setup.path.empty() && setup.image.empty()) continue;
    if (setup.path.empty()) setup.path = i == 0 ? "/dev/sr0" : "/dev/sr1";
    std::istringstream links(get("LINKS"));
    for (std::string link; links >> link;) setup.links.push_back(link);
    setup.faults = get("FAULTS");
    setup.control = get("CONTROL");
    setup.journal = get("JOURNAL");
    setup.minor = i;
    setups.push_back(setup);
  }
  return setups;
}

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // outlives every static destructor
  return *registry;
}

void InstallLocked(Registry& registry, const std::vector<DriveSetup>& setups) {
  registry.slots.clear();
  registry.anyExists = false;
  for (const DriveSetup& setup : setups) {
    auto slot = std::make_shared<Slot>();
    slot->setup = setup;
    slot->exists = Identify(AT_FDCWD, setup.path.c_str(), 0, &slot->device, &slot->inode);
    registry.anyExists = registry.anyExists || slot->exists;
    registry.slots.push_back(slot);
  }
  registry.installed = true;
}

std::shared_ptr<Drive> Made(const std::shared_ptr<Slot>& slot) {
  if (!slot) return nullptr;
  std::call_once(slot->made, [&] { slot->drive = std::make_shared<Drive>(slot->setup); });
  return slot->drive;
}

// The slot whose file has this identity.
std::shared_ptr<Slot> SlotOfFile(Registry& registry, uint64_t device, uint64_t inode) {
  for (const std::shared_ptr<Slot>& slot : registry.slots)
    if (slot->exists && slot->device == device && slot->inode == inode) return slot;
  return nullptr;
}

int OpenDrive(const std::shared_ptr<Drive>& drive, int flags) {
  int error = drive->Open(flags);
  if (error != 0) {
    errno = error;
    return -1;
  }
  // A real descriptor stands for the node, so close and poll behave.
  int fd = static_cast<int>(memfd_create("simdrive", (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0));
  if (fd < 0) return -1;
  FileId id;
  if (!Identify(fd, "", AT_EMPTY_PATH, &id.first, &id.second)) return fd;  // as good as gone
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.files[id] = OpenFile{OpenNode{drive, (flags & O_ACCMODE) != O_RDONLY}};
  registry.nodes[fd] = id;
  return fd;
}

}  // namespace

std::shared_ptr<Drive> DriveFor(const char* path) {
  if (!path) return nullptr;
  Registry& registry = TheRegistry();
  std::shared_ptr<Slot> slot;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (!registry.installed) InstallLocked(registry, SetupsFromEnvironment());
    for (const std::shared_ptr<Slot>& candidate : registry.slots) {
      const std::vector<std::string>& links = candidate->setup.links;
      if (candidate->setup.path == path ||
          std::find(links.begin(), links.end(), path) != links.end())
        slot = candidate;
    }
    uint64_t device, inode;
    if (!slot && registry.anyExists && Identify(AT_FDCWD, path, 0, &device, &inode))
      slot = SlotOfFile(registry, device, inode);
  }
  return Made(slot);
}

bool NodeFor(int fd, OpenNode* node) {
  Registry& registry = TheRegistry();
  std::shared_ptr<Slot> slot;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.nodes.find(fd);
    if (it != registry.nodes.end()) {
      *node = registry.files[it->second].node;
      return true;
    }
    FileId id;
    if ((registry.files.empty() && !registry.anyExists) ||
        !Identify(fd, "", AT_EMPTY_PATH, &id.first, &id.second))
      return false;
    auto file = registry.files.find(id);
    if (file != registry.files.end()) {  // a duplicate of one of ours
      registry.nodes[fd] = id;
      *node = file->second.node;
      return true;
    }
    slot = SlotOfFile(registry, id.first, id.second);
  }
  if (!slot) return false;
  int flags = fcntl(fd, F_GETFL);
  *node = OpenNode{Made(slot), flags >= 0 && (flags & O_ACCMODE) != O_RDONLY};
  return true;
}

int Ioctl(int fd, unsigned long request, void* argument, IoctlFunction next) {
  OpenNode node;
  if (NodeFor(fd, &node)) {
    int result = node.drive->Ioctl(request, argument, node.writable);
    if (result >= 0) return result;
    errno = -result;
    return -1;
  }
  return next(fd, request, argument);
}

void Install(const std::vector<DriveSetup>& setups) {
  Registry& registry = TheRegistry();
  std::vector<std::shared_ptr<Slot>> old;  // let go of after the lock: closing comes back here
  std::lock_guard<std::mutex> lock(registry.mutex);
  old.swap(registry.slots);
  InstallLocked(registry, setups);
  registry.nodes.clear();
  registry.files.clear();
}

}  // namespace simdrive

using simdrive::DriveFor;
using simdrive::Next;

// What the callers built against glibc 2.36 reach: libcdio's open, close,
// stat, lstat, fstat, realpath and ioctl, the player's stat and access,
// and the 64 names a program built with 64-bit file offsets calls for the
// same functions. A 32-bit program built with 64-bit time calls yet other
// names, in interpose_time64.cpp.
extern "C" {

#define SIMDRIVE_OPEN(name)                                         \
  int name(const char* path, int flags, ...) {                      \
    mode_t mode = 0;                                                \
    if (flags & (O_CREAT | O_TMPFILE)) {                            \
      va_list arguments;                                            \
      va_start(arguments, flags);                                   \
      mode = static_cast<mode_t>(va_arg(arguments, int));           \
      va_end(arguments);                                            \
    }                                                               \
    if (std::shared_ptr<simdrive::Drive> drive = DriveFor(path))    \
      return simdrive::OpenDrive(drive, flags);                     \
    static auto next = Next<int (*)(const char*, int, ...)>(#name); \
    return next(path, flags, mode);                                 \
  }
SIMDRIVE_OPEN(open)
SIMDRIVE_OPEN(open64)

int close(int fd) {
  simdrive::Registry& registry = simdrive::TheRegistry();
  std::shared_ptr<simdrive::Drive> drive;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.nodes.find(fd);
    if (it != registry.nodes.end()) {
      auto file = registry.files.find(it->second);
      if (file != registry.files.end()) {
        drive = file->second.node.drive;
      }
      registry.nodes.erase(it);
    }
  }
  if (drive) drive->Close();
  static auto next = Next<int (*)(int)>("close");
  return next(fd);
}

#define SIMDRIVE_STAT_PATH(name, record)                                  \
  int name(const char* path, struct record* info) __THROW {               \
    static auto next = Next<int (*)(const char*, struct record*)>(#name); \
    return simdrive::StatPath(path, info, next);                          \
  }
SIMDRIVE_STAT_PATH(stat, stat)
SIMDRIVE_STAT_PATH(stat64, stat64)
SIMDRIVE_STAT_PATH(lstat, stat)
SIMDRIVE_STAT_PATH(lstat64, stat64)

#define SIMDRIVE_STAT_FD(name, record)                            \
  int name(int fd, struct record* info) __THROW {                 \
    static auto next = Next<int (*)(int, struct record*)>(#name); \
    return simdrive::StatFd(fd, info, next);                      \
  }
SIMDRIVE_STAT_FD(fstat, stat)
SIMDRIVE_STAT_FD(fstat64, stat64)

// What programs built against a C library before 2.33 call for the same:
// the version argument names the record, which is the one stat fills.
#define SIMDRIVE_XSTAT_PATH(name, plain, record)                          \
  int name(int, const char* path, struct record* info) __THROW {          \
    static auto next = Next<int (*)(const char*, struct record*)>(plain); \
    return simdrive::StatPath(path, info, next);                          \
  }
SIMDRIVE_XSTAT_PATH(__xstat, "stat", stat)
SIMDRIVE_XSTAT_PATH(__xstat64, "stat64", stat64)
SIMDRIVE_XSTAT_PATH(__lxstat, "lstat", stat)
SIMDRIVE_XSTAT_PATH(__lxstat64, "lstat64", stat64)

#define SIMDRIVE_FXSTAT(name, plain, record)                      \
  int name(int, int fd, struct record* info) __THROW {            \
    static auto next = Next<int (*)(int, struct record*)>(plain); \
    return simdrive::StatFd(fd, info, next);                      \
  }
SIMDRIVE_FXSTAT(__fxstat, "fstat", stat)
SIMDRIVE_FXSTAT(__fxstat64, "fstat64", stat64)

int access(const char* path, int mode) __THROW {
  if (std::shared_ptr<simdrive::Drive> drive = DriveFor(path)) {
    int error = drive->Access(mode);
    if (error == 0) return 0;
    errno = error;
    return -1;
  }
  static auto next = Next<int (*)(const char*, int)>("access");
  return next(path, mode);
}

// A link resolves to the drive's own node, so a search that lists each
// drive once by its real path finds a linked drive once.
char* realpath(const char* path, char* resolved) __THROW {
  if (std::shared_ptr<simdrive::Drive> drive = DriveFor(path)) {
    path = drive->Path().c_str();
    if (!resolved) return strdup(path);
    strncpy(resolved, path, PATH_MAX - 1);
    resolved[PATH_MAX - 1] = '\0';
    return resolved;
  }
  static auto next = Next<char* (*)(const char*, char*)>("realpath");
  return next(path, resolved);
}

int ioctl(int fd, unsigned long request, ...) __THROW {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  static auto next = Next<simdrive::IoctlFunction>("ioctl");
  return simdrive::Ioctl(fd, request, argument, next);
}

}  // extern "C"
