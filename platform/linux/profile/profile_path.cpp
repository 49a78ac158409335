// SPDX-License-Identifier: GPL-3.0-or-later
// Profile files named without a folder live in the user's configuration
// folder, as the XDG base directory rules place it.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/profile/profile_internal.h"

namespace profile {

namespace {

std::optional<std::string> ConfigFolder() {
  // A relative $XDG_CONFIG_HOME is invalid and ignored.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg);
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') {
    const passwd* user = getpwuid(getuid());
    home = user ? user->pw_dir : nullptr;
  }
  if (!home || home[0] != '/') return std::nullopt;
  return std::string(home) + "/.config";
}

// mkdir -p, each new folder private to the user.
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string prefix = folder.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info;
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<std::string> ResolveProfilePath(const char* name, bool createFolder) {
  if (!name || !name[0]) return std::nullopt;
  if (std::strchr(name, '/')) return std::string(name);
  auto folder = ConfigFolder();
  if (!folder) return std::nullopt;
  if (createFolder && !MakeFolders(*folder)) return std::nullopt;
  return *folder + "/" + name;
}

}  // namespace profile
