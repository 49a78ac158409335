// SPDX-License-Identifier: GPL-3.0-or-later
// cddrive: prints the CD drive libcdio would open by default, and exits 1
// when the machine has none.
#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <cstdio>
#include <cstdlib>

static void Quiet(cdio_log_level_t, const char*) {}

int main() {
  cdio_log_set_handler(Quiet);
  char* drive = cdio_get_default_device(nullptr);
  if (!drive) return 1;
  puts(drive);
  free(drive);
  return 0;
}
