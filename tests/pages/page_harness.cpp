#include <gtest/gtest.h>

#include "tests/pages/page_harness.h"

#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/wait.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr const char* kShotDir = QLN_SHOT_DIR;

int KeyCodeOf(char c) {
    static const std::string kRows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const int kFirst[] = {10, 24, 38, 52};
    for (int row = 0; row < 4; ++row) {
        const size_t at = kRows[row].find(c);
        if (at != std::string::npos) return kFirst[row] + int(at);
    }
    return c == ' ' ? 65 : -1;
}

// The window's pixels as packed RGB rows; empty when the window cannot be read. Xvfb runs at
// depth 24: each pixel is 0xRRGGBB.
std::string CaptureRows(Window window, int& width, int& height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return {};
    std::string rows;
    XWindowAttributes attributes;
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable &&
        (image = XGetImage(display, window, 0, 0, unsigned(attributes.width),
                           unsigned(attributes.height), AllPlanes, ZPixmap))) {
        width = attributes.width;
        height = attributes.height;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                for (int shift : {16, 8, 0}) rows.push_back(char((pixel >> shift) & 0xFF));
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return rows;
}

}  // namespace

std::string BuiltPage(const std::string& relative) {
    return Slurp((fs::path(QUILLON_BINARY).parent_path().parent_path() / "share/quillon" / relative)
                     .string());
}

std::string WithProbe(const std::string& page, const std::string& extra) {
    const std::string probe =
        "<script>\n" + Slurp(QLN_PAGES_TEST_DIR "/probe.js") + "\n" + extra + "\n</script>";
    const size_t head = page.find("<head>");
    if (head == std::string::npos) return probe + page;
    return page.substr(0, head + 6) + probe + page.substr(head + 6);
}

PageSession::PageSession(const std::string& name)
    : dir((fs::temp_directory_path() / ("qln-pages-" + std::to_string(getpid()) + "-" + name))
              .string()) {
    fs::remove_all(dir);
    fs::create_directories(fs::path(dir) / "data" / "Quillon");
    env = {dir, {{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}};
    fs::create_directories(kShotDir);
}

PageSession::~PageSession() {
    if (pid_ > 0) Quit();
    ClosePhysicalInput(input);
    fs::remove_all(dir);
}

std::string PageSession::MakeBundle(const std::string& mainPage, const std::string& bootPage) {
    return MakeTestBundle(QUILLON_BINARY, dir, mainPage, bootPage);
}

pid_t PageSession::Start(const std::string& binary) {
    pid_ = SpawnProgram(binary, {}, env);
    WaitUntil([&] { return (window = FindWindowOfPid(pid_)) != None; }, 30000, 50);
    if (!input) input = OpenPhysicalInput();
    return pid_;
}

// As the window manager's close button does.
int PageSession::Quit() {
    SendDeleteWindow(window);
    const int status = WaitProgramExit(pid_);
    pid_ = -1;
    return status;
}

std::string PageSession::ErrTail() const {
    const std::string err = Slurp(dir + "/err.txt");
    return err.size() > 4000 ? err.substr(err.size() - 4000) : err;
}

std::string PageSession::DataFile(const char* name) const {
    return ProgramDataDir(env) + "/" + name;
}

std::set<std::string> PageSession::Reports() const { return PageReports(env); }

bool PageSession::WaitReport(const std::string& id, int timeoutMs) const {
    return WaitUntil([&] { return Reports().count(id) > 0; }, timeoutMs, 50);
}

std::vector<std::string> PageSession::ReportsStarting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& id : Reports()) {
        if (id.rfind(prefix, 0) == 0) found.push_back(id);
    }
    return found;
}

