// A drive the user may not read: its node exists, but opening it fails.
// The one line that says so names the group that may read it.
#include <grp.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/linux/disc/disc.h"

namespace disc {

std::string DriveRefusal(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !(S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode)))
    return "";
  if (access(path.c_str(), R_OK) == 0) return "";
  struct group* owner = getgrgid(info.st_gid);
  std::string group = owner ? owner->gr_name : std::to_string(info.st_gid);
  char mode[8];
  snprintf(mode, sizeof mode, "%03o", info.st_mode & 0777);
  return path + ": no permission to read the CD drive (mode " + mode + ", group " + group +
         "); add yourself to the group with \"sudo adduser $USER " + group + "\" and log in again";
}

std::string DefaultDriveRefusal() {
  std::vector<std::string> nodes = {"/dev/cdrom", "/dev/dvd"};
  for (int i = 0; i < 28; i++) nodes.push_back("/dev/sr" + std::to_string(i));
  for (const std::string& node : nodes) {
    std::string refusal = DriveRefusal(node);
    if (!refusal.empty()) return refusal;
  }
  return "";
}

}  // namespace disc
