// zelto-sim: a simulated appliance tester on a serial line.
//
// Opens a pseudo-terminal (or a given tty for a real cable), links the slave's
// path to the name given with --link (so the program finds it as comN in its
// port folder), and answers the tester's line protocol:
//   "v"        identification line of the chosen model
//   "s"        count line, then the record-entry line of the first stored entry
//   "l XXXX"   record-entry line of that address (four addresses per record)
//   "d all"    clears the records, answers "d all ok"
//   "cal"      answers "cal ok"
// Commands end with CR; LF is ignored. Bytes go out at 38400 baud with 11 bits
// per byte unless --fast is given.
//
// This is a peer of the program, written on its own: it shares no code with
// the program's protocol implementation.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <functional>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

struct Entry {
  unsigned flags = 0;
  unsigned code = 0;
  unsigned raw = 0;
};

struct Options {
  std::string link;
  std::string tty;
  std::string model = "QK236";
  std::string version = "V2.04.11";
  int records = 12;
  std::string recordFile;
  unsigned seed = 1;
  bool fast = false;
  int answerDelayMs = 0;
  int measureMs = 0;       // live range answers every so many ms (0 = off)
  long silentAfter = -1;   // stop answering after this many commands
  long closeAfter = -1;    // close the line after this many load commands
  bool crlf = false;
  bool nul = false;
  bool garbage = false;
  bool overlong = false;
  int split = 0;           // answer pieces of this many bytes (0 = whole)
  int splitPauseMs = 20;
  bool verbose = false;
};

void Usage(FILE* to) {
  std::fprintf(to,
               "usage: zelto-sim [--link PATH] [--tty DEVICE] [options]\n"
               "  (an option's value follows it or an \"=\": --records 20, --records=20;\n"
               "  a number that is not a whole number in its range is refused, status 2)\n"
               "  --model NAME        identification model: QK236 (default), QK248, or any other\n"
               "  --version TEXT      version text in the identification (8 characters)\n"
               "  --records N         generate N realistic records (default 12, at most 682)\n"
               "  --record-file FILE  records from FILE: one per line, \"norm code:raw code:raw code:raw code:raw\"\n"
               "                      (numbers decimal, or hexadecimal after 0x; # starts a comment)\n"
               "  --seed N            seed of the generated records\n"
               "  --measure MS        send a live range answer every MS ms\n"
               "  --answer-delay MS   wait MS ms before each answer\n"
               "  --fast              send at once instead of at 38400 baud\n"
               "faults:\n"
               "  --silent-after N    stop answering after N commands\n"
               "  --close-after N     close the line after N load commands (l ...)\n"
               "  --crlf              end answers with CR LF\n"
               "  --nul               put a NUL byte after every answer\n"
               "  --garbage           mix control bytes and bytes above 0x7F into answers,\n"
               "                      and send a line of junk before each answer\n"
               "  --overlong          send a 600-character line before each answer\n"
               "  --split N           send answers in pieces of N bytes, 20 ms apart\n"
               "  --verbose           print commands on stderr\n");
}

