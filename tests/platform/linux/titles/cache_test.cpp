// SPDX-License-Identifier: GPL-3.0-or-later
// The titles and covers kept between starts: what is stored reads back,
// a "not found" holds a day, and files damaged, foreign or half-written
// read as nothing kept.
#include "platform/linux/titles/cache.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr char Disc[] = "49HHV7Eb8UKF3aQiNmu1GR8vKTY-";
constexpr char OtherDisc[] = "xUp1F2NkfP8s8jaeFn_Av3jNEI4-";

class Cache : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korvane-cache-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    folder_ = root_ + "/deep/korvane";  // made when first written
  }
  void TearDown() override {
    std::string command = "rm -rf '" + root_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    DIR* dir = opendir(folder_.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.' || (entry->d_name[1] && entry->d_name[1] != '.'))
        names.push_back(entry->d_name);
    closedir(dir);
    return names;
  }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
  }

  static titles::Album Sample() {
    titles::Album album;
    album.releaseId = "7a1c2f3e-4b5d-4e6f-8a9b-0c1d2e3f4a5b";
    album.title = "Songs of the Two Rivers \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC";
    album.artist = "Ana Vale & The Weirs";
    album.discNumber = 2;
    album.songs = {{"Delta", "Ana Vale feat. Oskar Lind"}, {"", ""}, {"Tide \"Table\"", ""}};
    return album;
  }

  std::string root_;
  std::string folder_;
};

