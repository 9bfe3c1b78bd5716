#include "bridge/bindings.h"

#include "bridge/pages.h"
#include "engine/keyspammer.h"
#include "platform/tap.h"
#include "platform/window.h"
#include "platform/window_shell.h"
#include "state/humanize.h"
#include "state/tool_state.h"
#include "state/window_state.h"
#include "store/app_settings.h"
#include "store/codecs.h"
#include "store/humanize_settings.h"
#include "store/numbers.h"
#include "store/profiles.h"
#include "store/settings_json.h"
#include "store/status.h"
#include "store/status_writer.h"
#include "update/install_flow.h"

#include <thread>
#include <vector>

namespace {

constexpr const char* kDocsUrl = "https://quillon.app/docs.html";
constexpr const char* kCommunityUrl = "https://quillon.app/community";

std::string Flat(const std::string& request) { return ParseJSString(request); }

bool ReadInt(const std::string& text, int& out) {
    int32_t value = 0;
    if (!ParseInt32(text, value)) return false;
    out = value;
    return true;
}

// A row that hands the flattened text to the state's owner.
template <void (*apply)(const std::string&)>
std::string ApplyRow(const std::string& request) {
    apply(Flat(request));
    return {};
}

// A row that only raises a request.
template <std::atomic<bool>& trigger>
std::string RaiseRow(const std::string&) {
    RaiseRequest(trigger);
    return {};
}

// ---- rows that only raise a request or hand the text to the state's owner ----

// "area" arms the dragging out of the humanize rectangle; anything else the fixed point.
std::string PickLocation(const std::string& request) {
    if (Flat(request) == "area") {
        humanizeAreaPick.exchange(1);
    } else {
        isPickingLocation.exchange(true);
    }
    // The tap takes the pointer before the next event.
    OsTapRefreshGrabs();
    return {};
}
std::string GetAppSettings(const std::string&) {
    g_MainPageReady.exchange(true);
    return BindGetAppSettings();
}
std::string MarkWarningSeen(const std::string& request) {
    BindMarkWarningSeen(request);
    return {};
}
std::string SetAppSetting(const std::string& request) {
    BindSetAppSetting(request);
    // Switching the hotkeys or the lock changes what the tap must hold.
    OsTapRefreshGrabs();
    return {};
}
std::string SetPanelOrder(const std::string& request) {
    BindSetPanelOrder(request);
    return {};
}
std::string ResetHotkeys(const std::string&) {
    BindResetHotkeys();
    OsTapRefreshGrabs();
    return {};
}
std::string ClearProfile(const std::string&) {
    BindClearProfile();
    return {};
}
std::string AddProfile(const std::string& request) {
    BindAddProfile(request);
    return {};
}
std::string DeleteProfile(const std::string&) {
    BindDeleteProfile();
    return {};
}
std::string SwitchProfile(const std::string& request) {
    BindSwitchProfile(request);
    return {};
}
std::string GetProfiles(const std::string&) { return BindGetProfiles(); }
std::string GetSettings(const std::string&) { return BuildSettingsJson(); }
std::string ReassignKey(const std::string& request) {
    BindReassignKey(request);
    // A pending reassignment takes the whole keyboard until its key comes.
    OsTapRefreshGrabs();
    return {};
}
std::string ShowAlert(const std::string& request) {
    // The page gets its answer before the modal alert runs.
    const std::string message = Flat(request);
    if (g_MasterWindow) OsWindowDispatch(g_MasterWindow, [message] { OsShowAlert(message); });
    return {};
}
std::string OpenSoftwareUpdate(const std::string&) {
    OsOpenSoftwareUpdate();
    return {};
}
std::string Continue(const std::string&) {
    if (!InputReady() || !g_MasterWindow) return {};
    OsWindow* window = g_MasterWindow;
    OsWindowDispatch(window, [window] {
        LoadMainUi(window);
        OsBringToFront(window);
    });
    return {};
}

void CompleteCall(OsWindow* window, const std::string& callId, const std::string& message) {
    OsWindowReturn(window, callId, true, JsonEscapeForBind(message));
}

}  // namespace

bool ReadTwoInts(const std::string& flat, int& first, int& second) {
    const std::vector<std::string> fields = SplitString(flat, ',');
    return fields.size() >= 2 && ReadInt(fields[0], first) && ReadInt(fields[1], second);
}

std::string BindResizeWindow(const std::string& request) {
    int width = 0;
    int height = 0;
    if (ReadTwoInts(Flat(request), width, height)) {
        OsResizeWindowClamped(g_MasterWindow, width, height);
    }
    return {};
}

// The page names the target by its place in the list, the order the status reports them in.
std::string BindRemoveKeySpamTarget(const std::string& request) {
    int index = 0;
    if (ReadInt(Flat(request), index)) RemoveKeySpamTarget(index);
    return {};
}

std::string BindSetKeySpamChordMode(const std::string& request) {
    keySpamChordMode.exchange(Flat(request) == "1");
    SnapshotActiveProfileSettings();
    return {};
}

