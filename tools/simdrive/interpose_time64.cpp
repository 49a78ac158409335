// SPDX-License-Identifier: GPL-3.0-or-later
// The names a 32-bit program built with 64-bit time (_TIME_BITS=64), such
// as Wine's, calls for stat, lstat, fstat and ioctl. This file is built
// with that setting, so `struct stat` here is the record those names fill.
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cstdarg>

#include "tools/simdrive/interpose.h"

#if defined(__USE_TIME_BITS64) && __TIMESIZE == 32

using simdrive::Next;

extern "C" {

int __stat64_time64(const char* path, struct stat* info) {
  static auto next = Next<int (*)(const char*, struct stat*)>("__stat64_time64");
  return simdrive::StatPath(path, info, next);
}

int __lstat64_time64(const char* path, struct stat* info) {
  static auto next = Next<int (*)(const char*, struct stat*)>("__lstat64_time64");
  return simdrive::StatPath(path, info, next);
}

int __fstat64_time64(int fd, struct stat* info) {
  static auto next = Next<int (*)(int, struct stat*)>("__fstat64_time64");
  return simdrive::StatFd(fd, info, next);
}

int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  static auto next = Next<simdrive::IoctlFunction>("__ioctl_time64");
  return simdrive::Ioctl(fd, request, argument, next);
}

}  // extern "C"

#endif
