// SPDX-License-Identifier: GPL-3.0-or-later
// title_standin: the title and cover web services on 127.0.0.1, for the
// lookup's tests and benchmark. One process answers both: point the
// MusicBrainz and the Cover Art Archive base URLs at http://127.0.0.1:PORT.
//
//   title_standin --dir DIR [--port-file FILE] [--log FILE] [--seconds N]
//                 [--fault MODE] [--cover-fault MODE]
//
// It binds an ephemeral port of 127.0.0.1 and writes the port to stdout
// (and to FILE). What it serves, from DIR:
//   GET /ws/2/discid/ID?...       DIR/discid/ID.json, as JSON; else 404 with
//                                 the service's {"error": "Not Found"}
//   GET /release/MBID/front-500   307 to /img/MBID.png (front-250 alike);
//                                 404 where DIR/img/MBID.png is missing
//   GET /img/MBID.png             DIR/img/MBID.png, as image/png
// A fault mode makes an answer go wrong: for a disc ID, the first line of
// DIR/discid/ID.fault, else --fault; for a cover (its redirect and its
// picture), DIR/img/MBID.fault, else --cover-fault. The modes:
//   hang        read the request, never answer, hold the connection
//   garbage     200 with a body that is no JSON
//   truncate    200 with the first half of the answer (a whole HTTP reply)
//   oversize    200 with JSON of 3 MB (the answer, padded), or a 12 MB picture
//   503:N       the first N requests for it get 503 with Retry-After: 1
//   loop        307 back to the very URL asked for, again and again
//   reset       read the request, then reset the connection
//   notpicture  (covers) the picture's bytes are an HTML page
// Every request is logged as one line: "SECONDS.MILLIS METHOD TARGET UA",
// the time since the epoch and the User-Agent ("-" if none). It stops after
// N seconds (default 300), on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

struct Options {
  std::string dir;
  std::string portFile;
  std::string log;
  int seconds = 300;
  std::string fault;
  std::string coverFault;
};

Options options;
std::mutex logMutex;
std::mutex countMutex;
std::map<std::string, int> answered503;  // how many 503s each path has had
volatile sig_atomic_t stopping = 0;

void Stop(int) { stopping = 1; }

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

// The first line of FILE, or `fallback` where there is none.
std::string FaultOf(const std::string& file, const std::string& fallback) {
  std::string text;
  if (!ReadFile(file, &text)) return fallback;
  size_t end = text.find_first_of("\r\n");
  return text.substr(0, end);
}

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

void Answer(int fd, const std::string& status, const std::string& headers,
            const std::string& body) {
  std::string head = "HTTP/1.1 " + status + "\r\nServer: title_standin\r\n" + headers +
                     "Content-Length: " + std::to_string(body.size()) +
                     "\r\nConnection: close\r\n\r\n";
  if (SendAll(fd, head)) SendAll(fd, body);
}

void AnswerJson(int fd, const std::string& status, const std::string& body,
                const std::string& headers = "") {
  Answer(fd, status, headers + "Content-Type: application/json; charset=utf-8\r\n", body);
}

// Holds the connection open until the stand-in stops or the client leaves.
void Hang(int fd) {
  while (!stopping) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char byte[512];
      if (recv(fd, byte, sizeof byte, 0) <= 0) return;
    }
  }
}

void Reset(int fd) {
  linger hard{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

// A "503:N" fault: whether this request is one of the first N for `key`.
bool Refuses(const std::string& fault, const std::string& key) {
  if (fault.rfind("503:", 0) != 0) return false;
  int limit = atoi(fault.c_str() + 4);
  std::lock_guard<std::mutex> lock(countMutex);
  return answered503[key]++ < limit;
}

// Applies the faults that every answer shares; true when it answered.
bool AnswerFault(int fd, const std::string& fault, const std::string& target) {
  if (fault == "hang") {
    Hang(fd);
  } else if (fault == "reset") {
    Reset(fd);
  } else if (fault == "loop") {
    Answer(fd, "307 Temporary Redirect", "Location: " + target + "\r\n", "");
  } else if (Refuses(fault, target.substr(0, target.find('?')))) {
    AnswerJson(fd, "503 Service Unavailable",
               "{\"error\":\"Your requests are exceeding the allowable rate limit.\"}",
               "Retry-After: 1\r\n");
  } else {
    return false;
  }
  return true;
}

void ServeDiscId(int fd, const std::string& target, const std::string& id) {
  std::string fault = FaultOf(options.dir + "/discid/" + id + ".fault", options.fault);
  if (AnswerFault(fd, fault, target)) return;
  if (fault == "garbage") {
    Answer(fd, "200 OK", "Content-Type: application/json\r\n",
           "<html><body>502 Bad Gateway</body></html>\n\x01\xff{[\"");
    return;
  }
  std::string body;
  if (!ReadFile(options.dir + "/discid/" + id + ".json", &body)) {
    AnswerJson(fd, "404 Not Found", "{\"error\":\"Not Found\"}");
    return;
  }
  if (fault == "truncate") {
    body.resize(body.size() / 2);
  } else if (fault == "oversize") {
    // Still JSON, and the answer within it: only its size is wrong.
    size_t brace = body.rfind('}');
    if (brace == std::string::npos) brace = body.size();
    body = body.substr(0, brace) + ",\"padding\":\"" + std::string(3 << 20, 'x') + "\"}";
  }
  AnswerJson(fd, "200 OK", body);
}

void ServeCover(int fd, const std::string& target, const std::string& mbid, bool image) {
  std::string fault = FaultOf(options.dir + "/img/" + mbid + ".fault", options.coverFault);
  if (AnswerFault(fd, fault, target)) return;
  std::string png;
  if (!ReadFile(options.dir + "/img/" + mbid + ".png", &png)) {
    Answer(fd, "404 Not Found", "Content-Type: text/plain\r\n", "Not Found\n");
    return;
  }
  if (!image) {
    Answer(fd, "307 Temporary Redirect", "Location: /img/" + mbid + ".png\r\n", "");
  } else if (fault == "notpicture") {
    Answer(fd, "200 OK", "Content-Type: image/png\r\n",
           "<!DOCTYPE html><html><body>Cover not available</body></html>\n");
  } else if (fault == "oversize") {
    Answer(fd, "200 OK", "Content-Type: image/png\r\n", png + std::string(12 << 20, '\0'));
  } else {
    Answer(fd, "200 OK", "Content-Type: image/png\r\n", png);
  }
}

void Log(const std::string& method, const std::string& target, const std::string& agent) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  long long millis = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  char stamp[32];
  snprintf(stamp, sizeof stamp, "%lld.%03lld", millis / 1000, millis % 1000);
  std::lock_guard<std::mutex> lock(logMutex);
  FILE* out = options.log.empty() ? stderr : fopen(options.log.c_str(), "a");
  if (!out) return;
  fprintf(out, "%s %s %s %s\n", stamp, method.c_str(), target.c_str(),
          agent.empty() ? "-" : agent.c_str());
  if (out != stderr) fclose(out);
}

// An ID or MBID as the services spell them: no slash, no dot at the start.
bool PlainName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  for (char c : name)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.')) return false;
  return true;
}

