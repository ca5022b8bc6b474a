// Runs the real analyzer (offscreen) and the reference client against kv3710-sim over its
// pseudo-terminal and prints table rows of what it measured: sweep periods, their ratio, the
// analyzer's CPU use, its memory and how soon the first trace is complete.
//
//   kv-bench-sweep sweep --build DIR --points N --baud B [--sweeps N]
//   kv-bench-sweep soak  --build DIR --points N --baud B --seconds S
//
// The sweep period comes from the simulator's sweep log (a monotonic time stamp each time
// channel 0 is set). Every row is "| figure | value | target |"; nothing passes or fails.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
};

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: kv-bench-sweep sweep|soak --build DIR --points N --baud B "
                 "[--sweeps N] [--rounds R] [--seconds S]\n");
    std::exit(2);
}

Options parse(int argc, char** argv) {
    if (argc < 2) usage();
    Options o;
    o.mode = argv[1];
    if (o.mode != "sweep" && o.mode != "soak") usage();
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
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
        else if (key == "--rounds")
            o.rounds = std::max(1, std::stoi(value));
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

// CPU seconds (user + system) the process has used so far.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    // Fields after the command name start with the state (field 3); utime is 14, stime 15.
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) utime = std::stoull(field);
        if (index == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
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
        if (!line.empty()) stamps.push_back(std::stod(line));
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

std::vector<std::string> analyzerEnvironment(const Options& o, const fs::path& dir,
                                             const fs::path& link) {
    const fs::path config = dir / "config";
    fs::create_directories(config);
    std::ofstream ini(config / "KV3710 Spectrum Analyzer.exe.ini");
    ini << "[Ports]\nCOM1=" << link.string() << "\n";
    if (o.points != 50) ini << "\n[Settings]\nNumber of Points=" << o.points << "\n";
    return {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config.string()};
}

std::string paceName(int baud) {
    return baud > 0 ? std::to_string(baud) + " baud" : "unpaced";
}

void row(const std::string& figure, const std::string& value, const std::string& target) {
    std::printf("| %-58s | %14s | %-10s |\n", figure.c_str(), value.c_str(), target.c_str());
    std::fflush(stdout);
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
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

int runSweep(const Options& o) {
    Workspace work;
    const std::string label = std::to_string(o.points) + " points, " + paceName(o.baud) + ": ";
    // The two clients take turns, so that both meet the same load on the machine.
    const int perRound = (o.sweeps + o.rounds - 1) / o.rounds;
    Sweeps reference;
    Sweeps analyzer;
    for (int round = 0; round < o.rounds && reference.ok && analyzer.ok; ++round) {
        {
            Simulator sim(o, work.dir(), "reference");
            Child client({(o.build / "kv-bench-reference").string(), sim.link().string(),
                          std::to_string(o.points)},
                         {}, work.dir() / "reference.out");
            measure(perRound, client, sim.sweepLog(), reference);
            client.stop();
        }
        {
            Simulator sim(o, work.dir(), "analyzer");
            Child client({(o.build / "kv3710-analyzer").string()},
                         analyzerEnvironment(o, work.dir(), sim.link()),
                         work.dir() / "analyzer.out");
            measure(perRound, client, sim.sweepLog(), analyzer);
            if (const int status = client.stop(); status != 0) analyzer.exitStatus = status;
        }
    }

    const auto ms = [](const Sweeps& s) { return s.ok ? fixed(s.periodMs(), 2) : "failed"; };
    const auto of = [&](const Sweeps& s) {
        return " (median of " + std::to_string(s.periods.size()) + " in " +
               std::to_string(o.rounds) + " runs)";
    };
    row(label + "reference sweep period, ms" + of(reference), ms(reference), "");
    row(label + "analyzer sweep period, ms" + of(analyzer), ms(analyzer), "");
    const bool both = reference.ok && analyzer.ok;
    row(label + "period ratio analyzer/reference",
        both ? fixed(analyzer.periodMs() / reference.periodMs(), 3) : "n/a",
        o.baud > 0 ? "<= 1.05" : "<= 1.25");
    row(label + "reference client CPU s per s (for comparison)",
        reference.ok ? fixed(reference.cpuPerSecond(), 3) : "n/a", "");
    std::string cpuTarget;
    if (o.baud == 115200) cpuTarget = "<= 0.10";
    if (o.baud == 9600) cpuTarget = "<= 0.03";
    row(label + "analyzer CPU s per s", analyzer.ok ? fixed(analyzer.cpuPerSecond(), 3) : "n/a",
        cpuTarget);
    row(label + "analyzer peak RSS (VmHWM), MB", analyzer.ok ? fixed(analyzer.hwmMb, 1) : "n/a",
        "<= 64");
    if (analyzer.exitStatus != 0)
        row(label + "analyzer exit status after SIGTERM", std::to_string(analyzer.exitStatus), "0");
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

    row(label + "start to first complete trace, ms", fixed(firstTrace, 1), "");
    row(label + "  of which the first sweep itself, ms", fixed(firstSweep, 1), "");
    row(label + "  start-up beyond the sweep, ms", fixed(firstTrace - firstSweep, 1), "<= 500");
    row(label + "VmRSS after the first trace, MB", fixed(rssStart, 1), "");
    row(label + "VmRSS after " + std::to_string(o.seconds / 2) + " s, MB", fixed(rssHalf, 1), "");
    row(label + "VmRSS after " + std::to_string(o.seconds) + " s (" + std::to_string(sweeps) +
            " sweeps), MB",
        fixed(rssEnd, 1), "flat");
    row(label + "peak RSS (VmHWM) after " + std::to_string(o.seconds) + " s, MB", fixed(hwm, 1),
        "<= 64");
    if (exitStatus != 0)
        row(label + "analyzer exit status after SIGTERM", std::to_string(exitStatus), "0");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    return o.mode == "sweep" ? runSweep(o) : runSoak(o);
}
