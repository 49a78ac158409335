// SPDX-License-Identifier: GPL-3.0-or-later
// What the C library wrappers share: the drives by path and by open
// descriptor, and the next definition of a wrapped function.
#ifndef KORVANE_TOOLS_SIMDRIVE_INTERPOSE_H
#define KORVANE_TOOLS_SIMDRIVE_INTERPOSE_H

#include <dlfcn.h>

#include <cstring>
#include <memory>

#include "tools/simdrive/drive.h"

namespace simdrive {

struct OpenNode {
  std::shared_ptr<Drive> drive;
  bool writable;
};

// The drive whose node `path` names, by its configured path or, when that
// node exists, as the same file by another name; nullptr for any other.
std::shared_ptr<Drive> DriveFor(const char* path);
// The drive open on `fd`: a descriptor this library opened, or one another
// process opened on a drive's node and passed over.
bool NodeFor(int fd, OpenNode* node);

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Fills in any of the C library's stat records.
template <typename Record>
void FillStat(const NodeInfo& node, Record* info) {
  memset(info, 0, sizeof *info);
  info->st_mode = node.mode;
  info->st_uid = node.uid;
  info->st_gid = node.gid;
  info->st_rdev = node.rdev;
  info->st_dev = node.dev;
  info->st_ino = node.ino;
  info->st_nlink = node.nlink;
  info->st_blksize = node.blksize;
}

// The wrappers' bodies, for each name and record the C library has; what
// is not a drive goes to `next`.
template <typename Record>
int StatPath(const char* path, Record* info, int (*next)(const char*, Record*)) {
  if (std::shared_ptr<Drive> drive = DriveFor(path)) {
    FillStat(drive->Node(), info);
    return 0;
  }
  return next(path, info);
}

template <typename Record>
int StatFd(int fd, Record* info, int (*next)(int, Record*)) {
  OpenNode node;
  if (NodeFor(fd, &node)) {
    FillStat(node.drive->Node(), info);
    return 0;
  }
  return next(fd, info);
}

using IoctlFunction = int (*)(int, unsigned long, ...);
int Ioctl(int fd, unsigned long request, void* argument, IoctlFunction next);

}  // namespace simdrive

#endif
