#include "bench/started_program.h"

#include "state/tool_state.h"
#include "store/profiles.h"
#include "store/session_file.h"
#include "tests/support/wait.h"
#include "tests/support/x11_state.h"
#include "tests/support/xi2_observer.h"

#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

std::string SessionPath(const StartedQuillon& program) {
    return program.dataHome + "/Quillon/session.dat";
}

// Asked seldom: the question itself briefly grabs F6.
bool WaitForHotkeys() {
    return WaitUntil([] { return KeyGrabbedByAnotherClient(72); }, 20000, 200);
}

// The main page writes the status file on its first poll.
bool WaitForMainPage(const StartedQuillon& program) {
    const std::string status = program.dataHome + "/Quillon/status.txt";
    return WaitUntil([&] { return std::filesystem::exists(status); }, 20000, 20);
}

// utime + stime in seconds from a /proc stat file; the name in parentheses goes to `name`.
double CpuSecondsInStat(const std::string& path, std::string* name = nullptr) {
    std::ifstream stat(path);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which may hold blanks: utime and stime are 14 and 15.
    const size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return 0;
    if (name) *name = text.substr(open + 1, close - open - 1);
    unsigned long utime = 0, stime = 0;
    if (std::sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                    &utime, &stime) != 2) {
        return 0;
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Start-up work (the web engine loading and painting the page, and what it does a few seconds
// later) is over once four half seconds in a row pass with the program and its web processes
// nearly idle; a program that never gets there is measured anyway.
void WaitForQuiet(pid_t pid) {
    constexpr auto kWindow = std::chrono::milliseconds(500);
    int quietWindows = 0;
    for (int i = 0; i < 80 && quietWindows < 4; ++i) {
        const double before = ProcessTreeCpuSeconds(pid);
        std::this_thread::sleep_for(kWindow);
        const bool quiet = ProcessTreeCpuSeconds(pid) - before < 0.03 * 0.5;
        quietWindows = quiet ? quietWindows + 1 : 0;
    }
}

}  // namespace

bool StartQuillon(StartedQuillon& program, const std::function<void()>& configure) {
    char pattern[] = "/tmp/qln-bench-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    program.dataHome = pattern;
    std::filesystem::create_directories(program.dataHome + "/Quillon");
    ResetToolStateForTest();
    profiles.push_back(MacroProfile{kDefaultProfileName, "", {}});
    if (configure) configure();
    if (!SaveSessionStateTo(SessionPath(program), true)) return false;
    program.pid = fork();
    if (program.pid == 0) {
        setenv("XDG_DATA_HOME", program.dataHome.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (program.dataHome + "/config").c_str(), 1);
        setenv("QLN_TEST_CONNECT_TO", "quillon.app:443:127.0.0.1:9", 1);
        execl(QUILLON_BINARY, QUILLON_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    if (program.pid > 0 && WaitForHotkeys() && WaitForMainPage(program)) {
        WaitForQuiet(program.pid);
        return true;
    }
    std::fprintf(stderr, "bench: quillon did not start\n");
    StopQuillon(program);  // a late start must not click into the next measurement
    return false;
}

void StopQuillon(StartedQuillon& program) {
    if (program.pid <= 0) return;
    kill(program.pid, SIGTERM);
    waitpid(program.pid, nullptr, 0);
    program.pid = -1;
}

std::vector<UnifiedEvent> SavedRecording(const StartedQuillon& program) {
    ResetToolStateForTest();
    if (!LoadSessionStateFrom(SessionPath(program))) return {};
    std::lock_guard<std::mutex> lock(profileMutex);
    if (currentProfileIdx < 0 || size_t(currentProfileIdx) >= profiles.size()) return {};
    return profiles[size_t(currentProfileIdx)].events;
}

std::vector<pid_t> ProcessTree(pid_t root) {
    std::map<pid_t, pid_t> parentOf;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const pid_t pid = pid_t(std::atoi(entry.path().filename().c_str()));
        if (pid <= 0) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        int parent = 0;
        if (close != std::string::npos &&
            std::sscanf(text.c_str() + close + 2, "%*c %d", &parent) == 1) {
            parentOf[pid] = pid_t(parent);
        }
    }
    std::vector<pid_t> tree;
    for (const auto& [pid, parent] : parentOf) {
        pid_t up = pid;
        while (up > 1 && up != root) up = parentOf.count(up) ? parentOf[up] : 0;
        if (up == root) tree.push_back(pid);
    }
    return tree;
}

double ProcessTreeCpuSeconds(pid_t root) {
    double seconds = 0;
    for (pid_t pid : ProcessTree(root)) seconds += ProcessCpuSeconds(pid);
    return seconds;
}

double ProcessCpuSeconds(pid_t pid) {
    return CpuSecondsInStat("/proc/" + std::to_string(pid) + "/stat");
}

std::map<std::string, double> ThreadCpuSeconds(pid_t pid) {
    std::map<std::string, double> seconds;
    std::error_code error;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::string name;
        const double used = CpuSecondsInStat(task.path().string() + "/stat", &name);
        if (!name.empty()) seconds[name] += used;
    }
    return seconds;
}

std::string BusiestThreads(const std::map<std::string, double>& before,
                           const std::map<std::string, double>& after, double wallSeconds) {
    std::vector<std::pair<double, std::string>> cores;
    for (const auto& [name, used] : after) {
        const auto earlier = before.find(name);
        const double share = (used - (earlier == before.end() ? 0 : earlier->second)) / wallSeconds;
        if (share >= 0.01) cores.emplace_back(share, name);
    }
    std::sort(cores.rbegin(), cores.rend());
    std::string text;
    char figure[32];
    for (const auto& [share, name] : cores) {
        std::snprintf(figure, sizeof figure, " %.3f", share);
        text += (text.empty() ? "" : " ") + name + figure;
    }
    return text;
}

std::vector<pid_t> StartCpuHogs() {
    std::vector<pid_t> hogs;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < cores; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
        }
        if (pid > 0) hogs.push_back(pid);
    }
    return hogs;
}

void StopCpuHogs(std::vector<pid_t>& hogs) {
    for (pid_t pid : hogs) kill(pid, SIGKILL);
    for (pid_t pid : hogs) waitpid(pid, nullptr, 0);
    hogs.clear();
}

void RaiseJudge(std::thread& listener) {
    sched_param param{};
    param.sched_priority = 50;
    if (pthread_setschedparam(listener.native_handle(), SCHED_FIFO, &param) != 0) {
        std::fprintf(stderr, "bench: the listener runs at normal priority (no real-time rights)\n");
    }
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(fraction * double(values.size())));
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

int64_t FirstStampAfter(Xi2Observer& observer, int64_t after, int type, int sourceId, int detail) {
    const int64_t until = MonotonicNs() + 2000000000;
    while (MonotonicNs() < until) {
        for (const ObservedEvent& e : ObservedSnapshot(observer)) {
            if (e.stampNs > after && e.type == type && e.sourceId == sourceId &&
                (detail == 0 || e.detail == detail)) {
                return e.stampNs;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return -1;
}
