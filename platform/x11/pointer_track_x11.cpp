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

template <typename Item>
Item* FindById(std::vector<Item>& items, int id) {
    for (Item& item : items) {
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
    if (ownMoves != tracks.ownMovesSeen) {
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

void NoteAskedPosition(PointerTracks& tracks, const XIRawEvent& raw, int64_t nowNs, bool current,
                       double x, double y) {
    Slave* s = FindById(tracks.slaves, raw.sourceid);
    Master* m = s ? FindById(tracks.masters, s->master) : nullptr;
    if (!m) return;
    const bool motion = raw.evtype == XI_RawMotion;
    const Readings r = motion ? Read(tracks, *s, *m, raw) : Readings{};
    // An answer is this event's own position only when nothing came between the two.
    m->known = !std::isnan(x) && !std::isnan(y) && current;
    if (!m->known) return;
    m->x = x;
    m->y = y;
    m->lastMotionNs = nowNs;
    if (motion && Learn(tracks, *s, r, x, y) && Inside(tracks, r.step)) {
        m->x = r.step[0];  // the fractions the server keeps too
        m->y = r.step[1];
    }
}
