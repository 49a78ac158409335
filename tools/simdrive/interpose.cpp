// The C library's file calls, for the drives' device nodes. Each wrapper
// hands everything that is not a drive to the next definition in line.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "tools/simdrive/simdrive.h"

namespace simdrive {

namespace {

struct OpenNode {
  std::shared_ptr<Drive> drive;
  bool writable;
};

// A drive is made on first use, outside the registry's lock: making it
// opens files, which comes back through open.
struct Slot {
  DriveSetup setup;
  std::once_flag made;
  std::shared_ptr<Drive> drive;
};

struct Registry {
  std::mutex mutex;
  bool installed = false;
  std::vector<std::shared_ptr<Slot>> slots;
  std::map<int, OpenNode> nodes;
};

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

std::shared_ptr<Drive> DriveFor(const char* path) {
  if (!path) return nullptr;
  Registry& registry = TheRegistry();
  std::shared_ptr<Slot> slot;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (!registry.installed) {
      for (const DriveSetup& setup : SetupsFromEnvironment()) {
        registry.slots.push_back(std::make_shared<Slot>());
        registry.slots.back()->setup = setup;
      }
      registry.installed = true;
    }
    for (const std::shared_ptr<Slot>& candidate : registry.slots)
      if (candidate->setup.path == path) slot = candidate;
  }
  if (!slot) return nullptr;
  std::call_once(slot->made, [&] { slot->drive = std::make_shared<Drive>(slot->setup); });
  return slot->drive;
}

bool NodeFor(int fd, OpenNode* node) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto it = registry.nodes.find(fd);
  if (it == registry.nodes.end()) return false;
  *node = it->second;
  return true;
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
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
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.nodes[fd] = OpenNode{drive, (flags & O_ACCMODE) != O_RDONLY};
  return fd;
}

int StatPath(const char* path, struct stat* info) {
  std::shared_ptr<Drive> drive = DriveFor(path);
  if (!drive) return 1;
  drive->Stat(info);
  return 0;
}

}  // namespace

void Install(const std::vector<DriveSetup>& setups) {
  Registry& registry = TheRegistry();
  std::vector<std::shared_ptr<Slot>> old;  // let go of after the lock: closing comes back here
  std::lock_guard<std::mutex> lock(registry.mutex);
  old.swap(registry.slots);
  for (const DriveSetup& setup : setups) {
    registry.slots.push_back(std::make_shared<Slot>());
    registry.slots.back()->setup = setup;
  }
  registry.nodes.clear();
  registry.installed = true;
}

}  // namespace simdrive

using simdrive::DriveFor;
using simdrive::Next;
using simdrive::OpenNode;

// What the callers built against glibc 2.36 reach: libcdio's open, close,
// stat, lstat, fstat, realpath and ioctl, the player's stat and access,
// and the 64 names a program built with 64-bit file offsets calls for the
// same functions.
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
      drive = it->second.drive;
      registry.nodes.erase(it);
    }
  }
  if (drive) drive->Close();
  static auto next = Next<int (*)(int)>("close");
  return next(fd);
}

#define SIMDRIVE_STAT_PATH(name, type)                                                 \
  int name(const char* path, struct type* info) __THROW {                              \
    if (simdrive::StatPath(path, reinterpret_cast<struct stat*>(info)) == 0) return 0; \
    static auto next = Next<int (*)(const char*, struct type*)>(#name);                \
    return next(path, info);                                                           \
  }
SIMDRIVE_STAT_PATH(stat, stat)
SIMDRIVE_STAT_PATH(stat64, stat64)
SIMDRIVE_STAT_PATH(lstat, stat)
SIMDRIVE_STAT_PATH(lstat64, stat64)

#define SIMDRIVE_STAT_FD(name, type)                            \
  int name(int fd, struct type* info) __THROW {                 \
    OpenNode node;                                              \
    if (simdrive::NodeFor(fd, &node)) {                         \
      node.drive->Stat(reinterpret_cast<struct stat*>(info));   \
      return 0;                                                 \
    }                                                           \
    static auto next = Next<int (*)(int, struct type*)>(#name); \
    return next(fd, info);                                      \
  }
SIMDRIVE_STAT_FD(fstat, stat)
SIMDRIVE_STAT_FD(fstat64, stat64)

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

char* realpath(const char* path, char* resolved) __THROW {
  if (DriveFor(path)) {
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
  OpenNode node;
  if (simdrive::NodeFor(fd, &node)) {
    int result = node.drive->Ioctl(request, argument, node.writable);
    if (result >= 0) return result;
    errno = -result;
    return -1;
  }
  static auto next = Next<int (*)(int, unsigned long, ...)>("ioctl");
  return next(fd, request, argument);
}

}  // extern "C"
