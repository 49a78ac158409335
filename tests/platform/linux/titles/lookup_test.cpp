// SPDX-License-Identifier: GPL-3.0-or-later
// The whole lookup through the real libcurl against a server on
// 127.0.0.1 answering as MusicBrainz and the Cover Art Archive do: the
// requests it makes, the titles and cover it keeps, how it waits between
// requests, and every kind of bad answer, after which nothing is kept.
// The lookup's clock is the test's own: its waits are read, not slept.
#include "platform/linux/titles/lookup.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/linux/titles/loopback_server.h"

namespace {

using testing_titles::Http;
using testing_titles::LoopbackServer;
using testing_titles::Reply;

constexpr char SecondDisc[] = "Qx2nBvYJ3sVWZbCdzE8RkdPtK1w-";
constexpr char Hexad[] = "49HHV7Eb8UKF3aQiNmu1GR8vKTY-";
constexpr char SetRelease[] = "7a1c2f3e-4b5d-4e6f-8a9b-0c1d2e3f4a5b";
const std::string Jpeg = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11) + "cover bytes";

std::string Answer(const char* name) {
  std::ifstream file(std::string(KORVANE_ANSWERS) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string TitlesPath(const std::string& discId) {
  return "/ws/2/discid/" + discId + "?inc=artist-credits+recordings&fmt=json";
}

// Every lookup of the process shares the pause between two requests to
// MusicBrainz: the test's clock only goes forward.
double testClock = 1000;

class Lookup : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    curl_ = titles::LoadCurl(&why);
    ASSERT_NE(curl_, nullptr) << why;
    char pattern[] = "/tmp/korvane-lookup-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    testClock += 100;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + folder_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // Runs the lookup to its end; `waits` receives each pause it asked for.
  titles::Outcome Run(titles::Lookup* lookup, std::vector<double>* waits = nullptr) {
    titles::Request request;
    for (int steps = 0; steps < 20; ++steps) {
      double wait = lookup->Next(testClock, &request);
      if (wait < 0) return lookup->Result();
      if (wait > 0) {
        if (waits) waits->push_back(wait);
        testClock += wait;
        continue;
      }
      titles::Transfer transfer(*curl_, request);
      lookup->Take(testClock, transfer.Perform());
    }
    ADD_FAILURE() << "the lookup never ends";
    return titles::Outcome::Pending;
  }

  titles::Services At(const LoopbackServer& server, bool slash = false) const {
    titles::Services services;
    services.musicBrainz = server.Base() + (slash ? "/" : "");
    services.coverArt = server.Base() + "/caa" + (slash ? "/" : "");
    return services;
  }

  // The files the lookup has left.
  std::vector<std::string> Kept() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder_.c_str())) {
      while (dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
      closedir(dir);
    }
    return names;
  }

  const titles::CurlLibrary* curl_ = nullptr;
  std::string folder_;
};

