// SPDX-License-Identifier: GPL-3.0-or-later
// What the device does at the requests it is sent, told to one watcher
// outside it (the desktop's media service): the disc it has loaded, and
// the plays it starts and ends. The watcher is told on the thread that
// sent the request, under the device's lock: it must only take note.
#ifndef KORVANE_PLATFORM_LINUX_CDAUDIO_WATCH_H
#define KORVANE_PLATFORM_LINUX_CDAUDIO_WATCH_H

#include "platform/linux/disc/disc.h"

namespace cdaudio {

class Watcher {
 public:
  virtual ~Watcher() = default;
  // The disc's table has been read: once for each device opened on it.
  virtual void DiscLoaded(const disc::Disc& disc) = 0;
  // A PLAY request, accepted or refused.
  virtual void Played(bool accepted) = 0;
  // A STOP, or the CLOSE that ends the device's last use.
  virtual void Stopped() = 0;
};

// Tells `watcher` from now on; nullptr tells no one. The watcher outlives
// its watch.
void Watch(Watcher* watcher);

}  // namespace cdaudio

#endif
