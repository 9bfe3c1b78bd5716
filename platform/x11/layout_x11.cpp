// Layout characters from xkbcommon, refreshed on XKB keymap and group changes. All xkbcommon
// and Xlib work for the layout happens on the layout thread; other threads read the cache.
#include "platform/keys.h"
#include "platform/shell.h"
#include "platform/x11/connection_x11.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <atomic>
#include <mutex>
#include <thread>

namespace {

struct LayoutWatch {
    Display* display = nullptr;
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    int32_t deviceId = -1;
    int xkbEventBase = 0;
};

LayoutWatch g_Watch;
std::atomic<std::thread::id> g_LayoutThread{};
std::mutex g_LayoutMutex;
std::array<std::string, kKeyCodeCount> g_LayoutCache;

bool OnLayoutThread() { return std::this_thread::get_id() == g_LayoutThread.load(); }

void DropKeymap() {
    if (g_Watch.state) xkb_state_unref(g_Watch.state);
    if (g_Watch.keymap) xkb_keymap_unref(g_Watch.keymap);
    g_Watch.state = nullptr;
    g_Watch.keymap = nullptr;
}

bool LoadKeymap() {
    xcb_connection_t* connection = XGetXCBConnection(g_Watch.display);
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(
        g_Watch.context, connection, g_Watch.deviceId, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return false;
    xkb_state* state = xkb_x11_state_new_from_device(keymap, connection, g_Watch.deviceId);
    if (!state) {
        xkb_keymap_unref(keymap);
        return false;
    }
    DropKeymap();
    g_Watch.keymap = keymap;
    g_Watch.state = state;
    return true;
}

std::string UpperCharOfKey(int keyCode) {
    if (!g_Watch.state || keyCode < 8 || keyCode >= kKeyCodeCount) return "";
    const xkb_keycode_t code = static_cast<xkb_keycode_t>(keyCode);
    const xkb_layout_index_t layout = xkb_state_key_get_layout(g_Watch.state, code);
    if (layout == XKB_LAYOUT_INVALID) return "";
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(g_Watch.keymap, code, layout, 0, &syms);
    if (count < 1) return "";
    char text[32] = {};
    const int written = xkb_keysym_to_utf8(xkb_keysym_to_upper(syms[0]), text, sizeof text);
    if (written <= 1) return "";  // no character (dead keys, function keys) or conversion failed
    return std::string(text);
}

void CloseWatch() {
    DropKeymap();
    if (g_Watch.context) xkb_context_unref(g_Watch.context);
    // A broken connection is left alone: Xlib must not be asked to talk on it again.
    if (g_Watch.display && !OsDisplayLost()) XCloseDisplay(g_Watch.display);
    g_Watch = LayoutWatch{};
}

}  // namespace

std::string LayoutCharForKeyLive(int keyCode) {
    std::string text = UpperCharOfKey(keyCode);
    return IsCleanLayoutChar(text) ? text : std::string();
}

std::string LayoutCharForKey(int keyCode) {
    if (OnLayoutThread()) return LayoutCharForKeyLive(keyCode);
    if (keyCode < 0 || keyCode >= kKeyCodeCount) return "";
    std::lock_guard<std::mutex> lock(g_LayoutMutex);
    return g_LayoutCache[keyCode];
}

void RefreshLayoutCache() {
    std::array<std::string, kKeyCodeCount> fresh;
    for (int keyCode = 0; keyCode < kKeyCodeCount; ++keyCode) {
        fresh[keyCode] = LayoutCharForKeyLive(keyCode);
    }
    std::lock_guard<std::mutex> lock(g_LayoutMutex);
    g_LayoutCache.swap(fresh);
}

bool OsKeysWatchLayout() {
    if (g_Watch.display) return true;
    int major = XkbMajorVersion, minor = XkbMinorVersion, error = 0, reason = 0;
    Display* display =
        XkbOpenDisplay(nullptr, &g_Watch.xkbEventBase, &error, &major, &minor, &reason);
    if (!display) return false;
    WatchConnection(display);
    g_Watch.display = display;
    g_Watch.context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    g_Watch.deviceId =
        g_Watch.context ? xkb_x11_get_core_keyboard_device_id(XGetXCBConnection(display)) : -1;
    if (g_Watch.deviceId < 0 || !LoadKeymap()) {
        CloseWatch();
        return false;
    }
    XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                    XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask,
                          XkbGroupStateMask);
    XFlush(display);
    g_LayoutThread.store(std::this_thread::get_id());
    RefreshLayoutCache();
    return true;
}

int OsLayoutWatchFd() { return g_Watch.display ? ConnectionNumber(g_Watch.display) : -1; }

void OsLayoutWatchDispatch() {
    if (!g_Watch.display || OsDisplayLost()) return;
    bool keymapChanged = false;
    bool groupChanged = false;
    while (!OsDisplayLost() && XPending(g_Watch.display) > 0) {
        XEvent event;
        XNextEvent(g_Watch.display, &event);
        if (event.type != g_Watch.xkbEventBase) continue;
        const auto* xkbEvent = reinterpret_cast<const XkbAnyEvent*>(&event);
        if (xkbEvent->xkb_type == XkbStateNotify) {
            const auto* stateEvent = reinterpret_cast<const XkbStateNotifyEvent*>(&event);
            if (g_Watch.state) {
                xkb_state_update_mask(g_Watch.state, stateEvent->base_mods,
                                      stateEvent->latched_mods, stateEvent->locked_mods,
                                      stateEvent->base_group, stateEvent->latched_group,
                                      stateEvent->locked_group);
            }
            groupChanged = true;
        } else {
            keymapChanged = true;
        }
    }
    if (OsDisplayLost()) return;
    if (keymapChanged) LoadKeymap();
    if (keymapChanged || groupChanged) RefreshLayoutCache();
}

void OsKeysStopWatchingLayout() {
    if (OnLayoutThread()) g_LayoutThread.store(std::thread::id{});
    CloseWatch();
}