TEST_F(Cache, WhatIsStoredReadsBackWithItsCover) {
  titles::Cache cache(folder_);
  titles::Album album = Sample();
  std::string why;
  ASSERT_TRUE(cache.StoreCover(Disc, std::string("\xFF\xD8\xFF\xE0 picture", 12), "jpg",
                               &album.coverPath, &why))
      << why;
  EXPECT_EQ(album.coverPath, folder_ + "/" + Disc + ".jpg");
  ASSERT_TRUE(cache.StoreAlbum(Disc, album, &why)) << why;

  titles::Album kept;
  ASSERT_EQ(cache.Load(Disc, 1000, &kept, &why), titles::Kept::Found) << why;
  album.frontCover = true;
  EXPECT_EQ(kept, album);
  // Only the titles file and the cover: no temporary file is left.
  std::vector<std::string> files = Files();
  EXPECT_EQ(files.size(), 2u);
  struct stat info;
  ASSERT_EQ(stat((folder_ + "/" + Disc + ".json").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // The cover gone, the titles stay, without it.
  ASSERT_EQ(unlink(album.coverPath.c_str()), 0);
  ASSERT_EQ(cache.Load(Disc, 1000, &kept), titles::Kept::Found);
  EXPECT_EQ(kept.coverPath, "");
  EXPECT_EQ(kept.title, album.title);

  // Nothing for another disc.
  EXPECT_EQ(cache.Load(OtherDisc, 1000, &kept), titles::Kept::Nothing);
}

TEST_F(Cache, NotFoundHoldsForADay) {
  titles::Cache cache(folder_);
  std::string why;
  const time_t then = 1800000000;
  ASSERT_TRUE(cache.StoreNotFound(Disc, then, &why)) << why;
  titles::Album album;
  EXPECT_EQ(cache.Load(Disc, then, &album), titles::Kept::NotFound);
  EXPECT_EQ(cache.Load(Disc, then + titles::NotFoundKept - 1, &album), titles::Kept::NotFound);
  EXPECT_EQ(cache.Load(Disc, then + titles::NotFoundKept, &album), titles::Kept::Nothing);
  // A clock set back does not make the mark last for ever.
  EXPECT_EQ(cache.Load(Disc, then - 10, &album), titles::Kept::Nothing);

  // Titles found later replace the mark.
  ASSERT_TRUE(cache.StoreAlbum(Disc, Sample(), &why)) << why;
  EXPECT_EQ(cache.Load(Disc, then, &album), titles::Kept::Found);
}

TEST_F(Cache, DamagedOrForeignFilesReadAsNothingKept) {
  titles::Cache cache(folder_);
  std::string why;
  ASSERT_TRUE(cache.StoreAlbum(Disc, Sample(), &why)) << why;
  std::ifstream stored(folder_ + "/" + Disc + ".json", std::ios::binary);
  const std::string good((std::istreambuf_iterator<char>(stored)),
                         std::istreambuf_iterator<char>());
  ASSERT_FALSE(good.empty());

  auto kept = [&](const std::string& bytes) {
    Write(std::string(Disc) + ".json", bytes);
    titles::Album album;
    album.title = "untouched";
    std::string problem;
    titles::Kept answer = cache.Load(Disc, 1000, &album, &problem);
    if (answer == titles::Kept::Nothing) {
      EXPECT_EQ(album.title, "untouched");
      EXPECT_FALSE(problem.empty());
    }
    return answer;
  };
  EXPECT_EQ(kept(good), titles::Kept::Found);
  EXPECT_EQ(kept(good.substr(0, good.size() / 2)), titles::Kept::Nothing);
  EXPECT_EQ(kept(""), titles::Kept::Nothing);
  EXPECT_EQ(kept(std::string("\0\x01\x02garbage", 10)), titles::Kept::Nothing);
  EXPECT_EQ(kept("[1, 2, 3]"), titles::Kept::Nothing);
  // Another program's file, and ours for another disc.
  EXPECT_EQ(kept("{\"disc\": \"" + std::string(Disc) + "\", \"title\": \"x\"}"),
            titles::Kept::Nothing);
  std::string foreign = good;
  foreign.replace(foreign.find(Disc), 28, OtherDisc);
  EXPECT_EQ(kept(foreign), titles::Kept::Nothing);
  // Fields of the wrong type, a cover outside the folder, a bad mark.
  std::string wrongType = good;
  wrongType.replace(wrongType.find("\"disc-number\": 2"), 16, "\"disc-number\": \"2\"");
  EXPECT_EQ(kept(wrongType), titles::Kept::Nothing);
  EXPECT_EQ(kept("{\"format\": \"korvane-titles-1\", \"disc\": \"" + std::string(Disc) +
                 "\", \"not-found\": \"yesterday\"}"),
            titles::Kept::Nothing);
  std::string escape = good;
  escape.replace(escape.find("\"tracks\""), 0, "\"cover\": \"../../../etc/passwd\", ");
  titles::Album album;
  Write(std::string(Disc) + ".json", escape);
  ASSERT_EQ(cache.Load(Disc, 1000, &album), titles::Kept::Found);
  EXPECT_EQ(album.coverPath, "");

  // A damaged file is replaced by the next store.
  Write(std::string(Disc) + ".json", "{{{{");
  ASSERT_TRUE(cache.StoreAlbum(Disc, Sample(), &why)) << why;
  EXPECT_EQ(cache.Load(Disc, 1000, &album), titles::Kept::Found);
}

TEST_F(Cache, AFolderThatCannotBeWrittenSaysSoAndLeavesNothing) {
  // A file where the folder should be.
  ASSERT_EQ(mkdir((root_ + "/deep").c_str(), 0700), 0);
  std::ofstream(folder_) << "in the way";
  titles::Cache cache(folder_);
  std::string why;
  EXPECT_FALSE(cache.StoreAlbum(Disc, Sample(), &why));
  EXPECT_NE(why.find(folder_), std::string::npos) << why;
  titles::Album album;
  EXPECT_EQ(cache.Load(Disc, 1000, &album), titles::Kept::Nothing);

  titles::Cache nowhere("");
  why.clear();
  EXPECT_FALSE(nowhere.StoreNotFound(Disc, 1000, &why));
  EXPECT_FALSE(why.empty());
}

}  // namespace