TEST_F(Lookup, TheSecondDiscOfASetGetsItsTitlesAndTheCoverThroughItsRedirect) {
  const std::string answer = Answer("two_discs.json");
  LoopbackServer server([&](const std::string& target) {
    if (target == TitlesPath(SecondDisc))
      return Http(200, answer, "Content-Type: application/json\r\n");
    if (target == "/caa/release/" + std::string(SetRelease) + "/front-500")
      return Http(307, "", "Location: /images/front.jpg\r\n");
    if (target == "/images/front.jpg") return Http(200, Jpeg, "Content-Type: image/jpeg\r\n");
    return Http(404, "{\"error\": \"Not Found\"}");
  });
  // Base URLs given with a trailing slash are taken as without.
  titles::Lookup lookup(SecondDisc, At(server, true), titles::Cache(folder_));
  ASSERT_EQ(Run(&lookup), titles::Outcome::Found) << lookup.Problem();
  EXPECT_EQ(lookup.Problem(), "");

  const titles::Album& album = lookup.Found();
  EXPECT_EQ(album.title, "Songs of the Two Rivers");
  EXPECT_EQ(album.discNumber, 2);
  ASSERT_EQ(album.songs.size(), 3u);
  EXPECT_EQ(album.songs[0].title, "Delta");
  EXPECT_EQ(album.coverPath, folder_ + "/" + SecondDisc + ".jpg");
  std::ifstream cover(album.coverPath, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(cover), {}), Jpeg);

  // What was sent: the disc ID with the User-Agent MusicBrainz asks for,
  // then the release's cover, and nothing more.
  std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].rfind("GET " + TitlesPath(SecondDisc) + " HTTP/1.1\r\n", 0), 0u)
      << requests[0];
  EXPECT_NE(requests[0].find("\r\nUser-Agent: Korvane/1.00 ( https://korvane.example.org/ )\r\n"),
            std::string::npos)
      << requests[0];
  EXPECT_NE(requests[0].find("\r\nAccept: application/json\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].rfind("GET /caa/release/" + std::string(SetRelease) + "/front-500 ", 0),
            0u);
  EXPECT_EQ(requests[2].rfind("GET /images/front.jpg ", 0), 0u);

  // A later start finds it all in the cache.
  titles::Album kept;
  ASSERT_EQ(titles::Cache(folder_).Load(SecondDisc, std::time(nullptr), &kept),
            titles::Kept::Found);
  EXPECT_EQ(kept.songs, album.songs);
  EXPECT_EQ(kept.coverPath, album.coverPath);
}

TEST_F(Lookup, MusicBrainzIsAskedOnceASecondAtMostAndA503AfterItsRetryAfter) {
  int refusals = 2;
  bool retryAfter = true;
  const std::string answer = Answer("several_releases.json");
  LoopbackServer server([&](const std::string& target) {
    if (target != TitlesPath(Hexad)) return Http(404, "");  // the archive has no cover after all
    if (refusals-- > 0) return Http(503, "busy", retryAfter ? "Retry-After: 7\r\n" : "");
    return Http(200, answer);
  });
  std::vector<double> waits;
  titles::Lookup lookup(Hexad, At(server), titles::Cache(folder_));
  ASSERT_EQ(Run(&lookup, &waits), titles::Outcome::Found) << lookup.Problem();
  EXPECT_EQ(waits, (std::vector<double>{7, 7}));
  EXPECT_EQ(lookup.Found().title, "Hexad");
  // No cover, but the titles.
  EXPECT_EQ(lookup.Found().coverPath, "");
  EXPECT_EQ(server.Requests().size(), 4u);

  // Another lookup right after waits for the second to be over; a 503
  // without Retry-After waits a second; the fourth 503 ends it.
  waits.clear();
  server.Change([&] {
    refusals = 10;
    retryAfter = false;
  });
  titles::Lookup refused(Hexad, At(server), titles::Cache(folder_ + "/other"));
  testClock += 0.25;
  ASSERT_EQ(Run(&refused, &waits), titles::Outcome::Failed);
  EXPECT_NE(refused.Problem().find("503"), std::string::npos) << refused.Problem();
  EXPECT_EQ(waits, (std::vector<double>{0.75, 1, 1, 1}));
  EXPECT_EQ(server.Requests().size(), 8u);
  server.Change([&] { EXPECT_EQ(refusals, 6); });
}