std::string BindOpenLink(const std::string& request) {
    const std::string name = Flat(request);
    if (name == "docs") OsOpenUrl(kDocsUrl);
    if (name == "discord") OsOpenUrl(kCommunityUrl);
    return {};
}

// No panel runs in a window of its own, so no panel window is ever found closed.
std::string BindGetTrackerStatus(const std::string&) {
    std::string status;
    {
        std::lock_guard<std::mutex> lock(profileMutex);
        status = BuildTrackerStatusJson("[]");
    }
    QueueTrackerStatusWrite(status);
    return status;
}

std::string BindPermissionStatus(const std::string&) {
    const bool accessibility = OsAccessibilityTrusted();
    const bool ready = InputReady();
    const bool input = ready || OsListenEventAllowed();
    const auto word = [](bool on) { return on ? std::string("true") : std::string("false"); };
    return "{\"accessibility\":" + word(accessibility) + ",\"input\":" + word(input) +
           ",\"ready\":" + word(ready) + "}";
}

std::string BindRequestPermission(const std::string& request) {
    const std::string name = Flat(request);
    if (name == "accessibility") {
        OsPromptAccessibility();
        OsOpenPrivacyPane("accessibility");
    } else if (name == "input") {
        OsRequestListenEvent();
        OsOpenPrivacyPane("input");
    }
    return {};
}

void BindStartUpdate(OsWindow* window, const std::string& callId, const std::string&) {
    if (updateInstallRunning.exchange(true)) {
        CompleteCall(window, callId, "An update is already in progress.");
        return;
    }
    std::thread([window, callId] {
        RunUpdateInstallFlow([window, callId](const std::string& message) {
            CompleteCall(window, callId, message);
        });
    }).detach();
}

const BindingRow kBindings[] = {
    {"resizeWindow", BindResizeWindow, nullptr},
    {"updateSpammer", ApplyRow<ApplySpammerUpdate>, nullptr},
    {"startSpammer", RaiseRow<triggerAutoClickStart>, nullptr},
    {"stopSpammer", RaiseRow<triggerAutoClickStop>, nullptr},
    {"updateKeySpam", ApplyRow<ApplyKeySpamUpdate>, nullptr},
    {"startKeySpam", RaiseRow<triggerKeySpamStart>, nullptr},
    {"stopKeySpam", RaiseRow<triggerKeySpamStop>, nullptr},
    {"removeKeySpamTarget", BindRemoveKeySpamTarget, nullptr},
    {"setKeySpamChordMode", BindSetKeySpamChordMode, nullptr},
    {"pickLocation", PickLocation, nullptr},
    {"getAppSettings", GetAppSettings, nullptr},
    {"markWarningSeen", MarkWarningSeen, nullptr},
    {"setAppSetting", SetAppSetting, nullptr},
    {"setPanelOrder", SetPanelOrder, nullptr},
    {"resetHotkeys", ResetHotkeys, nullptr},
    {"openLink", BindOpenLink, nullptr},
    {"getTrackerStatus", BindGetTrackerStatus, nullptr},
    {"clearProfile", ClearProfile, nullptr},
    {"addProfile", AddProfile, nullptr},
    {"deleteProfile", DeleteProfile, nullptr},
    {"switchProfile", SwitchProfile, nullptr},
    {"getProfiles", GetProfiles, nullptr},
    {"getSettings", GetSettings, nullptr},
    {"startUpdate", nullptr, BindStartUpdate},
    {"reassignKey", ReassignKey, nullptr},
    {"qlnMacPermissionStatus", BindPermissionStatus, nullptr},
    {"qlnMacRequestPermission", BindRequestPermission, nullptr},
    {"qlnMacAlert", ShowAlert, nullptr},
    {"qlnMacOpenSoftwareUpdate", OpenSoftwareUpdate, nullptr},
    {"qlnMacContinue", Continue, nullptr},
    {"startRecording", RaiseRow<triggerRecordStart>, nullptr},
    {"stopRecording", RaiseRow<triggerRecordStop>, nullptr},
    {"continueRecording", RaiseRow<triggerRecordContinue>, nullptr},
    {"undoContinue", RaiseRow<triggerUndoContinue>, nullptr},
    {"startPlayback", RaiseRow<triggerPlayStart>, nullptr},
    {"stopPlayback", RaiseRow<triggerPlayStop>, nullptr},
    {"updateRecorder", ApplyRow<ApplyRecorderUpdate>, nullptr},
    {"setHoldModes", ApplyRow<ApplyHoldModes>, nullptr},
    {"getHumanize", BindGetHumanize, nullptr},
    {"setHumanize", ApplyRow<BindSetHumanize>, nullptr},
};
const size_t kBindingCount = sizeof kBindings / sizeof kBindings[0];

bool RegisterBindings(OsWindow* window) {
    bool all = true;
    for (const BindingRow& row : kBindings) {
        all &= OsWindowBind(window, row.name,
                            [window, row](const std::string& callId, const std::string& request) {
                                if (row.deferred) {
                                    row.deferred(window, callId, request);
                                } else {
                                    OsWindowReturn(window, callId, true, row.handler(request));
                                }
                            });
    }
    return all;
}
