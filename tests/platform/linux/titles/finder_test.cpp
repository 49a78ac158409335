// SPDX-License-Identifier: GPL-3.0-or-later
// The lookup as the player runs it: in FLTK's loop, through libcurl's
// multi interface, against a server on 127.0.0.1. Titles arrive while the
// loop runs, never while DiscSeen is called; a disc found once shows from
// the cache at once; a disc that names itself, or any disc with the lookup
// off, is never asked about.
#include "platform/linux/titles/finder.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/titles/disc_id.h"
#include "tests/platform/linux/titles/loopback_server.h"

namespace {

using testing_titles::Http;
using testing_titles::LoopbackServer;

constexpr char AnswersDisc[] = "Qx2nBvYJ3sVWZbCdzE8RkdPtK1w-";
const std::string Png = std::string("\x89PNG\r\n\x1A\n", 8) + "cover";

// Three audio tracks starting `shift` sectors apart from the others'.
disc::TrackTable Table(int32_t shift) {
  disc::TrackTable table;
  for (int32_t start : {0, 15000 + shift, 30000}) {
    disc::Track track;
    track.start = start;
    table.tracks.push_back(track);
  }
  table.leadout = 45000;
  return table;
}

std::string IdOf(const disc::TrackTable& table) {
  std::string id, why;
  EXPECT_TRUE(titles::DiscIdOf(table, &id, &why)) << why;
  return id;
}

// The answer for the set's second disc, given as `discId`'s.
std::string AnswerFor(const std::string& discId) {
  std::ifstream file(std::string(KORVANE_ANSWERS) + "/two_discs.json", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  std::string answer = text.str();
  for (size_t at; (at = answer.find(AnswersDisc)) != std::string::npos;)
    answer.replace(at, sizeof AnswersDisc - 1, discId);
  return answer;
}

// Runs the loop until the titles found are those of `title`'s album.
bool LoopUntilFound(const std::string& title) {
  for (int turns = 0; turns < 400 && titles::Found().title != title; ++turns) Fl::wait(0.05);
  return titles::Found().title == title;
}

// Runs the loop for `seconds`, or until the server is asked something.
void LoopWhileUnasked(const LoopbackServer& server, double seconds) {
  for (int turns = 0; turns < seconds / 0.05 && server.Requests().empty(); ++turns) Fl::wait(0.05);
}

class Finder : public ::testing::Test {
 protected:
  void SetUp() override {
    Fl::lock();  // as the player's display does, so that Fl::awake wakes the loop
    char pattern[] = "/tmp/korvane-finder-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    setenv("XDG_CACHE_HOME", folder_.c_str(), 1);
    setenv("KORVANE_LOOKUP", "on", 1);
  }
  void TearDown() override {
    std::string command = "rm -rf '" + folder_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  void PointAt(const LoopbackServer& server) {
    setenv("KORVANE_MUSICBRAINZ_URL", server.Base().c_str(), 1);
    setenv("KORVANE_COVERART_URL", (server.Base() + "/caa").c_str(), 1);
  }

  std::string folder_;
};

LoopbackServer::Handler Services() {
  return [](const std::string& target) {
    const std::string prefix = "/ws/2/discid/";
    if (target.compare(0, prefix.size(), prefix) == 0)
      return Http(200, AnswerFor(target.substr(prefix.size(), 28)));
    if (target.find("/front-500") != std::string::npos)
      return Http(302, "", "Location: /picture.png\r\n");
    if (target == "/picture.png") return Http(200, Png);
    return Http(404, "");
  };
}

TEST_F(Finder, TitlesArriveInTheLoopAndAreShownFromTheCacheAfterwards) {
  LoopbackServer server(Services());
  PointAt(server);
  const disc::TrackTable plain = Table(0);
  titles::DiscSeen(plain, {});
  // Nothing is waited for here: the request goes out from the loop.
  EXPECT_TRUE(titles::Found().Empty());
  ASSERT_TRUE(LoopUntilFound("Songs of the Two Rivers"));
  const titles::Album found = titles::Found();
  EXPECT_EQ(found.discNumber, 2);
  ASSERT_EQ(found.songs.size(), 3u);
  EXPECT_EQ(found.songs[0].title, "Delta");
  EXPECT_EQ(found.coverPath, folder_ + "/korvane/" + IdOf(plain) + ".png");
  EXPECT_EQ(server.Requests().size(), 3u);

  // Another disc, then this one again: from the cache, at once, unasked.
  titles::DiscSeen(Table(1), {{"Named", ""}, {}});
  EXPECT_TRUE(titles::Found().Empty());
  titles::DiscSeen(plain, {});
  EXPECT_EQ(titles::Found(), found);
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(Finder, ADiscThatNamesItselfOrAnyDiscWithTheLookupOffIsNeverAskedAbout) {
  LoopbackServer server(Services());
  PointAt(server);
  disc::DiscText named;
  named.tracks = {{"", "Someone"}};
  // Each disc is left to the loop long enough for a request to go out,
  // which a wrongful lookup sends within a tenth of that.
  titles::DiscSeen(Table(1), named);
  LoopWhileUnasked(server, 1.5);
  setenv("KORVANE_LOOKUP", "off", 1);
  titles::DiscSeen(Table(2), {});
  LoopWhileUnasked(server, 1.5);
  EXPECT_TRUE(titles::Found().Empty());
  EXPECT_EQ(server.Requests().size(), 0u);
  // The next disc with the lookup on is asked about, and only it.
  setenv("KORVANE_LOOKUP", "on", 1);
  const disc::TrackTable plain = Table(3);
  titles::DiscSeen(plain, {});
  ASSERT_TRUE(LoopUntilFound("Songs of the Two Rivers"));
  std::vector<std::string> requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].rfind("GET /ws/2/discid/" + IdOf(plain) + "?", 0), 0u) << requests[0];
  for (const std::string& request : requests) {
    EXPECT_EQ(request.find(IdOf(Table(1))), std::string::npos);
    EXPECT_EQ(request.find(IdOf(Table(2))), std::string::npos);
  }
}

}  // namespace
