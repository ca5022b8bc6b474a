// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the real analyzer (offscreen) and the reference client against kv3710-sim over its
// pseudo-terminal and prints table rows of what it measured: sweep periods, their ratio, the
// analyzer's CPU use, its memory and how soon the first trace is complete; and, in a window
// on a private Xvfb, how soon a key, an uncovering and a menu show on the screen.
//
//   kv-bench-sweep sweep   --build DIR --points N --baud B [--sweeps N] [--rounds R] [--logger]
//   kv-bench-sweep strip   --build DIR --points N --baud B [--sweeps N]   (strip hidden/shown)
//   kv-bench-sweep fleet   --build DIR --points N --baud B [--sweeps N] [--clients K]
//   kv-bench-sweep soak    --build DIR --points N --baud B --seconds S
//   kv-bench-sweep latency --build DIR --points N --baud B [--keys K]
//
// The sweep period comes from the simulator's sweep log (a monotonic time stamp each time
// channel 0 is set); CPU time from the scheduler's account of every thread, in nanoseconds.
// Every row is "| figure | value | target |"; nothing passes or fails.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "number_text.h"
#include "parse_number.h"
#include "titles.h"

#ifdef KV_BENCH_LATENCY
#include "x_client.h"
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStampPoll = 5ms;
// A sweep of 256 points at 9600 baud takes about 3.3 s; anything far beyond is a hang.
constexpr auto kStampTimeout = 20s;
constexpr int kWarmupStamps = 2;  // the first sweeps include start-up

struct Options {
    std::string mode;
    fs::path build;
    int points = 50;
    int baud = 115200;
    int sweeps = 20;
    int rounds = 5;
    int seconds = 60;
    int keys = 8;
    int clients = 8;
    bool logger = false;  // the logger takes its turn beside the analyzer
};

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: kv-bench-sweep sweep|strip|fleet|soak|latency|site --build DIR --points N "
                 "--baud B [--sweeps N] [--rounds R] [--seconds S] [--keys K] [--clients K] "
                 "[--logger]\n");
    std::exit(2);
}

Options parse(int argc, char** argv) {
    if (argc < 2) usage();
    Options o;
    o.mode = argv[1];
    if (o.mode != "sweep" && o.mode != "fleet" && o.mode != "soak" && o.mode != "latency" &&
        o.mode != "strip" && o.mode != "site")
        usage();
    for (int i = 2; i < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--logger") {
            o.logger = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) usage();
        const std::string value = argv[i + 1];
        if (key == "--build")
            o.build = value;
        else if (key == "--points")
            o.points = std::stoi(value);
        else if (key == "--baud")
            o.baud = std::stoi(value);
        else if (key == "--sweeps")
            o.sweeps = std::stoi(value);
        else if (key == "--seconds")
            o.seconds = std::stoi(value);
        else if (key == "--keys")
            o.keys = std::max(1, std::stoi(value));
        else if (key == "--rounds")
            o.rounds = std::max(1, std::stoi(value));
        else if (key == "--clients")
            o.clients = std::max(1, std::stoi(value));
        else
            usage();
    }
    if (o.build.empty()) usage();
    return o;
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// A child process, ended with SIGTERM (then SIGKILL after a grace period) when it goes.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
          const fs::path& output) {
        started_ = nowMs();
        pid_ = ::fork();
        if (pid_ < 0) {
            std::perror("fork");
            std::exit(1);
        }
        if (pid_ == 0) {
            for (const auto& e : environment) ::putenv(const_cast<char*>(e.c_str()));
            std::freopen("/dev/null", "r", stdin);
            std::freopen(output.c_str(), "w", stdout);
            ::dup2(STDOUT_FILENO, STDERR_FILENO);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            std::perror(args[0]);
            ::_exit(127);
        }
    }
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    double startedMs() const { return started_; }
    bool running() {
        if (pid_ <= 0) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }
    // The exit status after SIGTERM; -1 when it had to be killed.
    int stop() {
        if (pid_ <= 0) return 0;
        ::kill(pid_, SIGTERM);
        int status = 0;
        // The analyzer notices the signal at its next trip through the event loop, which at
        // 9600 baud and 256 points can be a whole 3.4 s sweep away.
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
    }

  private:
    pid_t pid_ = -1;
    double started_ = 0;
};

// CPU seconds (user + system) the process's threads have used so far, as the scheduler
// counts them: the clock ticks of /proc/PID/stat are 10 ms, more than a reference client uses
// in a whole run at 115200 baud.
double cpuSeconds(pid_t pid) {
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    unsigned long long ns = 0;
    for (const auto& task : fs::directory_iterator(tasks, error)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long running = 0;
        if (in >> running) ns += running;
    }
    return static_cast<double>(ns) / 1e9;
}