TEST_F(Lookup, ADiscUnknownToMusicBrainzIsRememberedForADay) {
  LoopbackServer server([](const std::string&) { return Http(404, "{\"error\": \"Not Found\"}"); });
  titles::Lookup lookup(Hexad, At(server), titles::Cache(folder_));
  ASSERT_EQ(Run(&lookup), titles::Outcome::NotFound);
  titles::Album album;
  EXPECT_EQ(titles::Cache(folder_).Load(Hexad, std::time(nullptr), &album), titles::Kept::NotFound);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(Lookup, ABadAnswerGivesNoTitlesSaysWhyAndKeepsNothing) {
  const std::string good = Answer("several_releases.json");
  std::string mode;
  LoopbackServer server([&](const std::string& target) {
    bool titles = target == TitlesPath(Hexad);
    if (mode == "garbage" && titles) return Http(200, "<html>busy</html>");
    if (mode == "truncated" && titles) return Http(200, good.substr(0, good.size() / 2));
    if (mode == "huge json" && titles)
      return Http(200, std::string(titles::MaxAnswerBytes + 1, ' '), "", true);
    if (mode == "huge length" && titles)
      return Http(200, std::string(titles::MaxAnswerBytes + 1, ' '));
    if (mode == "loop") return Http(302, "", "Location: " + target + "\r\n");
    if (mode == "reset" && titles) {
      Reply reply;
      reply.reset = true;
      return reply;
    }
    if (mode == "server error" && titles) return Http(500, "oops");
    if (titles) return Http(200, good);
    if (mode == "not a picture") return Http(200, "<html>no picture here</html>");
    if (mode == "huge picture")
      return Http(200, Jpeg + std::string(titles::MaxPictureBytes, 'x'), "", true);
    if (mode == "picture reset") {
      Reply reply;
      reply.reset = true;
      return reply;
    }
    return Http(200, Jpeg);
  });
  for (const char* each : {"garbage", "truncated", "huge json", "huge length", "loop", "reset",
                           "server error", "not a picture", "huge picture", "picture reset"}) {
    server.Change([&] { mode = each; });
    titles::Lookup lookup(Hexad, At(server), titles::Cache(folder_));
    EXPECT_EQ(Run(&lookup), titles::Outcome::Failed) << mode;
    EXPECT_TRUE(lookup.Found().Empty()) << mode;
    EXPECT_FALSE(lookup.Problem().empty()) << mode;
    EXPECT_EQ(lookup.Problem().find('\n'), std::string::npos) << mode;
    EXPECT_EQ(Kept(), std::vector<std::string>{}) << mode;
  }
  // Once the services answer well, the same lookup succeeds: the failures
  // above were the answers'.
  server.Change([&] { mode = "well"; });
  titles::Lookup lookup(Hexad, At(server), titles::Cache(folder_));
  EXPECT_EQ(Run(&lookup), titles::Outcome::Found) << lookup.Problem();
  EXPECT_EQ(Kept().size(), 2u);
}

TEST(LookupSettings, TheEnvironmentTurnsItOffAndPointsItElsewhere) {
  setenv("KORVANE_LOOKUP", "off", 1);
  EXPECT_FALSE(titles::LookupAllowed());
  setenv("KORVANE_LOOKUP", "on", 1);
  EXPECT_TRUE(titles::LookupAllowed());
  unsetenv("KORVANE_LOOKUP");
  EXPECT_TRUE(titles::LookupAllowed());

  unsetenv("KORVANE_MUSICBRAINZ_URL");
  unsetenv("KORVANE_COVERART_URL");
  titles::Services services = titles::ServicesFromEnvironment();
  EXPECT_EQ(services.musicBrainz, "https://musicbrainz.org");
  EXPECT_EQ(services.coverArt, "https://coverartarchive.org");
  setenv("KORVANE_MUSICBRAINZ_URL", "http://127.0.0.1:9/", 1);
  setenv("KORVANE_COVERART_URL", "http://127.0.0.1:10", 1);
  services = titles::ServicesFromEnvironment();
  EXPECT_EQ(services.musicBrainz, "http://127.0.0.1:9");
  EXPECT_EQ(services.coverArt, "http://127.0.0.1:10");

  setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
  EXPECT_EQ(titles::CacheFolder(), "/somewhere/cache/korvane");
  unsetenv("XDG_CACHE_HOME");
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(titles::CacheFolder(), "/home/someone/.cache/korvane");

  EXPECT_EQ(titles::PictureType(Jpeg), "jpg");
  EXPECT_EQ(titles::PictureType(std::string("\x89PNG\r\n\x1A\n", 8)), "png");
  EXPECT_EQ(titles::PictureType("GIF89a..."), "gif");
  EXPECT_EQ(titles::PictureType(std::string("RIFF\x10\x00\x00\x00WEBPVP8 ", 16)), "webp");
  EXPECT_EQ(titles::PictureType(std::string("RIFF\x10\x00\x00\x00WAVEfmt ", 16)), "");
  EXPECT_EQ(titles::PictureType("\xFF\xD8"), "");
}

}  // namespace