void Serve(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && !stopping) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  std::istringstream lines(request);
  std::string method, target, version, line, agent;
  lines >> method >> target >> version;
  std::getline(lines, line);
  while (std::getline(lines, line) && line != "\r" && !line.empty()) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (strncasecmp(line.c_str(), "User-Agent:", 11) == 0) {
      agent = line.substr(11);
      agent.erase(0, agent.find_first_not_of(' '));
    }
  }
  if (method.empty()) {
    close(fd);
    return;
  }
  Log(method, target, agent);
  std::string path = target.substr(0, target.find('?'));
  const std::string discid = "/ws/2/discid/", release = "/release/", img = "/img/";
  if (method != "GET") {
    AnswerJson(fd, "405 Method Not Allowed", "{\"error\":\"Method Not Allowed\"}");
  } else if (path.rfind(discid, 0) == 0 && PlainName(path.substr(discid.size()))) {
    ServeDiscId(fd, target, path.substr(discid.size()));
  } else if (path.rfind(release, 0) == 0) {
    std::string rest = path.substr(release.size());
    size_t slash = rest.find('/');
    std::string mbid = rest.substr(0, slash),
                size = slash == std::string::npos ? "" : rest.substr(slash);
    if (PlainName(mbid) && (size == "/front-500" || size == "/front-250"))
      ServeCover(fd, target, mbid, false);
    else
      Answer(fd, "404 Not Found", "Content-Type: text/plain\r\n", "Not Found\n");
  } else if (path.rfind(img, 0) == 0 && path.size() > img.size() + 4 &&
             path.compare(path.size() - 4, 4, ".png") == 0 &&
             PlainName(path.substr(img.size(), path.size() - img.size() - 4))) {
    ServeCover(fd, target, path.substr(img.size(), path.size() - img.size() - 4), true);
  } else {
    AnswerJson(fd, "404 Not Found", "{\"error\":\"Not Found\"}");
  }
  close(fd);
}

int Usage() {
  fprintf(stderr,
          "usage: title_standin --dir DIR [--port-file FILE] [--log FILE] [--seconds N] "
          "[--fault MODE] [--cover-fault MODE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (i + 1 == argc) return Usage();
    std::string value = argv[++i];
    if (arg == "--dir")
      options.dir = value;
    else if (arg == "--port-file")
      options.portFile = value;
    else if (arg == "--log")
      options.log = value;
    else if (arg == "--seconds")
      options.seconds = atoi(value.c_str());
    else if (arg == "--fault")
      options.fault = value;
    else if (arg == "--cover-fault")
      options.coverFault = value;
    else
      return Usage();
  }
  if (options.dir.empty() || options.seconds <= 0) return Usage();

  struct sigaction action {};
  action.sa_handler = Stop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 64) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    fprintf(stderr, "title_standin: cannot listen on 127.0.0.1: %s\n", strerror(errno));
    return 1;
  }
  int port = ntohs(address.sin_port);
  if (!options.portFile.empty()) {
    // Written whole under another name, then renamed: a reader never sees half.
    std::string temporary = options.portFile + ".tmp";
    FILE* out = fopen(temporary.c_str(), "w");
    if (!out || fprintf(out, "%d\n", port) < 0 || fclose(out) != 0 ||
        rename(temporary.c_str(), options.portFile.c_str()) != 0) {
      fprintf(stderr, "title_standin: cannot write %s\n", options.portFile.c_str());
      return 1;
    }
  }
  printf("%d\n", port);
  fflush(stdout);

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.seconds);
  while (!stopping && std::chrono::steady_clock::now() < deadline) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::thread(Serve, fd).detach();
  }
  close(listener);
  return 0;
}
