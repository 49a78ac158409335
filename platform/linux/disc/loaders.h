// The loaders behind LoadDisc, one for each kind of source, and what they
// share; the disc readers' own business, and their tests'.
#ifndef KORVANE_PLATFORM_LINUX_DISC_LOADERS_H
#define KORVANE_PLATFORM_LINUX_DISC_LOADERS_H

#include <stdint.h>

#include <memory>
#include <string>

#include "platform/linux/disc/disc.h"

typedef struct _CdIo CdIo_t;

namespace disc {

// The cue-sheet side of LoadDisc.
DiscState LoadCueImage(const std::string& path, Disc* disc, std::string* why);

// Its two steps: the sheet at `path` read and parsed, whatever code page
// it was written in (false with `why` set), and the image it describes.
struct CueSheet;
bool ReadCueSheet(const std::string& path, CueSheet* sheet, std::string* why);
DiscState LoadCueImage(const std::string& path, const CueSheet& sheet, Disc* disc,
                       std::string* why);

// The .toc side of LoadDisc.
DiscState LoadTocImage(const std::string& path, Disc* disc, std::string* why);

// A raw image of 2352-byte sectors named by itself: read through the cue
// sheet of the same name beside it, or without one as a single audio track.
DiscState LoadBinImage(const std::string& path, Disc* disc, std::string* why);

// The libcdio side of LoadDisc: drives and .nrg images.
DiscState LoadCdioDisc(const std::string& source, Disc* disc, std::string* why);

// The drive side of LoadCdioDisc: sectors read in batches up to `end`, at
// a quiet speed, with a cap on the retries of what a scratch makes
// unreadable (it sounds as silence); paranoia only vets the drive. Takes
// `cdio` over, and releases it on failure.
std::unique_ptr<SectorReader> OpenDriveReader(CdIo_t* cdio, int32_t end);

// Keeps libcdio's log off stderr; safe to call more than once.
void QuietCdio();

}  // namespace disc

#endif