// A "VmHWM"/"VmRSS" figure of /proc/PID/status in MB.
double memoryMb(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    }
    return 0;
}

std::vector<double> readStamps(const fs::path& log) {
    std::vector<double> stamps;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (const auto stamp = kv::parseNumber<double>(line)) stamps.push_back(*stamp);
    }
    return stamps;
}

// Waits until the sweep log holds `count` stamps; false when a sweep takes too long or the
// client died.
bool waitForStamps(const fs::path& log, std::size_t count, Child& client) {
    std::size_t seen = 0;
    auto lastProgress = Clock::now();
    for (;;) {
        const std::size_t now = readStamps(log).size();
        if (now >= count) return true;
        if (now != seen) {
            seen = now;
            lastProgress = Clock::now();
        }
        if (Clock::now() - lastProgress > kStampTimeout || !client.running()) return false;
        std::this_thread::sleep_for(kStampPoll);
    }
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// The intervals between the stamps from `first` on.
std::vector<double> periods(const std::vector<double>& stamps, std::size_t first) {
    std::vector<double> result;
    for (std::size_t i = first + 1; i < stamps.size(); ++i)
        result.push_back(stamps[i] - stamps[i - 1]);
    return result;
}

class Workspace {
  public:
    Workspace() {
        char pattern[] = "/tmp/kv-bench.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        dir_ = pattern;
    }
    ~Workspace() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;
    const fs::path& dir() const { return dir_; }

  private:
    fs::path dir_;
};

// The simulator on a fresh pseudo-terminal, reachable as dir/radio.
class Simulator {
  public:
    Simulator(const Options& o, const fs::path& dir, const std::string& name)
        : link_(dir / (name + "-radio")),
          log_(dir / (name + "-sweeps.log")),
          child_(arguments(o), {}, dir / (name + "-sim.out")) {
        const auto deadline = Clock::now() + 5s;
        while (!fs::is_symlink(link_) && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
        if (!fs::is_symlink(link_)) {
            std::fprintf(stderr, "kv-bench-sweep: the simulator did not start\n");
            std::exit(1);
        }
    }
    const fs::path& link() const { return link_; }
    const fs::path& sweepLog() const { return log_; }

  private:
    std::vector<std::string> arguments(const Options& o) const {
        std::vector<std::string> a = {(o.build / "kv3710-sim").string(), "--link", link_.string(),
                                      "--sweep-log", log_.string()};
        if (o.baud > 0) {
            a.push_back("--baud");
            a.push_back(std::to_string(o.baud));
        }
        return a;
    }
    fs::path link_;
    fs::path log_;
    Child child_;
};

// Offscreen unless an X display is given.
// With `strip`, the waterfall strip is shown from the start.
std::vector<std::string> analyzerEnvironment(const Options& o, const fs::path& dir,
                                             const fs::path& link, const std::string& display = {},
                                             bool strip = false) {
    const fs::path config = dir / "config";
    fs::create_directories(config);
    std::ofstream ini(config / (std::string(kv::kProgramTitle) + ".exe.ini"));
    ini << "[Ports]\nCOM1=" << link.string() << "\n\n";
    if (strip) ini << "[Window]\nWaterfall=1\n\n";
    ini << "[Settings]\n";
    if (o.points != 50) ini << "Number of Points=" << o.points << "\n";
    if (display.empty()) return {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config.string()};
    // Labels and readouts in colours of their own, so that within the plot red is only the
    // marker.
    ini << "Label Color=8421504\nMessage Color=16777215\nMarker1 Color=255\n";
    return {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display, "XDG_CONFIG_HOME=" + config.string()};
}

std::string paceName(int baud) {
    return baud > 0 ? std::to_string(baud) + " baud" : "unpaced";
}

void row(const std::string& figure, const std::string& value, const std::string& target) {
    std::printf("| %-58s | %14s | %-10s |\n", figure.c_str(), value.c_str(), target.c_str());
    std::fflush(stdout);
}

// What one client did over the rounds it swept.
struct Sweeps {
    bool ok = true;
    std::vector<double> periods;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    double hwmMb = 0;
    int exitStatus = 0;

    double periodMs() const { return median(periods); }
    double cpuPerSecond() const { return wallSeconds > 0 ? cpuSeconds / wallSeconds : 0; }
};

// Lets the client sweep until the log has the warm-up stamps plus `sweeps` periods, and adds
// the periods after the warm-up and the CPU time used meanwhile.
void measure(int sweeps, Child& client, const fs::path& log, Sweeps& into) {
    if (!waitForStamps(log, kWarmupStamps, client)) {
        into.ok = false;
        return;
    }
    const double cpu0 = cpuSeconds(client.pid());
    const double wall0 = nowMs();
    if (!waitForStamps(log, static_cast<std::size_t>(kWarmupStamps + sweeps), client)) {
        into.ok = false;
        return;
    }
    into.cpuSeconds += cpuSeconds(client.pid()) - cpu0;
    into.wallSeconds += (nowMs() - wall0) / 1000.0;
    into.hwmMb = std::max(into.hwmMb, memoryMb(client.pid(), "VmHWM"));
    const auto p = periods(readStamps(log), kWarmupStamps - 1);
    into.periods.insert(into.periods.end(), p.begin(), p.end());
}

enum class Kind { Reference, Analyzer, Logger };

const char* kindName(Kind kind) {
    return kind == Kind::Reference ? "reference" : kind == Kind::Analyzer ? "analyzer" : "logger";
}

// One client on the simulator's link; `name` keeps the files of several apart.
std::unique_ptr<Child> startClient(Kind kind, const Options& o, const fs::path& dir,
                                   const Simulator& sim, const std::string& name) {
    const fs::path output = dir / (name + ".out");
    switch (kind) {
        case Kind::Reference:
            return std::make_unique<Child>(
                std::vector<std::string>{(o.build / "kv-bench-reference").string(),
                                         sim.link().string(), std::to_string(o.points)},
                std::vector<std::string>{}, output);
        case Kind::Analyzer:
            return std::make_unique<Child>(
                std::vector<std::string>{(o.build / "kv3710-analyzer").string()},
                analyzerEnvironment(o, dir, sim.link()), output);
        case Kind::Logger:
            // The analyzer's settings give the points; one line a sweep goes to a file.
            return std::make_unique<Child>(
                std::vector<std::string>{(o.build / "kv3710-power").string(), "--device",
                                         sim.link().string(), "-q",
                                         (dir / (name + ".csv")).string()},
                analyzerEnvironment(o, dir, sim.link()), output);
    }
    return nullptr;
}

std::string ratio(const Sweeps& a, const Sweeps& b, double (Sweeps::*figure)() const) {
    return a.ok && b.ok && (b.*figure)() > 0 ? kv::fixedText((a.*figure)() / (b.*figure)(), 3)
                                             : "n/a";
}

int runSweep(const Options& o) {
    Workspace work;
    const std::string label = std::to_string(o.points) + " points, " + paceName(o.baud) + ": ";
    // The clients take turns, so that all meet the same load on the machine.
    const int perRound = (o.sweeps + o.rounds - 1) / o.rounds;
    std::vector<Kind> kinds{Kind::Reference, Kind::Analyzer};
    if (o.logger) kinds.push_back(Kind::Logger);
    std::vector<Sweeps> swept(kinds.size());
    const auto allOk = [&] {
        return std::all_of(swept.begin(), swept.end(), [](const Sweeps& s) { return s.ok; });
    };
    for (int round = 0; round < o.rounds && allOk(); ++round) {
        for (std::size_t k = 0; k < kinds.size(); ++k) {
            Simulator sim(o, work.dir(), kindName(kinds[k]));
            const auto client = startClient(kinds[k], o, work.dir(), sim, kindName(kinds[k]));
            measure(perRound, *client, sim.sweepLog(), swept[k]);
            if (const int status = client->stop(); status != 0 && kinds[k] != Kind::Reference)
                swept[k].exitStatus = status;
        }
    }

    const Sweeps& reference = swept[0];
    const auto ms = [](const Sweeps& s) {
        return s.ok ? kv::fixedText(s.periodMs(), 2) : "failed";
    };
    const auto of = [&](const Sweeps& s) {
        return " (median of " + std::to_string(s.periods.size()) + " in " +
               std::to_string(o.rounds) + " runs)";
    };
    const auto cpu = [](const Sweeps& s) {
        return s.ok ? kv::fixedText(s.cpuPerSecond(), 4) : "n/a";
    };
    row(label + "reference sweep period, ms" + of(reference), ms(reference), "");
    row(label + "reference client CPU s per s (for comparison)", cpu(reference), "");
    for (std::size_t k = 1; k < kinds.size(); ++k) {
        const Sweeps& s = swept[k];
        const std::string name = kindName(kinds[k]);
        const bool analyzer = kinds[k] == Kind::Analyzer;
        row(label + name + " sweep period, ms" + of(s), ms(s), "");
        std::string periodTarget = o.baud > 0 ? "<= 1.01" : "";
        if (o.baud == 0 && o.points == 256 && analyzer) periodTarget = "<= 1.05";
        row(label + "period ratio " + name + "/reference", ratio(s, reference, &Sweeps::periodMs),
            periodTarget);
        row(label + name + " CPU s per s", cpu(s), "");
        std::string cpuTarget;
        if (o.baud > 0 && o.points == 50) cpuTarget = analyzer ? "<= 1.5" : "<= 1.2";
        row(label + "CPU ratio " + name + "/reference", ratio(s, reference, &Sweeps::cpuPerSecond),
            cpuTarget);
        row(label + name + " peak RSS (VmHWM), MB", s.ok ? kv::fixedText(s.hwmMb, 1) : "n/a",
            "<= 64");
        if (s.exitStatus != 0)
            row(label + name + " exit status after SIGTERM", std::to_string(s.exitStatus), "0");
    }
    return allOk() ? 0 : 1;
}

// K clients at once, each on a simulator of its own, against one of them alone: whether they
// get in each other's way.
struct Fleet {
    Sweeps alone;
    std::vector<Sweeps> each;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    bool ok() const {
        return alone.ok &&
               std::all_of(each.begin(), each.end(), [](const Sweeps& s) { return s.ok; });
    }
    double worstPeriodMs() const {
        double worst = 0;
        for (const auto& s : each) worst = std::max(worst, s.periodMs());
        return worst;
    }
    double cpuPerSecond() const { return wallSeconds > 0 ? cpuSeconds / wallSeconds : 0; }
};

Fleet sweepFleet(Kind kind, const Options& o, const fs::path& dir) {
    Fleet fleet;
    {
        Simulator sim(o, dir, std::string(kindName(kind)) + "-alone");
        const auto client = startClient(kind, o, dir, sim, std::string(kindName(kind)) + "-alone");
        measure(o.sweeps, *client, sim.sweepLog(), fleet.alone);
    }
    std::vector<std::unique_ptr<Simulator>> sims;
    std::vector<std::unique_ptr<Child>> clients;
    for (int k = 0; k < o.clients; ++k) {
        const std::string name = std::string(kindName(kind)) + "-" + std::to_string(k);
        sims.push_back(std::make_unique<Simulator>(o, dir, name));
        clients.push_back(startClient(kind, o, dir, *sims.back(), name));
    }
    fleet.each.resize(clients.size());
    // Every client past its start-up, then the same stretch of time for all.
    for (std::size_t k = 0; k < clients.size(); ++k)
        if (!waitForStamps(sims[k]->sweepLog(), kWarmupStamps, *clients[k]))
            fleet.each[k].ok = false;
    if (!fleet.ok()) return fleet;
    std::vector<std::size_t> first(clients.size());
    double cpu0 = 0;
    for (std::size_t k = 0; k < clients.size(); ++k) {
        first[k] = readStamps(sims[k]->sweepLog()).size() - 1;
        cpu0 += cpuSeconds(clients[k]->pid());
    }
    const double wall0 = nowMs();
    for (std::size_t k = 0; k < clients.size(); ++k)
        if (!waitForStamps(sims[k]->sweepLog(), first[k] + 1 + o.sweeps, *clients[k]))
            fleet.each[k].ok = false;
    double cpu1 = 0;
    for (const auto& client : clients) cpu1 += cpuSeconds(client->pid());
    fleet.wallSeconds = (nowMs() - wall0) / 1000.0;
    fleet.cpuSeconds = cpu1 - cpu0;
    for (std::size_t k = 0; k < clients.size(); ++k) {
        // The periods of the common stretch only: those that ended before it was over.
        std::vector<double> stamps = readStamps(sims[k]->sweepLog());
        const double end = stamps[first[k]] + fleet.wallSeconds * 1000.0;
        std::erase_if(stamps, [end](double t) { return t > end; });
        fleet.each[k].periods = periods(stamps, first[k]);
    }
    return fleet;
}

int runFleet(const Options& o) {
    Workspace work;
    const std::string label = std::to_string(o.clients) + " clients at once, " +
                              std::to_string(o.points) + " points, " + paceName(o.baud) + ": ";
    bool ok = true;
    for (const Kind kind : {Kind::Reference, Kind::Logger}) {
        const Fleet fleet = sweepFleet(kind, o, work.dir());
        const std::string name = kindName(kind);
        const bool logger = kind == Kind::Logger;
        ok = ok && fleet.ok();
        row(label + name + " alone: sweep period, ms",
            fleet.alone.ok ? kv::fixedText(fleet.alone.periodMs(), 2) : "failed", "");
        row(label + name + " alone: CPU s per s",
            fleet.alone.ok ? kv::fixedText(fleet.alone.cpuPerSecond(), 4) : "n/a", "");
        if (!fleet.ok()) {
            row(label + name + "s side by side", "failed", "");
            continue;
        }
        row(label + "worst " + name + " period / alone",
            kv::fixedText(fleet.worstPeriodMs() / fleet.alone.periodMs(), 3),
            logger ? "<= 1.02" : "");
        row(label + name + "s' CPU s per s in all / alone",
            kv::fixedText(fleet.cpuPerSecond() / fleet.alone.cpuPerSecond(), 2),
            logger ? "<= 10" : "");
    }
    return ok ? 0 : 1;
}

// Milliseconds into the day of "....-..-..?HH:MM:SS.mmm" (an ISO time or a log line's stamp).
std::optional<double> dayMs(const std::string& text) {
    if (text.size() < 23) return std::nullopt;
    const auto h = kv::parseNumber<int>(text.substr(11, 2));
    const auto m = kv::parseNumber<int>(text.substr(14, 2));
    const auto sec = kv::parseNumber<double>(text.substr(17, 6));
    if (!h || !m || !sec) return std::nullopt;
    return (*h * 3600.0 + *m * 60.0 + *sec) * 1000.0;
}

// The watched radio's sweeps as the analyzer logged taking them in: the log line's stamp and
// the message's time (when the sweep began at the logger), by seq.
struct Taken {
    std::vector<std::pair<double, double>> bySeq;  // (taken, began) in order of seq
};
Taken readTaken(const fs::path& log) {
    Taken taken;
    std::ifstream in(log);
    std::string line;
    // "YYYY-MM-DD HH:MM:SS.mmm ... sweep of r0 seq N began YYYY-MM-DDTHH:MM:SS.mmmZ taken"
    while (std::getline(in, line)) {
        const auto at = line.find(" began ");
        if (at == std::string::npos || line.find("sweep of r0 ") == std::string::npos) continue;
        const auto stamp = dayMs(line), began = dayMs(line.substr(at + 7));
        if (stamp && began) taken.bySeq.emplace_back(*stamp, *began);
    }
    return taken;
}

// One broker, K loggers on K simulators, the analyzer watching the first: how soon after a
// sweep ended at its logger the window has taken it into its trace, and the analyzer's CPU
// watching beside its CPU sweeping a radio itself. A sweep's end is taken as the next one's
// beginning (the logger starts the next sweep as it publishes), both on this machine's clock.
int runSite(const Options& o) {
    Workspace work;
    const fs::path dir = work.dir();
    const int port = kv::test::freeLoopbackPort();
    {
        std::ofstream conf(dir / "broker.conf");
        conf << "listener " << port << " 127.0.0.1\nallow_anonymous true\nuser root\n";
    }
    Child broker({"/usr/sbin/mosquitto", "-c", (dir / "broker.conf").string()}, {},
                 dir / "broker.out");
    const auto deadline = Clock::now() + 5s;
    while (!kv::test::listeningOnLoopback(port) && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    const std::string url = "mqtt://127.0.0.1:" + std::to_string(port);
    std::vector<std::unique_ptr<Simulator>> sims;
    std::vector<std::unique_ptr<Child>> loggers;
    for (int k = 0; k < o.clients; ++k) {
        const std::string name = "site-" + std::to_string(k);
        sims.push_back(std::make_unique<Simulator>(o, dir, name));
        loggers.push_back(std::make_unique<Child>(
            std::vector<std::string>{(o.build / "kv3710-power").string(), "--device",
                                     sims.back()->link().string(), "-q", "--mqtt", url,
                                     "--radio-id", "r" + std::to_string(k)},
            analyzerEnvironment(o, dir, sims.back()->link()), dir / (name + ".out")));
    }
    auto environment = analyzerEnvironment(o, dir, sims.front()->link());
    environment.insert(environment.end(),
                       {"QT_LOGGING_RULES=kv3710.site.debug=true", "TZ=UTC",
                        "QT_MESSAGE_PATTERN=%{time yyyy-MM-dd HH:mm:ss.zzz} %{message}"});
    const fs::path log = dir / "analyzer-site.out";
    Child analyzer({(o.build / "kv3710-analyzer").string(), "--mqtt", url, "--radio", "r0"},
                   environment, log);
    const std::string label = std::to_string(o.clients) + " loggers, " + std::to_string(o.points) +
                              " points, " + paceName(o.baud) + ": ";
    const auto takenCount = [&] { return readTaken(log).bySeq.size(); };
    const auto waitTaken = [&](std::size_t count) {
        const auto end = Clock::now() + std::chrono::seconds(30 + count);
        while (takenCount() < count && analyzer.running() && Clock::now() < end)
            std::this_thread::sleep_for(20ms);
        return takenCount() >= count;
    };
    const std::size_t warmup = kWarmupStamps;
    Sweeps watching;
    bool ok = waitTaken(warmup);
    const double cpu0 = cpuSeconds(analyzer.pid()), wall0 = nowMs();
    // One more, whose beginning ends the last one measured.
    ok = ok && waitTaken(warmup + static_cast<std::size_t>(o.sweeps) + 1);
    watching.cpuSeconds = cpuSeconds(analyzer.pid()) - cpu0;
    watching.wallSeconds = (nowMs() - wall0) / 1000.0;
    std::vector<double> delays;
    const auto taken = readTaken(log).bySeq;
    for (std::size_t i = warmup;
         ok && i + 1 < taken.size() && delays.size() < std::size_t(o.sweeps); ++i)
        delays.push_back(taken[i].first - taken[i + 1].second);
    analyzer.stop();
    loggers.clear();
    sims.clear();
    Sweeps sweeping;
    {
        Simulator sim(o, dir, "own");
        const auto client = startClient(Kind::Analyzer, o, dir, sim, "analyzer-own");
        measure(o.sweeps, *client, sim.sweepLog(), sweeping);
    }
    row(label + "sweep end to window, median ms", ok ? kv::fixedText(median(delays), 1) : "failed",
        "");
    row(label + "sweep end to window, worst ms",
        ok ? kv::fixedText(*std::max_element(delays.begin(), delays.end()), 1) : "failed", "");
    row(label + "analyzer watching one: CPU s per s",
        ok ? kv::fixedText(watching.cpuPerSecond(), 4) : "n/a", "");
    row(std::to_string(o.points) + " points, " + paceName(o.baud) +
            ": analyzer sweeping its radio: CPU s per s",
        sweeping.ok ? kv::fixedText(sweeping.cpuPerSecond(), 4) : "n/a", "");
    return ok && sweeping.ok ? 0 : 1;
}

// The analyzer's sweep period with the waterfall strip hidden and shown, taking turns.
int runStrip(const Options& o) {
    Workspace work;
    const std::string label = std::to_string(o.points) + " points, " + paceName(o.baud) + ": ";
    const int perRound = (o.sweeps + o.rounds - 1) / o.rounds;
    std::array<Sweeps, 2> runs;  // hidden, shown
    for (int round = 0; round < o.rounds && runs[0].ok && runs[1].ok; ++round) {
        for (const bool shown : {false, true}) {
            Simulator sim(o, work.dir(), shown ? "shown" : "hidden");
            Child client({(o.build / "kv3710-analyzer").string()},
                         analyzerEnvironment(o, work.dir(), sim.link(), {}, shown),
                         work.dir() / "analyzer.out");
            measure(perRound, client, sim.sweepLog(), runs[shown ? 1 : 0]);
        }
    }
    const auto ms = [](const Sweeps& s) {
        return s.ok ? kv::fixedText(s.periodMs(), 2) : "failed";
    };
    row(label + "sweep period, strip hidden / shown, ms", ms(runs[0]) + " / " + ms(runs[1]), "");
    const bool both = runs[0].ok && runs[1].ok;
    row(label + "period ratio strip shown/hidden (" + std::to_string(runs[0].periods.size()) +
            " + " + std::to_string(runs[1].periods.size()) + " sweeps)",
        both ? kv::fixedText(runs[1].periodMs() / runs[0].periodMs(), 3) : "n/a", "<= 1.02");
    row(label + "analyzer CPU s per s, strip hidden / shown",
        both ? kv::fixedText(runs[0].cpuPerSecond(), 3) + " / " +
                   kv::fixedText(runs[1].cpuPerSecond(), 3)
             : "n/a",
        "");
    return both ? 0 : 1;
}

int runSoak(const Options& o) {
    Workspace work;
    const std::string label = std::to_string(o.points) + " points, " + paceName(o.baud) + ": ";
    Simulator sim(o, work.dir(), "soak");
    const auto environment = analyzerEnvironment(o, work.dir(), sim.link());
    Child analyzer({(o.build / "kv3710-analyzer").string()}, environment,
                   work.dir() / "analyzer.out");
    // The second stamp: the first sweep is measured, drawn and shown (the pass ends with its
    // drawing and one trip through the event loop that repaints the window) and the second
    // one begins.
    if (!waitForStamps(sim.sweepLog(), 3, analyzer)) {
        row(label + "first complete trace", "failed", "");
        return 1;
    }
    const auto stamps = readStamps(sim.sweepLog());
    const double firstTrace = stamps[1] - analyzer.startedMs();
    const double firstSweep = stamps[1] - stamps[0];
    const double rssStart = memoryMb(analyzer.pid(), "VmRSS");
    const auto soakStart = Clock::now();
    std::this_thread::sleep_until(soakStart + std::chrono::seconds(o.seconds) / 2);
    const double rssHalf = memoryMb(analyzer.pid(), "VmRSS");
    std::this_thread::sleep_until(soakStart + std::chrono::seconds(o.seconds));
    if (!analyzer.running()) {
        row(label + "analyzer died during the soak", "failed", "");
        return 1;
    }
    const double rssEnd = memoryMb(analyzer.pid(), "VmRSS");
    const double hwm = memoryMb(analyzer.pid(), "VmHWM");
    const std::size_t sweeps = readStamps(sim.sweepLog()).size();
    const int exitStatus = analyzer.stop();

    row(label + "start to first complete trace, ms", kv::fixedText(firstTrace, 1), "");
    row(label + "  of which the first sweep itself, ms", kv::fixedText(firstSweep, 1), "");
    row(label + "  start-up beyond the sweep, ms", kv::fixedText(firstTrace - firstSweep, 1),
        "<= 500");
    row(label + "VmRSS after the first trace, MB", kv::fixedText(rssStart, 1), "");
    row(label + "VmRSS after " + std::to_string(o.seconds / 2) + " s, MB",
        kv::fixedText(rssHalf, 1), "");
    row(label + "VmRSS after " + std::to_string(o.seconds) + " s (" + std::to_string(sweeps) +
            " sweeps), MB",
        kv::fixedText(rssEnd, 1), "flat");
    row(label + "peak RSS (VmHWM) after " + std::to_string(o.seconds) + " s, MB",
        kv::fixedText(hwm, 1), "<= 64");
    if (exitStatus != 0)
        row(label + "analyzer exit status after SIGTERM", std::to_string(exitStatus), "0");
    return 0;
}

#ifdef KV_BENCH_LATENCY
using kv::test::Box;
using kv::test::WindowImage;
using kv::test::XClient;

constexpr std::uint32_t kBlack = 0x000000;  // Background Color 0
constexpr std::uint32_t kRed = 0xFF0000;    // Marker1 Color 255
constexpr std::uint32_t kCoverColour = 0xFF00FF;
constexpr int kSymbolWidth = 9;  // pixels, a little more than the marker symbol's 100 twips
constexpr auto kShowTimeout = 15s;
constexpr int kRepeats = 4;  // uncoverings and menu openings per pair

// A private X server; its display name is what it writes to its output.
class PrivateX {
  public:
    explicit PrivateX(const fs::path& dir)
        : output_(dir / "xvfb.out"),
          child_({"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                  "tcp"},
                 {}, output_) {
        const auto deadline = Clock::now() + 10s;
        while (name_.empty() && Clock::now() < deadline) {
            std::ifstream in(output_);
            std::string line;
            while (std::getline(in, line))
                if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
                    name_ = ":" + line;
            std::this_thread::sleep_for(10ms);
        }
    }
    const std::string& name() const { return name_; }

  private:
    fs::path output_;
    Child child_;
    std::string name_;
};

double centreX(const Box& b) {
    return (b.left + b.right) / 2.0;
}

// The share of pixels that equal those of the other image.
double sameShare(const WindowImage& a, const WindowImage& b) {
    if (a.pixels.size() != b.pixels.size() || a.pixels.empty()) return 0;
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) same += a.pixels[i] == b.pixels[i];
    return static_cast<double>(same) / static_cast<double>(a.pixels.size());
}

// Grabs until `shown` holds for the image; the milliseconds from `since` to the grab that
// showed it, or nothing after the time-out.
template <typename Shown>
std::optional<double> timeUntilShown(XClient& x, unsigned long window,
                                     const std::optional<Box>& part, double since, Shown shown) {
    const auto deadline = Clock::now() + kShowTimeout;
    while (Clock::now() < deadline) {
        const auto image = x.grab(window, part);
        if (image && shown(*image)) return nowMs() - since;
        std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
}

std::string worstAndMedian(const std::vector<double>& ms, int asked) {
    if (static_cast<int>(ms.size()) < asked) return "failed";
    return kv::fixedText(*std::max_element(ms.begin(), ms.end()), 1) + " / " +
           kv::fixedText(median(ms), 1);
}

int runLatency(const Options& o) {
    Workspace work;
    const std::string label = std::to_string(o.points) + " points, " + paceName(o.baud) + ": ";
    PrivateX server(work.dir());
    if (server.name().empty()) {
        row(label + "Xvfb did not start", "failed", "");
        return 1;
    }
    Simulator sim(o, work.dir(), "latency");
    Child analyzer({(o.build / "kv3710-analyzer").string()},
                   analyzerEnvironment(o, work.dir(), sim.link(), server.name()),
                   work.dir() / "analyzer.out");
    XClient x(server.name());
    unsigned long window = 0;
    const auto found = Clock::now() + 10s;
    while (x.connected() && (window = x.findWindow(kv::kWindowTitle)) == 0 && Clock::now() < found)
        std::this_thread::sleep_for(20ms);
    // Two whole sweeps, so that the trace and the marker are drawn and the period is known.
    if (window == 0 || !waitForStamps(sim.sweepLog(), 3, analyzer)) {
        row(label + "the analyzer did not sweep in a window", "failed", "");
        return 1;
    }
    const auto stamps = readStamps(sim.sweepLog());
    const double period = stamps[2] - stamps[1];
    const auto whole = x.grab(window);
    Box plot = whole ? kv::test::plotBoxOf(*whole, kBlack) : Box{};
    if (plot.empty()) {
        row(label + "no plot box in the window", "failed", "");
        return 1;
    }
    const double column = (plot.right - plot.left + 1.0) / o.points;
    // The symbol of a marker on the first or last point reaches into the side margins.
    plot.left -= kSymbolWidth;
    plot.right += kSymbolWidth;
    const Box inPlot{0, 0, plot.right - plot.left, plot.bottom - plot.top};

    std::mt19937 random(12);
    std::uniform_real_distribution<double> moment(0, period);
    const auto atRandomMoment = [&] {
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(moment(random)));
    };

    // Right arrow: the marker steps one point right; its symbol shows there, whole, once the
    // old one is erased and the new one drawn.
    std::vector<double> keys;
    for (int k = 0; k < o.keys; ++k) {
        atRandomMoment();
        const auto before = x.grab(window, plot);
        const Box from = before ? kv::test::boxOf(*before, kRed, inPlot) : Box{};
        if (from.empty()) break;
        const double t0 = nowMs();
        if (!x.pressKey(window, "Right")) break;
        const auto ms = timeUntilShown(x, window, plot, t0, [&](const WindowImage& image) {
            const Box to = kv::test::boxOf(image, kRed, inPlot);
            return !to.empty() && to.right - to.left < kSymbolWidth &&
                   centreX(to) - centreX(from) >= std::max(1.0, column / 2);
        });
        if (!ms) break;
        keys.push_back(*ms);
    }

    // A window put over the analyzer's and taken away: its picture is back.
    std::vector<double> uncovered;
    for (int k = 0; k < kRepeats; ++k) {
        atRandomMoment();
        const auto before = x.grab(window);
        const unsigned long cover = x.cover(window, kCoverColour);
        std::this_thread::sleep_for(50ms);
        const double t0 = nowMs();
        x.uncover(cover);
        // Nearly all of it as before: only the trace and the readouts may have moved.
        const auto ms = timeUntilShown(x, window, std::nullopt, t0, [&](const WindowImage& image) {
            return before && sameShare(image, *before) > 0.97;
        });
        if (!ms) break;
        uncovered.push_back(*ms);
    }

    // A click on "File" in the menu bar: the menu shows below it.
    std::vector<double> menus;
    const Box belowFile{4, 30, 40, 60};  // within the menu once it shows
    for (int k = 0; k < kRepeats; ++k) {
        atRandomMoment();
        const auto before = x.grab(window, belowFile);
        const double t0 = nowMs();
        x.click(window, 15, 10);
        const auto ms = timeUntilShown(x, window, belowFile, t0, [&](const WindowImage& image) {
            return before && sameShare(image, *before) < 0.5;
        });
        if (!ms) {
            if (const char* shot = std::getenv("KV_BENCH_SHOT")) {
                const auto after = x.grab(window);
                std::ofstream out(shot);
                out << "P3 " << after->width << " " << after->height << " 255\n";
                for (auto p : after->pixels)
                    out << (p >> 16) << " " << ((p >> 8) & 255) << " " << (p & 255) << "\n";
            }
            break;
        }
        menus.push_back(*ms);
        x.click(window, 15, 10);  // closes it again
        std::this_thread::sleep_for(200ms);
    }

    const std::string worst = "worst / median ms";
    row(label + "key to screen, " + worst + " (" + std::to_string(o.keys) + " keys)",
        worstAndMedian(keys, o.keys), "<= 50");
    row(label + "uncovered to repainted, " + worst + " (" + std::to_string(kRepeats) + ")",
        worstAndMedian(uncovered, kRepeats), "<= 50");
    row(label + "click to menu shown, " + worst + " (" + std::to_string(kRepeats) + ")",
        worstAndMedian(menus, kRepeats), "<= 50");
    x.requestClose(window);
    return 0;
}
#else
int runLatency(const Options&) {
    row("latency: built without X11 and XTest", "n/a", "");
    return 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    if (o.mode == "latency") return runLatency(o);
    if (o.mode == "strip") return runStrip(o);
    if (o.mode == "fleet") return runFleet(o);
    if (o.mode == "site") return runSite(o);
    return o.mode == "sweep" ? runSweep(o) : runSoak(o);
}
