#include "platform/x11/pointer_track_x11.h"

#include <algorithm>
#include <cmath>

std::atomic<uint64_t> g_OwnPointerMoves{0};

namespace {

using Reading = PointerTracks::Reading;
using Slave = PointerTracks::Slave;
using Master = PointerTracks::Master;

// Agreements in a row before a device's reading is trusted.
constexpr int kTrustAfter = 4;
// A pointer still for this long may have been put elsewhere meanwhile (another client's warp).
constexpr int64_t kStillNs = 250000000;

template <typename Items>
auto FindById(Items& items, int id) -> decltype(&items.front()) {
    for (auto& item : items) {
        if (item.id == id) return &item;
    }
    return nullptr;
}

double Extent(const PointerTracks& t, int axis) { return axis == 0 ? t.width : t.height; }

// A device value in desktop units, scaled as the server scales an axis that has a range.
double ToDesktop(const PointerTracks& t, const Slave& s, int axis, double value, bool place) {
    if (s.min[axis] >= s.max[axis]) return value;
    const double scale = Extent(t, axis) / (s.max[axis] + 1 - s.min[axis]);
    return place ? (value - s.min[axis]) * scale : value * scale;
}

// The two ways of reading a raw motion: a step from the last position, or a place.
struct Readings {
    bool stepKnown = false, placeKnown = true;
    double step[2] = {0, 0}, place[2] = {0, 0};
};

Readings Read(const PointerTracks& t, const Slave& s, const Master& m, const XIRawEvent& raw) {
    Readings r;
    r.stepKnown = m.known;
    r.step[0] = r.place[0] = m.x;
    r.step[1] = r.place[1] = m.y;
    const double* value = raw.valuators.values;
    for (int axis = 0; axis < 2; ++axis) {
        if (axis >= raw.valuators.mask_len * 8 || !XIMaskIsSet(raw.valuators.mask, axis)) {
            r.placeKnown = r.placeKnown && m.known;  // an absent axis stays where it was
            continue;
        }
        const double v = *value++;
        r.step[axis] += ToDesktop(t, s, axis, v, false);
        r.place[axis] = ToDesktop(t, s, axis, v, true);
    }
    return r;
}

bool Inside(const PointerTracks& t, const double p[2]) {
    return p[0] >= 0 && p[1] >= 0 && p[0] < t.width && p[1] < t.height;
}

// Not on an edge's pixel, where the server may have stopped the pointer.
bool AwayFromEdges(const PointerTracks& t, const double p[2]) {
    return p[0] >= 1 && p[1] >= 1 && p[0] < t.width - 1 && p[1] < t.height - 1;
}

// The pixel the server would show, the position stopped at the desktop's edges.
double PixelOn(const PointerTracks& t, int axis, double value) {
    return std::clamp(std::floor(value), 0.0, std::max(0.0, Extent(t, axis) - 1));
}

bool SamePixel(const PointerTracks& t, const double p[2], double x, double y) {
    return PixelOn(t, 0, p[0]) == std::floor(x) && PixelOn(t, 1, p[1]) == std::floor(y);
}

void Unlearn(Slave& s) {
    s.reading = Reading::kUnknown;
    s.agreed = 0;
}

// Compares the server's answer with both readings; returns whether the step reading held, in
// which case the track keeps its own fractions.
bool Learn(const PointerTracks& t, Slave& s, const Readings& r, double x, double y) {
    const bool step = r.stepKnown && SamePixel(t, r.step, x, y);
    const bool place = r.placeKnown && SamePixel(t, r.place, x, y);
    if (step == place) {
        // Neither, where both could be read: a warp, a barrier, or a device we cannot read.
        if (!step && r.stepKnown && r.placeKnown) Unlearn(s);
        return step;
    }
    const Reading seen = step ? Reading::kStep : Reading::kPlace;
    s.agreed = s.reading == seen ? s.agreed + 1 : 1;
    s.reading = seen;
    return step;
}

// The track a raw event's device moves, when it may be used without asking; also forgets
// every position once we moved the pointer ourselves.
Master* TrustedTrack(PointerTracks& tracks, const XIRawEvent& raw, int64_t nowNs, Slave*& s) {
    const uint64_t ownMoves = g_OwnPointerMoves.load();
    if (!tracks.ownMovesInStream && ownMoves != tracks.ownMovesSeen) {
        tracks.ownMovesSeen = ownMoves;
        ForgetPointerPositions(tracks);
    }
    s = FindById(tracks.slaves, raw.sourceid);
    Master* m = s ? FindById(tracks.masters, s->master) : nullptr;
    if (!m || !m->known || nowNs - m->lastMotionNs > kStillNs || s->agreed < kTrustAfter) {
        return nullptr;
    }
    return m;
}

// The motions after an asked event that moved the same master pointer; a device not known
// here may be any pointer's, so it counts as this one's.
std::vector<const XIRawEvent*> LaterOfMaster(const PointerTracks& t, const Master& m,
                                             const std::vector<const XIRawEvent*>& later) {
    std::vector<const XIRawEvent*> same;
    for (const XIRawEvent* e : later) {
        const Slave* s = FindById(t.slaves, e->sourceid);
        if (!s || s->master == m.id) same.push_back(e);
    }
    return same;
}

// Both readings of a motion (first) and where each puts the pointer after the same device's
// later motions (last), for an answer the server gave only after those; false when a later
// motion came from another device, whose reading is not carried.
bool Carry(const PointerTracks& t, const Slave& s, const Master& m, const XIRawEvent& raw,
           const std::vector<const XIRawEvent*>& later, Readings& first, Readings& last) {
    first = last = Read(t, s, m, raw);
    for (const XIRawEvent* e : later) {
        if (e->sourceid != s.id) return false;
        Master byStep = m, byPlace = m;
        byStep.x = last.step[0], byStep.y = last.step[1], byStep.known = last.stepKnown;
        byPlace.x = last.place[0], byPlace.y = last.place[1], byPlace.known = last.placeKnown;
        const Readings step = Read(t, s, byStep, *e), place = Read(t, s, byPlace, *e);
        std::copy(step.step, step.step + 2, last.step);
        std::copy(place.place, place.place + 2, last.place);
        last.stepKnown = step.stepKnown;
        last.placeKnown = place.placeKnown;
    }
    return true;
}

// Where the pointer was before the later motions, from the answer after them, when each came
// from a device trusted to step and none of them touched an edge.
bool StepBack(const PointerTracks& t, const std::vector<const XIRawEvent*>& later,
              const double answer[2], double at[2]) {
    at[0] = answer[0];
    at[1] = answer[1];
    for (auto e = later.rbegin(); e != later.rend(); ++e) {
        const Slave* s = FindById(t.slaves, (*e)->sourceid);
        if (!s || s->reading != Reading::kStep || s->agreed < kTrustAfter) return false;
        Master origin;
        origin.known = true;
        const Readings r = Read(t, *s, origin, **e);  // the step alone
        if (!AwayFromEdges(t, at)) return false;
        at[0] -= r.step[0];
        at[1] -= r.step[1];
    }
    return AwayFromEdges(t, at);
}

}  // namespace

