#pragma once

// Where each master pointer is, followed from the raw motion of the physical devices, so that a
// recording at a thousand moves a second needs no round trip to the server per move.
//
// A raw motion carries what the server made of the device's report: an accelerated step for
// relative motion, a device position for absolute motion (scaled to the desktop when the axis
// has a range). A device may send either (a relative mouse can be moved to a place), so each
// device's kind is learnt: positions asked of the server are compared with both readings, and
// only a reading that alone agreed several times in a row is trusted. Anything the valuators
// cannot tell (our own XTEST moves, another client's warp, an edge, a pause, a new screen size)
// makes the next move ask the server again, and so does a disagreement, which also unlearns
// the device. A tap that fell behind gets answers from after motions it has not handled yet;
// those motions are read with the answer, so each event still gets its own position.

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <atomic>
#include <cstdint>
#include <vector>

// Counted by the synthesis layer before it moves the pointer; the tracks then ask again.
extern std::atomic<uint64_t> g_OwnPointerMoves;

struct PointerTracks {
    enum class Reading { kUnknown, kStep, kPlace };
    struct Slave {
        int id = 0;
        int master = 0;
        double min[2] = {0, 0};  // axis ranges; empty when min >= max
        double max[2] = {0, 0};
        Reading reading = Reading::kUnknown;
        int agreed = 0;  // checks in a row that agreed with `reading` alone
    };
    struct Master {
        int id = 0;
        double x = 0, y = 0;
        bool known = false;
        int64_t lastMotionNs = 0;
    };
    std::vector<Slave> slaves;
    std::vector<Master> masters;
    double width = 0, height = 0;  // the desktop
    uint64_t ownMovesSeen = 0;
    bool ownMovesInStream = false;  // our own moves come as raw events, in order; no count read
};

// Learns the physical pointers and their masters again (start, hierarchy or device change).
void LearnPointerDevices(const XIDeviceInfo* devices, int count, PointerTracks& tracks);
// Forgets every position, e.g. when the desktop changed size.
void ForgetPointerPositions(PointerTracks& tracks);
// The position after a raw motion from the valuators alone; false when the server must be asked.
bool TrackedPosition(PointerTracks& tracks, const XIRawEvent& raw, int64_t nowNs, double& x,
                     double& y);
// The position of a raw click from a trusted track (every motion before it has been read, so
// it is the click's own); false when the server must be asked.
bool TrackedClickPosition(PointerTracks& tracks, const XIRawEvent& raw, int64_t nowNs, double& x,
                          double& y);
// What the server said after a raw motion or click, answered only after `later` (the raw
// motions read since, of any device). x and y come in as the answer and leave as the event's own
// position where that can be told from the answer and the readings (the devices learn from
// it); otherwise they keep the answer and the next move asks again.
void NoteAskedPosition(PointerTracks& tracks, const XIRawEvent& raw,
                       const std::vector<const XIRawEvent*>& later, int64_t nowNs, double& x,
                       double& y);
