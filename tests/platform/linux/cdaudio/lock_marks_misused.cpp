// SPDX-License-Identifier: GPL-3.0-or-later
// Built by no target: lock_marks.sh hands it to clang-tidy, with the
// tree's configuration, and expects a finding at each line marked
// "expected:" and nowhere else.
#include "platform/linux/cdaudio/mutex.h"

namespace {

using cdaudio::Mutex;
using cdaudio::MutexLock;

class Device {
 public:
  void Right() EXCLUDES(state_, outputs_) {
    MutexLock outputs(outputs_);
    MutexLock state(state_);
    count_++;
    CountLocked();
  }
  void Unguarded() { count_++; }      // expected: writing variable 'count_' requires holding
  void Unlocked() { CountLocked(); }  // expected: calling function 'CountLocked' requires holding
  void HeldAcross() EXCLUDES(state_) {
    MutexLock state(state_);
    AskOutput();  // expected: cannot call function 'AskOutput' while mutex 'state_' is held
  }
  void Backwards() EXCLUDES(state_, outputs_) {
    MutexLock state(state_);
    MutexLock outputs(outputs_);  // expected: mutex 'outputs_' must be acquired before 'state_'
  }

 private:
  int CountLocked() REQUIRES(state_) { return count_; }
  void AskOutput() EXCLUDES(state_) {}

  Mutex outputs_ ACQUIRED_BEFORE(state_);
  Mutex state_;
  int count_ GUARDED_BY(state_) = 0;
};

}  // namespace