// A whole number from lo to hi, all of the text ("12", not "12x", "abc" or "").
bool ParseWhole(const char* text, long long lo, long long hi, long long* value) {
  if (!text || !*text || std::isspace(static_cast<unsigned char>(*text))) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool ParseArgs(int argc, char** argv, Options* o) {
  // Options with a whole number, and its range.
  struct Number {
    const char* name;
    long long lo, hi;
    std::function<void(long long)> set;
  };
  const Number numbers[] = {
      {"--records", 0, 682, [o](long long v) { o->records = static_cast<int>(v); }},  // 2729 addresses hold 682
      {"--seed", 0, 4294967295LL, [o](long long v) { o->seed = static_cast<unsigned>(v); }},
      {"--measure", 0, 3600000, [o](long long v) { o->measureMs = static_cast<int>(v); }},
      {"--answer-delay", 0, 600000, [o](long long v) { o->answerDelayMs = static_cast<int>(v); }},
      {"--silent-after", 0, 1000000000, [o](long long v) { o->silentAfter = static_cast<long>(v); }},
      {"--close-after", 0, 1000000000, [o](long long v) { o->closeAfter = static_cast<long>(v); }},
      {"--split", 0, 4096, [o](long long v) { o->split = static_cast<int>(v); }},
  };
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string inlineValue;
    bool hasInline = false;
    // "--records=20" as well as "--records 20".
    if (a.compare(0, 2, "--") == 0 && a.find('=') != std::string::npos) {
      inlineValue = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      hasInline = true;
    }
    auto value = [&](const char* name) -> const char* {
      if (hasInline) return inlineValue.c_str();
      if (i + 1 >= argc) {
        std::fprintf(stderr, "zelto-sim: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    const char* v = nullptr;
    const Number* number = nullptr;
    for (const Number& n : numbers)
      if (a == n.name) number = &n;
    if (number) {
      if (!(v = value(number->name))) return false;
      long long parsed = 0;
      if (!ParseWhole(v, number->lo, number->hi, &parsed)) {
        std::fprintf(stderr, "zelto-sim: %s takes a whole number from %lld to %lld, not \"%s\"\n", number->name,
                     number->lo, number->hi, v);
        return false;
      }
      number->set(parsed);
      continue;
    }
    const bool flag = a == "--fast" || a == "--crlf" || a == "--nul" || a == "--garbage" || a == "--overlong" ||
                      a == "--verbose" || a == "--help" || a == "-h";
    if (flag && hasInline) {
      std::fprintf(stderr, "zelto-sim: %s takes no value\n", a.c_str());
      return false;
    }
    if (a == "--link") { if (!(v = value("--link"))) return false; o->link = v; }
    else if (a == "--tty") { if (!(v = value("--tty"))) return false; o->tty = v; }
    else if (a == "--model") { if (!(v = value("--model"))) return false; o->model = v; }
    else if (a == "--version") { if (!(v = value("--version"))) return false; o->version = v; }
    else if (a == "--record-file") { if (!(v = value("--record-file"))) return false; o->recordFile = v; }
    else if (a == "--fast") o->fast = true;
    else if (a == "--crlf") o->crlf = true;
    else if (a == "--nul") o->nul = true;
    else if (a == "--garbage") o->garbage = true;
    else if (a == "--overlong") o->overlong = true;
    else if (a == "--verbose") o->verbose = true;
    else if (a == "--help" || a == "-h") { Usage(stdout); std::exit(0); }
    else {
      std::fprintf(stderr, "zelto-sim: unknown option %s (zelto-sim --help lists them)\n", a.c_str());
      return false;
    }
  }
  return true;
}

// ---- the tester's memory: four entries per record, entry i at address 4r+i

std::vector<Entry> GenerateRecords(int count, unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<Entry> memory;
  for (int r = 0; r < count; ++r) {
    unsigned norm = pick(0, 4) == 0 ? 1u : 0u;  // most tests after 0701-0702
    bool classTwo = pick(0, 3) == 0;             // protection class II: no R-PE
    Entry e[4];
    // R-PE: 2 Ohm range mostly, the 20 Ohm range now and then.
    if (classTwo) {
      e[0] = {norm, 0, 0};
    } else if (pick(0, 5) == 0) {
      e[0] = {norm, 4, static_cast<unsigned>(pick(100, 1500))};
    } else {
      e[0] = {norm, 3, static_cast<unsigned>(pick(300, 4000))};
    }
    // R-ISO: good insulation often exceeds its range.
    int iso = pick(0, 9);
    if (iso < 3) e[1] = {norm, 8, 32767};
    else if (iso < 6) e[1] = {norm, 8, static_cast<unsigned>(pick(500, 20000))};
    else if (iso < 8) e[1] = {norm, 7, static_cast<unsigned>(pick(1000, 20000))};
    else e[1] = {norm, 6, static_cast<unsigned>(pick(2000, 20000))};
    // Leakage currents.
    e[2] = pick(0, 3) == 0 ? Entry{norm, 10, static_cast<unsigned>(pick(100, 4000))}
                           : Entry{norm, 9, static_cast<unsigned>(pick(5, 5000))};
    if (pick(0, 15) == 0) e[2].raw = 32768;
    e[3] = pick(0, 3) == 0 ? Entry{norm, 12, static_cast<unsigned>(pick(100, 3500))}
                           : Entry{norm, 11, static_cast<unsigned>(pick(10, 9000))};
    for (const Entry& x : e) memory.push_back(x);
  }
  return memory;
}

// A number of a record file: decimal, or hexadecimal after "0x". A leading
// zero does not make it octal ("0250" is 250).
unsigned long ParseNumber(char* p, char** end) {
  char* q = p;
  while (*q == ' ' || *q == '\t') ++q;
  int base = q[0] == '0' && (q[1] == 'x' || q[1] == 'X') ? 16 : 10;
  unsigned long value = std::strtoul(q, end, base);
  if (*end == q) *end = p;  // nothing read
  return value;
}

bool LoadRecordFile(const std::string& path, std::vector<Entry>* memory) {
  FILE* f = std::fopen(path.c_str(), "r");
  if (!f) {
    std::fprintf(stderr, "zelto-sim: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  char line[1024];
  int lineNo = 0;
  while (std::fgets(line, sizeof line, f)) {
    ++lineNo;
    char* hash = std::strchr(line, '#');
    if (hash) *hash = '\0';
    char* p = line;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '\0' || *p == '\n' || *p == '\r') continue;
    char* end = nullptr;
    unsigned long norm = ParseNumber(p, &end);
    if (end == p) {
      std::fprintf(stderr, "zelto-sim: %s:%d: expected the standard (0 or 1)\n", path.c_str(), lineNo);
      std::fclose(f);
      return false;
    }
    p = end;
    for (int i = 0; i < 4; ++i) {
      unsigned long code = ParseNumber(p, &end);
      if (end == p || *end != ':') {
        std::fprintf(stderr, "zelto-sim: %s:%d: expected code:raw\n", path.c_str(), lineNo);
        std::fclose(f);
        return false;
      }
      p = end + 1;
      unsigned long raw = ParseNumber(p, &end);
      if (end == p) {
        std::fprintf(stderr, "zelto-sim: %s:%d: expected a raw value\n", path.c_str(), lineNo);
        std::fclose(f);
        return false;
      }
      p = end;
      memory->push_back({static_cast<unsigned>(norm), static_cast<unsigned>(code), static_cast<unsigned>(raw)});
    }
  }
  std::fclose(f);
  return true;
}

// ---- the line

double NowSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

bool MakeRaw(int fd) {
  termios tio;
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSIZE);
  tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
  cfsetispeed(&tio, B38400);
  cfsetospeed(&tio, B38400);
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

class Tester {
 public:
  Tester(const Options& o, int fd) : o_(o), fd_(fd), rng_(o.seed * 7919u + 17u) {}

  std::vector<Entry> memory;

  // Runs until a signal or a close fault ends it.
  int Run() {
    double nextMeasure = o_.measureMs > 0 ? NowSeconds() + o_.measureMs / 1000.0 : 0;
    while (!g_stop) {
      double now = NowSeconds();
      Flush(now);
      if (closed_) return 0;
      double wake = 1.0;  // seconds
      // Due bytes the line would not take wait for room on the line (POLLOUT),
      // not for the clock; commands are read meanwhile.
      if (blocked_) wake = 0.1;
      else if (!out_.empty()) wake = std::max(0.0, out_.front().due - now);
      if (o_.measureMs > 0) {
        if (now >= nextMeasure) {
          if (Answering()) Answer(LiveRange());
          nextMeasure = now + o_.measureMs / 1000.0;
        }
        wake = std::min(wake, std::max(0.0, nextMeasure - now));
      }
      struct pollfd p = {fd_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0};
      timespec ts;
      ts.tv_sec = static_cast<time_t>(wake);
      ts.tv_nsec = static_cast<long>((wake - ts.tv_sec) * 1e9);
      int r = ppoll(&p, 1, &ts, nullptr);
      if (r < 0 && errno != EINTR) return 1;
      if (r > 0 && (p.revents & POLLIN)) {
        char buf[256];
        ssize_t n = read(fd_, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i) Take(buf[i]);
        // A hung-up line stays readable without giving bytes; do not spin on it.
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) usleep(20000);
      } else if (r > 0 && (p.revents & (POLLHUP | POLLERR))) {
        // No program on the line at the moment; wait a little for it.
        usleep(20000);
      }
    }
    return 0;
  }

 private:
  // Bytes queued for the line at most: room for the few answers a working
  // exchange has outstanding, and little stale output for a program that
  // attaches after a long time.
  static constexpr size_t kMaxBacklog = 4096;

  struct Out {
    char byte;
    double due;
  };

  bool Answering() const { return o_.silentAfter < 0 || commands_ < o_.silentAfter; }

  void Take(char c) {
    if (c == '\r') {
      std::string cmd = line_;
      line_.clear();
      Command(cmd);
    } else if (c != '\n') {
      if (line_.size() < 200) line_ += c;
    }
  }

  void Command(const std::string& cmd) {
    if (o_.verbose) std::fprintf(stderr, "zelto-sim: <- %s\n", cmd.c_str());
    bool answer = Answering();
    ++commands_;
    if (!answer) return;
    if (cmd == "v") {
      Answer("v" + o_.model + " " + o_.version);
    } else if (cmd == "s") {
      char count[32];
      std::snprintf(count, sizeof count, "s %04X", static_cast<unsigned>(memory.size() / 4));
      Answer(count);
      Answer(EntryLine(0));
    } else if (cmd.size() > 2 && cmd[0] == 'l' && cmd[1] == ' ') {
      unsigned address = static_cast<unsigned>(std::strtoul(cmd.c_str() + 2, nullptr, 16));
      Answer(EntryLine(address));
      ++loads_;
      if (o_.closeAfter >= 0 && loads_ >= o_.closeAfter) closeAfterFlush_ = true;
    } else if (cmd == "d all") {
      memory.clear();
      Answer("d all ok");
    } else if (cmd == "cal") {
      Answer("cal ok");
    }
    // anything else goes unanswered, as the tester does with unknown commands
  }

  std::string EntryLine(unsigned address) const {
    Entry e;  // erased memory reads as zeros
    if (address < memory.size()) e = memory[address];
    char text[64];
    std::snprintf(text, sizeof text, "d %04X %X %X %04X", address, e.flags, e.code, e.raw);
    return text;
  }

  std::string LiveRange() {
    static const unsigned codes[] = {3, 4, 7, 8, 9, 11, 1, 2};
    unsigned code = codes[std::uniform_int_distribution<int>(0, 7)(rng_)];
    // Integer arithmetic, not "%.3f": the value keeps its decimal point
    // whatever locale the process runs under.
    int milli = std::uniform_int_distribution<int>(0, 19999)(rng_);
    char text[64];
    std::snprintf(text, sizeof text, "m %d.%03d %X", milli / 1000, milli % 1000, code);
    return text;
  }

  void Answer(const std::string& text) {
    // A program that does not read for a long time loses answers, as a real
    // receiver with a full input queue would; the backlog stays bounded.
    if (out_.size() >= kMaxBacklog) {
      ++dropped_;
      if (o_.verbose) std::fprintf(stderr, "zelto-sim: line full, dropped (%ld) %s\n", dropped_, text.c_str());
      return;
    }
    std::string bytes;
    if (o_.overlong) bytes += std::string(600, 'x') + "\r";
    if (o_.garbage) {
      bytes += "zz";
      bytes += static_cast<char>(0x81 + rng_() % 0x7E);
      bytes += "garbage\r";
      for (char c : text) {
        bytes += c;
        if (rng_() % 4 == 0) {
          static const char junk[] = {'\x01', '\x07', '\x1b', '\x7f', '\n', '\x9c', '\xe4', '\xff'};
          bytes += junk[rng_() % sizeof junk];
        }
      }
    } else {
      bytes += text;
    }
    bytes += o_.crlf ? "\r\n" : "\r";
    if (o_.nul) bytes += '\0';

    double t = std::max(NowSeconds() + o_.answerDelayMs / 1000.0, lastDue_);
    const double byteTime = o_.fast ? 0.0 : 11.0 / 38400.0;
    int inPiece = 0;
    for (char c : bytes) {
      if (o_.split > 0 && inPiece == o_.split) {
        t += o_.splitPauseMs / 1000.0;
        inPiece = 0;
      }
      t += byteTime;
      out_.push_back({c, t});
      ++inPiece;
    }
    lastDue_ = t;
    if (o_.verbose) std::fprintf(stderr, "zelto-sim: -> %s\n", text.c_str());
  }

  // Writes every byte that is due, as far as the line takes it. What the line
  // does not take stays queued, in order, for the next turn of the loop; the
  // loop goes on reading commands and watching for signals meanwhile.
  void Flush(double now) {
    blocked_ = false;
    while (!out_.empty() && out_.front().due <= now) {
      char buf[512];
      size_t n = 0;
      for (auto it = out_.begin(); it != out_.end() && it->due <= now && n < sizeof buf; ++it) buf[n++] = it->byte;
      ssize_t w = write(fd_, buf, n);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        blocked_ = true;  // the other side is not reading
        break;
      }
      if (w <= 0) {
        // No one on the line (or it failed): these bytes are gone, as on a wire.
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(n));
        continue;
      }
      out_.erase(out_.begin(), out_.begin() + w);
      if (static_cast<size_t>(w) < n) {
        blocked_ = true;
        break;
      }
    }
    if (out_.empty() && closeAfterFlush_) closed_ = true;
  }

  const Options& o_;
  int fd_;
  std::mt19937 rng_;
  std::string line_;
  std::deque<Out> out_;
  double lastDue_ = 0;
  long commands_ = 0;
  long loads_ = 0;
  bool closeAfterFlush_ = false;
  bool closed_ = false;
  bool blocked_ = false;  // due bytes wait because the line is full
  long dropped_ = 0;      // answers lost to a line that was not read
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseArgs(argc, argv, &o)) return 2;

  std::vector<Entry> memory;
  if (!o.recordFile.empty()) {
    if (!LoadRecordFile(o.recordFile, &memory)) return 2;
  } else {
    memory = GenerateRecords(o.records, o.seed);
  }

  int fd = -1;
  int slaveKeep = -1;
  std::string device;
  if (!o.tty.empty()) {
    fd = open(o.tty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || !MakeRaw(fd)) {
      std::fprintf(stderr, "zelto-sim: cannot use %s: %s\n", o.tty.c_str(), std::strerror(errno));
      return 1;
    }
    device = o.tty;
  } else {
    fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
      std::fprintf(stderr, "zelto-sim: no pseudo-terminal: %s\n", std::strerror(errno));
      return 1;
    }
    const char* name = ptsname(fd);
    if (!name) return 1;
    device = name;
    // Keep the slave open ourselves: the program closes and reopens it, and
    // the line must stay usable (and quiet) in between.
    slaveKeep = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (slaveKeep < 0 || !MakeRaw(slaveKeep)) {
      std::fprintf(stderr, "zelto-sim: cannot set up %s: %s\n", device.c_str(), std::strerror(errno));
      return 1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }

  if (!o.link.empty()) {
    struct stat st;
    if (lstat(o.link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(o.link.c_str());
    if (symlink(device.c_str(), o.link.c_str()) != 0) {
      std::fprintf(stderr, "zelto-sim: cannot link %s: %s\n", o.link.c_str(), std::strerror(errno));
      return 1;
    }
  }

  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::fprintf(stderr, "zelto-sim: %s on %s%s%s, %zu records\n", o.model.c_str(), device.c_str(),
               o.link.empty() ? "" : " as ", o.link.c_str(), memory.size() / 4);

  Tester tester(o, fd);
  tester.memory = std::move(memory);
  int rc = tester.Run();

  if (!o.link.empty()) {
    char target[512];
    ssize_t n = readlink(o.link.c_str(), target, sizeof target - 1);
    if (n > 0) {
      target[n] = '\0';
      if (device == target) unlink(o.link.c_str());
    }
  }
  if (slaveKeep >= 0) close(slaveKeep);
  close(fd);
  return rc;
}
