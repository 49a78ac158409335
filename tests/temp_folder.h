// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of one test's own for the files it makes, under $TMPDIR (else
// /tmp), removed with all it holds when the object goes.
#ifndef KORVANE_TESTS_TEMP_FOLDER_H
#define KORVANE_TESTS_TEMP_FOLDER_H

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace tests {

class TempFolder {
 public:
  // `prefix` names what the folder is for: "korvane-drive".
  explicit TempFolder(const std::string& prefix) {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // False when the folder could not be made; Path() is then "".
  bool Made() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tests

#endif
