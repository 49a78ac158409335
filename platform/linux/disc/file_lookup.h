// Finds the file a sheet names as a person looking for it would: the name
// as written, relative to the sheet's folder; else the one file whose name
// matches it ignoring letter case (sheets written where names ignore case);
// else, for audio, the one file of the same name with another audio
// extension (the sheet says .wav, the rip was converted to .flac).
#ifndef KORVANE_PLATFORM_LINUX_DISC_FILE_LOOKUP_H
#define KORVANE_PLATFORM_LINUX_DISC_FILE_LOOKUP_H

#include <string>

namespace disc {

// The path of the file `name` means in `folder`; empty when there is none,
// or more than one it could mean, with `why` saying which.
std::string FindSheetFile(const std::string& folder, const std::string& name, bool audio,
                          std::string* why);

}  // namespace disc

#endif
