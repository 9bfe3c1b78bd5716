#pragma once

// The program users run, started the way they start it, on the benchmark's private X server,
// with a data folder of its own; and what the benchmarks need around it.

#include "state/types.h"

#include <sys/types.h>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

struct StartedQuillon {
    pid_t pid = -1;
    std::string dataHome;  // XDG_DATA_HOME of the program
};

// Writes a session file with the settings that `configure` puts into the live state (nothing
// when empty), starts the quillon binary and waits until its hotkeys are live, its main page
// polls and its start-up work is over, as when a user reaches for a hotkey.
bool StartQuillon(StartedQuillon& program, const std::function<void()>& configure);
// SIGTERM, as the desktop ends it; waits for the end (the session is saved then).
void StopQuillon(StartedQuillon& program);
// The recording of the active profile as the program saved it.
std::vector<UnifiedEvent> SavedRecording(const StartedQuillon& program);

// CPU seconds (user and system) a process has used so far.
double ProcessCpuSeconds(pid_t pid);
// The program and every process below it, its web engine's processes included.
std::vector<pid_t> ProcessTree(pid_t root);
double ProcessTreeCpuSeconds(pid_t root);
// CPU seconds so far of each named thread of a process (threads of one name added up).
std::map<std::string, double> ThreadCpuSeconds(pid_t pid);
// "name 0.123 name 0.045": the threads that used at least a hundredth of a core between two
// readings, busiest first, in cores.
std::string BusiestThreads(const std::map<std::string, double>& before,
                           const std::map<std::string, double>& after, double wallSeconds);

// One busy process per core, at normal priority, for measurements under load.
std::vector<pid_t> StartCpuHogs();
void StopCpuHogs(std::vector<pid_t>& hogs);

// Lets the benchmark's judge (the listener thread) run ahead of everything else, where the
// system allows it, so its receipt stamps measure the program and not the judge's own waits.
void RaiseJudge(std::thread& listener);

struct Xi2Observer;
// Stamp of the first observed event after `after` that matches (any detail when `detail` is 0),
// or -1 when none came within two seconds.
int64_t FirstStampAfter(Xi2Observer& observer, int64_t after, int type, int sourceId,
                        int detail = 0);

// p-quantile (0..1) of the values; 0 when there are none.
double Percentile(std::vector<double> values, double fraction);
