// SPDX-License-Identifier: GPL-3.0-or-later
// MusicBrainz's answers, in the shape its web service writes them, read
// into the titles of the one medium that holds the disc; and answers that
// are not what they should be, refused whole.
#include "platform/linux/titles/answer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

std::string Answer(const char* name) {
  std::ifstream file(std::string(KORVANE_ANSWERS) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_FALSE(text.str().empty()) << name;
  return text.str();
}

constexpr char SecondDisc[] = "Qx2nBvYJ3sVWZbCdzE8RkdPtK1w-";
constexpr char FirstDisc[] = "aaaaaaaaaaaaaaaaaaaaaaaaaaa-";
constexpr char Hexad[] = "49HHV7Eb8UKF3aQiNmu1GR8vKTY-";

titles::Album Read(const std::string& body, const std::string& discId) {
  titles::Album album;
  std::string why;
  EXPECT_TRUE(titles::ReadAnswer(body, discId, &album, &why)) << why;
  return album;
}

std::string Refusal(const std::string& body, const std::string& discId) {
  titles::Album album;
  album.title = "untouched";
  std::string why;
  EXPECT_FALSE(titles::ReadAnswer(body, discId, &album, &why));
  EXPECT_EQ(album.title, "untouched");
  EXPECT_FALSE(why.empty());
  return why;
}

TEST(Answer, TheSecondDiscOfASetGetsItsOwnTracksAndCredits) {
  const std::string body = Answer("two_discs.json");
  titles::Album second = Read(body, SecondDisc);
  EXPECT_EQ(second.releaseId, "7a1c2f3e-4b5d-4e6f-8a9b-0c1d2e3f4a5b");
  EXPECT_EQ(second.title, "Songs of the Two Rivers");
  EXPECT_EQ(second.artist, "Ana Vale & The Weirs");
  EXPECT_EQ(second.discNumber, 2);
  EXPECT_TRUE(second.frontCover);
  ASSERT_EQ(second.songs.size(), 3u);
  // The track's title on the medium, not its recording's.
  EXPECT_EQ(second.songs[0].title, "Delta");
  EXPECT_EQ(second.songs[0].artist, "Ana Vale feat. Oskar Lind");
  // A track without a credit of its own is left to the release's.
  EXPECT_EQ(second.songs[1].title, "Estuary");
  EXPECT_EQ(second.songs[1].artist, "");
  EXPECT_EQ(second.songs[2].artist, "The Weirs");

  titles::Album first = Read(body, FirstDisc);
  EXPECT_EQ(first.discNumber, 1);
  ASSERT_EQ(first.songs.size(), 2u);
  EXPECT_EQ(first.songs[0].title, "Upstream");
  EXPECT_EQ(first.songs[1].artist, "Ana Vale & The Weirs");

  // A disc no medium lists: no titles rather than another disc's.
  EXPECT_NE(Refusal(body, Hexad).find("no medium"), std::string::npos);
}

TEST(Answer, OfSeveralReleasesTheFirstOfficialOneIsTaken) {
  const std::string body = Answer("several_releases.json");
  titles::Album album = Read(body, Hexad);
  EXPECT_EQ(album.releaseId, "00000000-0000-4000-8000-0000000000b2");
  EXPECT_EQ(album.title, "Hexad");
  EXPECT_EQ(album.discNumber, 0);  // one medium: no disc number
  EXPECT_TRUE(album.frontCover);
  ASSERT_EQ(album.songs.size(), 6u);
  EXPECT_EQ(album.songs[5].title, "Six");
  EXPECT_EQ(album.songs[5].artist, "Sextet");

  // With no official one, the first as served.
  nlohmann::json answer = nlohmann::json::parse(body);
  for (auto& release : answer["releases"]) release["status"] = nullptr;
  titles::Album first = Read(answer.dump(), Hexad);
  EXPECT_EQ(first.releaseId, "00000000-0000-4000-8000-0000000000b1");
  EXPECT_FALSE(first.frontCover);
  ASSERT_EQ(first.songs.size(), 1u);
  EXPECT_EQ(first.songs[0].title, "One (promo edit)");

  // Tracks listed out of order land at their positions; a gap stays empty.
  nlohmann::json shuffled = nlohmann::json::parse(body);
  auto& tracks = shuffled["releases"][1]["media"][0]["tracks"];
  std::swap(tracks[0], tracks[5]);
  tracks.erase(tracks.begin() + 2);  // position 3
  titles::Album gaps = Read(shuffled.dump(), Hexad);
  ASSERT_EQ(gaps.songs.size(), 6u);
  EXPECT_EQ(gaps.songs[0].title, "One");
  EXPECT_EQ(gaps.songs[5].title, "Six");
  EXPECT_EQ(gaps.songs[2].title, "");
}

TEST(Answer, WhatIsNotAsMusicBrainzWritesItIsRefusedWhole) {
  const std::string body = Answer("two_discs.json");
  // Cut anywhere, the answer is not JSON.
  for (size_t cut : {size_t{0}, size_t{1}, body.size() / 3, body.size() / 2, body.size() - 2})
    EXPECT_NE(Refusal(body.substr(0, cut), SecondDisc).find("not JSON"), std::string::npos) << cut;
  EXPECT_NE(Refusal("\xFF\xFE{}", SecondDisc).find("not JSON"), std::string::npos);
  Refusal("[]", SecondDisc);
  Refusal("{\"error\": \"Not Found\"}", SecondDisc);
  Refusal("{\"releases\": []}", SecondDisc);

  // Each field of another type than documented.
  const nlohmann::json good = nlohmann::json::parse(body);
  auto wrong = [&](const nlohmann::json::json_pointer& where, const nlohmann::json& value) {
    nlohmann::json changed = good;
    changed[where] = value;
    return Refusal(changed.dump(), SecondDisc);
  };
  using Pointer = nlohmann::json::json_pointer;
  EXPECT_NE(wrong(Pointer("/releases"), "many").find("releases"), std::string::npos);
  wrong(Pointer("/releases/0"), 7);
  wrong(Pointer("/releases/0/media"), nlohmann::json::object());
  wrong(Pointer("/releases/0/title"), 12);
  wrong(Pointer("/releases/0/id"), "not-an-mbid/../../x");
  wrong(Pointer("/releases/0/artist-credit"), "Ana Vale");
  wrong(Pointer("/releases/0/artist-credit/0/name"), true);
  wrong(Pointer("/releases/0/cover-art-archive/front"), "yes");
  wrong(Pointer("/releases/0/media/1/discs/0/id"), 5);
  wrong(Pointer("/releases/0/media/1/tracks/1/title"), nlohmann::json::array());
  wrong(Pointer("/releases/0/media/1/tracks/1/position"), "2");
  wrong(Pointer("/releases/0/media/1/tracks/1/position"), 0);
  wrong(Pointer("/releases/0/media/1/tracks/1/position"), 100000);
  wrong(Pointer("/releases/0/media/1/tracks/0/artist-credit/1"), "Oskar Lind");
  wrong(Pointer("/releases/0/media/1/position"), 2.5);
}

}  // namespace
