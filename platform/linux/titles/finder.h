// SPDX-License-Identifier: GPL-3.0-or-later
// The titles of the disc that plays, for the media service: from the disc
// itself when it names its tracks (then nothing is asked), else from the
// cache at once, else looked up on MusicBrainz and the Cover Art Archive.
//
// The lookup runs in the window's own loop, as the media service does:
// libcurl's multi interface, its sockets and time-outs watched by FLTK. No
// thread waits on the network, so nothing is ever waited for at exit: the
// close button and Quit end the process while a request is still out.
// Only loading libcurl, which takes tens of milliseconds, happens on a
// short thread of its own, once, so that the window's loop never stalls.
#ifndef KORVANE_PLATFORM_LINUX_TITLES_FINDER_H
#define KORVANE_PLATFORM_LINUX_TITLES_FINDER_H

#include "platform/linux/disc/disc_text.h"
#include "platform/linux/disc/track_table.h"
#include "platform/linux/titles/album.h"

namespace titles {

// On the GUI thread only. The disc the device has loaded: what is due for
// it starts now; the same table again changes nothing.
void DiscSeen(const disc::TrackTable& table, const disc::DiscText& text);

// What has been found for the disc last seen; empty while nothing is.
const Album& Found();

}  // namespace titles

#endif