void LearnPointerDevices(const XIDeviceInfo* devices, int count, PointerTracks& tracks) {
    std::vector<Slave> slaves;
    std::vector<Master> masters;
    for (int i = 0; i < count; ++i) {
        const XIDeviceInfo& d = devices[i];
        if (d.use == XIMasterPointer) masters.push_back(Master{d.deviceid});
        if (d.use != XISlavePointer) continue;
        Slave slave{d.deviceid, d.attachment};
        for (int c = 0; c < d.num_classes; ++c) {
            if (d.classes[c]->type != XIValuatorClass) continue;
            const auto* axis = reinterpret_cast<const XIValuatorClassInfo*>(d.classes[c]);
            if (axis->number < 0 || axis->number > 1) continue;
            slave.min[axis->number] = axis->min;
            slave.max[axis->number] = axis->max;
        }
        // What was learnt of a device that is still there holds.
        if (const Slave* known = FindById(tracks.slaves, slave.id)) {
            slave.reading = known->reading;
            slave.agreed = known->agreed;
        }
        slaves.push_back(slave);
    }
    tracks.slaves = std::move(slaves);
    tracks.masters = std::move(masters);
}

void ForgetPointerPositions(PointerTracks& tracks) {
    for (Master& master : tracks.masters) master.known = false;
}

bool TrackedPosition(PointerTracks& tracks, const XIRawEvent& raw, int64_t nowNs, double& x,
                     double& y) {
    Slave* s = nullptr;
    Master* m = TrustedTrack(tracks, raw, nowNs, s);
    if (!m) return false;
    const Readings r = Read(tracks, *s, *m, raw);
    const bool step = s->reading == Reading::kStep;
    const double* p = step ? r.step : r.place;
    // At an edge the server stops the pointer, at a monitor's edge too: it is asked then.
    if (!(step ? r.stepKnown : r.placeKnown) || !Inside(tracks, p)) return false;
    m->x = p[0];
    m->y = p[1];
    m->lastMotionNs = nowNs;
    x = std::floor(p[0]);
    y = std::floor(p[1]);
    return true;
}

bool TrackedClickPosition(PointerTracks& tracks, const XIRawEvent& raw, int64_t nowNs, double& x,
                          double& y) {
    Slave* s = nullptr;
    const Master* m = TrustedTrack(tracks, raw, nowNs, s);
    if (!m) return false;
    x = std::floor(m->x);
    y = std::floor(m->y);
    return true;
}

void NoteAskedPosition(PointerTracks& tracks, const XIRawEvent& raw,
                       const std::vector<const XIRawEvent*>& later, int64_t nowNs, double& x,
                       double& y) {
    Slave* s = FindById(tracks.slaves, raw.sourceid);
    Master* m = s ? FindById(tracks.masters, s->master) : nullptr;
    if (!m) return;
    const std::vector<const XIRawEvent*> after = LaterOfMaster(tracks, *m, later);
    const bool motion = raw.evtype == XI_RawMotion;
    Readings first, last;
    const bool carried = motion && Carry(tracks, *s, *m, raw, after, first, last);
    // Our own move while asking may be in the answer; the next move asks again.
    m->known = !std::isnan(x) && !std::isnan(y) &&
               (tracks.ownMovesInStream || g_OwnPointerMoves.load() == tracks.ownMovesSeen);
    if (!m->known) return;
    const double answer[2] = {x, y};
    double at[2] = {x, y};
    if (carried && Learn(tracks, *s, last, x, y) && last.stepKnown && Inside(tracks, first.step)) {
        std::copy(first.step, first.step + 2, at);  // with the fractions the server keeps too
    } else if (!after.empty() && carried && last.placeKnown &&
               SamePixel(tracks, last.place, x, y)) {
        std::copy(first.place, first.place + 2, at);
    } else if (!after.empty() && !StepBack(tracks, after, answer, at)) {
        // The server had moved on and nothing read tells from where: the event keeps the answer,
        // the nearest thing known, and the next move asks again.
        m->known = false;
        return;
    }
    m->x = at[0];
    m->y = at[1];
    m->lastMotionNs = nowNs;
    x = std::floor(at[0]);
    y = std::floor(at[1]);
}
