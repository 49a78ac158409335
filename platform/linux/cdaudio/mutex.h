// SPDX-License-Identifier: GPL-3.0-or-later
// A mutex that clang's thread-safety analysis (-Wthread-safety, on in
// clang builds and in clang-tidy) can follow: members marked GUARDED_BY a
// mutex are touched only with it held, a function marked REQUIRES one (the
// `…Locked` ones) is called only with it held, one marked EXCLUDES only
// without it. Other compilers read the marks as nothing.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_MUTEX_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_MUTEX_H

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define THREAD_ANNOTATION(x) __attribute__((x))
#else
#define THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) THREAD_ANNOTATION(guarded_by(x))
#define ACQUIRED_BEFORE(...) THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define REQUIRES(...) THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace cdaudio {

class CAPABILITY("mutex") Mutex {
 public:
  // For a while within a scope that holds it, as MutexLock does.
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class MutexLock;
  std::mutex mutex_;
};

// Holds a Mutex for its scope, and lets go of it while it waits.
class SCOPED_CAPABILITY MutexLock {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  // Sleeps on `wake` until `ready()`. The predicate runs with the mutex
  // held: mark a lambda REQUIRES(the mutex) for the analysis.
  template <typename Ready>
  void Wait(std::condition_variable& wake, Ready ready) {
    wake.wait(lock_, ready);
  }
  // The same until `until` at the latest; returns `ready()`.
  template <typename Ready>
  bool WaitUntil(std::condition_variable& wake, Clock::time_point until, Ready ready) {
    return wake.wait_until(lock_, until, ready);
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace cdaudio

#endif
