// SPDX-License-Identifier: GPL-3.0-or-later
// The disc the device plays: a drive, or an image standing in for one.
// Loading gives its checked track table and a reader of its audio sectors.
//
// How the folder fails: a function that can fail returns bool, gives its
// results through pointers, and on failure sets its last parameter,
// `std::string* why`, to one line that names the file or drive and says
// what is wrong. LoadDisc alone returns a DiscState, since the device
// answers an empty drive otherwise than a bad image. Sector reads answer
// false without a reason: the worker meets every failure alike.
#ifndef KORVANE_PLATFORM_LINUX_DISC_DISC_H
#define KORVANE_PLATFORM_LINUX_DISC_DISC_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/disc/disc_text.h"
#include "platform/linux/disc/track_table.h"

namespace disc {

// Reads whole audio sectors as 16-bit little-endian stereo samples. Only
// the device's worker reads, one call at a time.
class SectorReader {
 public:
  virtual ~SectorReader() = default;
  // Fills `out` with `count` sectors from `lsn`; false when the disc could
  // not deliver them (taken out, image truncated, unreadable).
  virtual bool Read(int32_t lsn, int32_t count, uint8_t* out) = 0;
  // How many sectors one Read should ask for to keep the source busy.
  virtual int32_t PreferredBatch() const { return 75; }
  // How far ahead of the output the worker should read, in sectors.
  virtual int32_t ReadAhead() const { return 75; }
  // Once it has read that far, the worker reads again when less than this
  // is left ahead of the output: a drive reads in bursts and rests between.
  virtual int32_t LowWater() const { return ReadAhead(); }
  // The last Read failed because the disc is no longer there.
  virtual bool DiscGone() const { return false; }
};

struct Disc {
  TrackTable table;
  std::unique_ptr<SectorReader> reader;
  DiscText text;  // from the sheet or the CD-Text; empty where there is none
};

enum class DiscState {
  Ready,       // table and reader loaded
  NoDisc,      // the drive is empty or not ready
  Unreadable,  // the image or disc cannot be played as it stands
};

// Loads the disc in `source`: a drive's device file (through libcdio) or an
// image, which the device reads itself (.cue, .toc, .bin, and any other
// file as a Nero image). No exception leaves it (disc.cpp).
DiscState LoadDisc(const std::string& source, Disc* disc, std::string* why);

// Whether the user may read the drive `path` names: true when they can,
// or when `path` is no device node; else false, with `why` one line that
// says what to do.
bool DriveUsable(const std::string& path, std::string* why);

// Whether the user may read every drive node the default search would
// find: false at the first they cannot, with `why` saying so as
// DriveUsable does.
bool DefaultDrivesUsable(std::string* why);

// The CD drives the system has, each once, in the kernel's order.
std::vector<std::string> Drives();

// The source to open when none is named: $CDAUDIO_DEVICE, else the first
// drive that holds a disc beginning with audio, else the first drive;
// empty when there is none.
std::string DefaultSource();

}  // namespace disc

#endif
