// SPDX-License-Identifier: GPL-3.0-or-later
// disc_id: the MusicBrainz disc ID of a drive or disc image, computed here
// with libdiscid over the track table the disc library reads, so that the
// lookup's tests file their answers under an ID the player did not compute.
//
//   disc_id SOURCE            the disc's ID: an Enhanced CD (audio, then a
//                             data session) by its audio session
//   disc_id --whole SOURCE    the ID of every track as if all were audio,
//                             the lead-out the disc's own: what a player
//                             that ignored the data session would ask for
#include <discid/discid.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/linux/disc/disc.h"

int main(int argc, char** argv) {
  bool whole = argc == 3 && strcmp(argv[1], "--whole") == 0;
  if (argc != 2 && !whole) {
    fprintf(stderr, "usage: disc_id [--whole] SOURCE\n");
    return 2;
  }
  disc::Disc loaded;
  std::string why;
  if (disc::LoadDisc(argv[argc - 1], &loaded, &why) != disc::DiscState::Ready) {
    fprintf(stderr, "disc_id: %s\n", why.c_str());
    return 1;
  }
  const disc::TrackTable& table = loaded.table;
  int last = table.Last();
  int32_t leadout = table.leadout;
  // Trailing data tracks of a later session are not the audio disc's.
  while (!whole && last > table.first && !table.Numbered(last).audio &&
         table.Numbered(last).session > table.Numbered(last - 1).session) {
    leadout = table.Numbered(last).start - disc::SessionGap;
    last--;
  }
  int offsets[100] = {};
  offsets[0] = leadout + disc::MsfOffset;
  for (int number = table.first; number <= last; number++)
    offsets[number] = table.Numbered(number).start + disc::MsfOffset;
  DiscId* id = discid_new();
  if (!discid_put(id, table.first, last, offsets)) {
    fprintf(stderr, "disc_id: %s\n", discid_get_error_msg(id));
    discid_free(id);
    return 1;
  }
  printf("%s\n", discid_get_id(id));
  discid_free(id);
  return 0;
}
