#include "bridge/pages.h"

#include "platform/files.h"
#include "platform/shell.h"
#include "platform/tap.h"
#include "platform/window.h"
#include "platform/window_shell.h"
#include "state/window_state.h"
#include "store/codecs.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* kBootModeMarker = "__QLN_BOOT_MODE__";
constexpr const char* kSettingsAppName = "System Settings";
constexpr const char* kSortableName = "vendor/Sortable.min.js";
constexpr size_t kInlinedPageLimit = 2097152;
constexpr const char* kMissingBootPage =
    "<h2>Error loading UI</h2><p>mac-ui/boot.html is missing from the app bundle.</p>";
constexpr const char* kMissingMainPage =
    "<h2>Error loading UI</h2><p>ui/index.html is missing from the app bundle.</p>";
constexpr const char* kGrantLinePrefix = "accessibilityGranted=";

std::string SortableTag() { return std::string("<script src=\"") + kSortableName + "\"></script>"; }

std::string PermissionRecordPath() { return OsDataDir() + "/macpermissions.txt"; }

// Appends one line; the record only ever grows.
void RecordGrant(const std::string& bundleId) {
    const int fd =
        open(PermissionRecordPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const std::string line = kGrantLinePrefix + bundleId + "\n";
    [[maybe_unused]] const ssize_t written = write(fd, line.data(), line.size());
    close(fd);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

}  // namespace

const char* const kStartupScript = R"JS((function () {
  document.addEventListener("contextmenu", function (event) { event.preventDefault(); });
  window.alert = function (message) {
    if (window.qlnMacAlert) window.qlnMacAlert(String(message));
  };
  document.addEventListener("DOMContentLoaded", function () {
    var style = document.createElement("style");
    style.textContent =
      "@font-face{font-family:'Segoe UI';font-weight:100 500;" +
      "src:local('HelveticaNeue'), local('Helvetica Neue');}" +
      "@font-face{font-family:'Segoe UI';font-weight:600 900;" +
      "src:local('HelveticaNeue-Bold'), local('Helvetica Neue Bold');}";
    document.head.appendChild(style);
    var box = document.getElementById("opt-launch-startup");
    var label = box && box.closest("label");
    if (!label) return;
    for (var node = label.lastChild; node; node = node.previousSibling) {
      if (node.nodeType === Node.TEXT_NODE && node.textContent.indexOf("Windows") !== -1) {
        node.textContent = " Launch at login";
        break;
      }
    }
  });
})();)JS";

bool WebEngineTooOld(int major, int minor) {
    if (major <= 0) return false;
    return major < 2 || (major == 2 && minor < 40);
}

std::string FirstPageMode(bool engineTooOld, bool inputReady, bool grantedBefore) {
    if (engineTooOld) return "update";
    if (inputReady) return {};
    return grantedBefore ? "reset" : "permissions";
}

std::string PrepareBootPage(const std::string& page, const std::string& mode,
                            const std::string& settingsName) {
    const size_t marker = page.find(kBootModeMarker);
    if (marker == std::string::npos) return {};
    std::string text = page;
    text.replace(marker, std::string(kBootModeMarker).size(), mode);
    ReplaceAll(text, kSettingsAppName, settingsName);
    return text;
}

std::string InlineSortableScript(const std::string& page, const std::string& script) {
    const std::string tag = SortableTag();
    const size_t at = page.find(tag);
    if (at == std::string::npos || script.empty()) return page;
    // A closing tag inside would end the inlined script early.
    if (script.find("</script>") != std::string::npos) return page;
    if (page.size() - tag.size() + script.size() + 17 > kInlinedPageLimit) return page;
    std::string inlined = page;
    inlined.replace(at, tag.size(), "<script>" + script + "</script>");
    return inlined;
}

void LoadBootPage(OsWindow* window, const std::string& mode) {
    const std::string page = ReadFile(OsResourceDir() + "/mac-ui/boot.html");
    const std::string prepared = PrepareBootPage(page, mode, OsSettingsAppName());
    OsWindowSetHtml(window, prepared.empty() ? kMissingBootPage : prepared);
}

void LoadMainUi(OsWindow* window) {
    g_MainPageReady.exchange(false);
    const std::string uiDir = OsResourceDir() + "/ui";
    const std::string page = ReadFile(uiDir + "/index.html");
    if (page.empty()) {
        OsWindowSetHtml(window, kMissingMainPage);
        return;
    }
    if (page.find(SortableTag()) == std::string::npos) {
        OsWindowSetHtml(window, page);
        return;
    }
    OsWindowSetHtml(window, InlineSortableScript(page, ReadFile(uiDir + "/" + kSortableName)));
}

void LoadFirstPage(OsWindow* window) {
    int major = 0;
    int minor = 0;
    const bool tooOld = OsWebKitVersion(major, minor) && WebEngineTooOld(major, minor);
    // The input checks run only when the engine can show the main page at all.
    const bool ready = !tooOld && InputReady();
    const std::string mode =
        FirstPageMode(tooOld, ready, !tooOld && !ready && AccessibilityWasGrantedBefore());
    if (mode.empty()) {
        LoadMainUi(window);
    } else {
        LoadBootPage(window, mode);
    }
}

bool InputReady() {
    if (!OsAccessibilityTrusted()) return false;
    const std::string bundleId = OsBundleIdentifier();
    if (!bundleId.empty() && !AccessibilityWasGrantedBefore()) RecordGrant(bundleId);
    return OsStartInputTap();
}

bool AccessibilityWasGrantedBefore() {
    const std::string bundleId = OsBundleIdentifier();
    if (bundleId.empty()) return false;
    const std::string wanted = kGrantLinePrefix + bundleId;
    for (const std::string& line : SplitString(ReadFile(PermissionRecordPath()), '\n')) {
        if (line == wanted) return true;
    }
    return false;
}