std::string PageSession::Step(const std::string& name) {
    Focus();
    const std::string prefix = "done-" + std::to_string(steps_++) + " " + name + "|";
    PhysicalKey(input, keys::kF12, true);
    for (const char c : name) PhysicalTap(input, KeyCodeOf(c));
    PhysicalKey(input, keys::kF12, false);
    std::vector<std::string> done;
    if (!WaitUntil([&] { return !(done = ReportsStarting(prefix)).empty(); }, 30000, 50)) {
        ADD_FAILURE_AT(__FILE__, __LINE__) << "probe step " << name << " never finished";
        return {};
    }
    const std::string rest = done.front().substr(prefix.size());
    const size_t bar = rest.find('|');
    places_.clear();
    std::istringstream list(rest.substr(bar + 1));
    for (std::string place; std::getline(list, place, ';');) {
        std::istringstream fields(place);
        std::string key, x, y;
        if (std::getline(fields, key, ':') && std::getline(fields, x, ':') &&
            std::getline(fields, y, ':')) {
            places_[key] = {std::stoi(x), std::stoi(y)};
        }
    }
    return rest.substr(0, bar);
}

void PageSession::MoveTo(int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    int rootX = 0, rootY = 0;
    Window child = None;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                          &child);
    XCloseDisplay(display);
    PhysicalMoveTo(input, rootX, rootY);
}

void PageSession::ClickAt(int x, int y, int button) {
    MoveTo(x, y);
    PhysicalClick(input, button);
}

void PageSession::Click(const std::string& place, int button) {
    const auto found = places_.find(place);
    if (found == places_.end()) {
        ADD_FAILURE_AT(__FILE__, __LINE__) << "no place named " << place << " on the page";
        return;
    }
    ClickAt(found->second.first, found->second.second, button);
}

void PageSession::Tap(int keyCode) { PhysicalTap(input, keyCode); }

void PageSession::Type(const std::string& text) {
    for (const char c : text) PhysicalTap(input, KeyCodeOf(c));
}

// Active for the window manager and holding the X input focus: a window of another program
// may have taken it without the manager's knowledge.
void PageSession::Focus() {
    const auto ours = [&] {
        Display* display = XOpenDisplay(nullptr);
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        XCloseDisplay(display);
        const unsigned long client = ~0x1FFFFFul;  // the resource base of the client
        return ActiveWindow() == window && (focus & client) == (window & client);
    };
    if (ours()) return;
    ActivateWindow(window);
    if (WaitUntil(ours, 3000, 20)) return;
    ClickAt(60, 22);  // the title in the page's top bar
    WaitUntil(ours, 10000, 20);
}

std::string PageSession::StatusText() const { return Slurp(DataFile("status.txt")); }

// One member's JSON text, uninterpreted: a string, a list of strings, or a bare value.
std::string PageSession::StatusMember(const std::string& name) const {
    std::smatch found;
    const std::string text = StatusText();
    const std::regex member("\"" + name + R"(":(\[[^\]]*\]|"(\\.|[^"\\])*"|[^,}]*))");
    return std::regex_search(text, found, member) ? found[1].str() : "";
}

bool PageSession::WaitStatus(const std::string& name, const std::string& value,
                             int timeoutMs) const {
    return WaitUntil([&] { return StatusMember(name) == value; }, timeoutMs, 20);
}

std::pair<int, int> PageSession::WindowSize() const {
    Display* display = XOpenDisplay(nullptr);
    XWindowAttributes attributes = {};
    XGetWindowAttributes(display, window, &attributes);
    XCloseDisplay(display);
    return {attributes.width, attributes.height};
}

// One colour all over is a window the page has not painted yet.
bool PageSession::Screenshot(const std::string& name) {
    int width = 0, height = 0;
    std::string previous, rows;
    const bool settled = WaitUntil(
        [&] {
            previous = std::move(rows);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            rows = CaptureRows(window, width, height);
            const bool painted = rows.find_first_not_of(rows.substr(0, 3)) != std::string::npos;
            return painted && rows == previous;
        },
        20000, 0);
    if (!rows.empty()) {
        GdkPixbuf* image = gdk_pixbuf_new_from_data(reinterpret_cast<const guchar*>(rows.data()),
                                                    GDK_COLORSPACE_RGB, false, 8, width, height,
                                                    width * 3, nullptr, nullptr);
        gdk_pixbuf_save(image, (fs::path(kShotDir) / (name + ".png")).c_str(), "png", nullptr,
                        nullptr);
        g_object_unref(image);
    }
    return settled;
}
