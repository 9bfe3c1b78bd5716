#pragma once

// An independent XInput 2 client that watches what reaches the X server: raw button and key
// events with their source device, stamped with CLOCK_MONOTONIC on receipt.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct ObservedEvent {
    int type = 0;                // XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, ...
    int detail = 0;              // keycode or button
    int sourceId = 0;            // the slave device the event came from
    int64_t stampNs = 0;         // CLOCK_MONOTONIC on receipt
    unsigned long serverMs = 0;  // the X server's own time of the event
    double x = 0, y = 0;         // XI_RawMotion: the raw values of the first two axes
};

struct Xi2Observer {
    std::vector<ObservedEvent> events;  // guarded by mutex
    std::mutex mutex;
    std::atomic<bool> running{false};
    std::thread thread;
    int xtestPointerId = -1;   // "Virtual core XTEST pointer"
    int xtestKeyboardId = -1;  // "Virtual core XTEST keyboard"
    bool withMotion = false;   // set before starting to see raw motion too
};

bool StartObserver(Xi2Observer& observer);
void StopObserver(Xi2Observer& observer);
std::vector<ObservedEvent> ObservedSnapshot(Xi2Observer& observer);
void ClearObserved(Xi2Observer& observer);
// Events of the type seen so far from the source device (0: any) with the detail (0: any).
long ObservedCount(Xi2Observer& observer, int type, int sourceId = 0, int detail = 0);

int64_t MonotonicNs();
