#include <gtest/gtest.h>

#include "tests/pages/page_harness.h"

#include "tests/support/desktop.h"
#include "tests/support/files.h"
#include "tests/support/physical_input.h"
#include "tests/support/wait.h"

#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <filesystem>
#include <regex>
#include <thread>

namespace fs = std::filesystem;

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

std::vector<std::vector<std::string>> TableRows(const std::string& file, size_t fields) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : Split(Slurp(QLN_PAGES_TEST_DIR "/" + file), "\n")) {
        if (line.empty() || line[0] == '#') continue;
        rows.push_back(Split(line));
        EXPECT_LE(rows.back().size(), fields) << line;
        rows.back().resize(fields);
    }
    EXPECT_FALSE(rows.empty()) << file;
    return rows;
}

PageSession::PageSession(const std::string& name)
    : dir((fs::temp_directory_path() / ("qln-pages-" + std::to_string(getpid()) + "-" + name))
              .string()) {
    fs::remove_all(dir);
    fs::create_directories(fs::path(dir) / "data" / "Quillon");
    fs::create_directories(QLN_SHOT_DIR);
    env = {dir, {{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}};
}

PageSession::~PageSession() {
    if (pid_ > 0) {
        SendDeleteWindow(window);
        WaitProgramExit(pid_);
    }
    ClosePhysicalInput(input);
    fs::remove_all(dir);
}

bool PageSession::Open(const std::string& mainPage, const std::string& bootPage) {
    pid_ = SpawnProgram(MakeTestBundle(QUILLON_BINARY, dir, mainPage, bootPage), {}, env);
    WaitUntil([&] { return (window = FindWindowOfPid(pid_)) != None; }, 30000, 50);
    if (!input) input = OpenPhysicalInput();
    if (window == None) ADD_FAILURE() << "no window: " << Slurp(dir + "/err.txt");
    return window != None;
}

void PageSession::Finish() {
    for (const std::string& error : Reports("console-error")) ADD_FAILURE() << error;
    SendDeleteWindow(window);
    const int status = WaitProgramExit(pid_);
    pid_ = -1;
    const std::string err = Slurp(dir + "/err.txt");
    EXPECT_EQ(status, 0) << err.substr(err.size() > 4000 ? err.size() - 4000 : 0);
}

std::vector<std::string> PageSession::Reports(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& id : PageReports(env)) {
        if (id.rfind(prefix, 0) == 0) found.push_back(id);
    }
    return found;
}

bool PageSession::WaitReport(const std::string& id) const {
    return WaitUntil([&] { return PageReports(env).count(id) > 0; }, 30000, 50);
}

std::string PageSession::Step(const std::string& name) {
    Focus();
    const std::string prefix = "done-" + std::to_string(steps_++) + " " + name + "|";
    PhysicalKey(input, keys::kF12, true);
    Type(name);
    PhysicalKey(input, keys::kF12, false);
    std::vector<std::string> done;
    if (!WaitUntil([&] { return !(done = Reports(prefix)).empty(); }, 30000, 50)) {
        ADD_FAILURE() << "probe step " << name << " never finished";
        return {};
    }
    const std::vector<std::string> noteAndPlaces = Split(done.front().substr(prefix.size()));
    places_.clear();
    for (const std::string& place : Split(noteAndPlaces.back(), ";")) {
        const std::vector<std::string> at = Split(place, ":");
        if (at.size() == 3) places_[at[0]] = {std::stoi(at[1]), std::stoi(at[2])};
    }
    return noteAndPlaces.front();
}

bool PageSession::StepUntil(const std::string& name, const std::string& note) {
    std::string last;
    const bool ok = WaitUntil([&] { return (last = Step(name)) == note; }, 20000, 100);
    if (!ok) ADD_FAILURE() << name << ": " << last << " instead of " << note;
    return ok;
}

std::pair<int, int> PageSession::Place(const std::string& place) const {
    const auto found = places_.find(place);
    if (found != places_.end()) return found->second;
    ADD_FAILURE() << "no place named " << place << " on the page";
    return {-1, -1};
}

void PageSession::MoveTo(int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    Window child = None;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &x, &y, &child);
    XCloseDisplay(display);
    PhysicalMoveTo(input, x, y);
}

void PageSession::Click(const std::string& place, const std::string& step) {
    if (!step.empty()) Step(step);
    const auto [x, y] = Place(place);
    if (x < 0) return;
    MoveTo(x, y);
    PhysicalClick(input, 1);
}

void PageSession::Tap(int keyCode) { PhysicalTap(input, keyCode); }

void PageSession::Type(const std::string& text, bool over) {
    if (over) {
        PhysicalKey(input, keys::kControl, true);
        Tap(keys::kA);
        PhysicalKey(input, keys::kControl, false);
    }
    Display* display = XOpenDisplay(nullptr);
    for (const char c : text) Tap(XKeysymToKeycode(display, KeySym(c)));  // Latin-1 keysyms
    XCloseDisplay(display);
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
    MoveTo(60, 22);  // the title in the page's top bar
    PhysicalClick(input, 1);
    WaitUntil(ours, 10000, 20);
}

// A string, a list of strings, or a bare value.
std::string PageSession::StatusMember(const std::string& name) const {
    std::smatch found;
    const std::string text = Slurp(DataFile("status.txt"));
    const std::regex member("\"" + name + R"(":(\[[^\]]*\]|"(\\.|[^"\\])*"|[^,}]*))");
    return std::regex_search(text, found, member) ? found[1].str() : "";
}

bool PageSession::WaitStatus(const std::string& name, const std::string& value) const {
    return WaitUntil([&] { return StatusMember(name) == value; }, 20000, 20);
}

// The window as the X server holds it, written by cairo.
void PageSession::Screenshot(const std::string& name) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last input painted
    Display* display = XOpenDisplay(nullptr);
    XWindowAttributes at{};
    XGetWindowAttributes(display, window, &at);
    cairo_surface_t* shot =
        cairo_xlib_surface_create(display, window, at.visual, at.width, at.height);
    cairo_surface_write_to_png(shot, (fs::path(QLN_SHOT_DIR) / (name + ".png")).c_str());
    cairo_surface_destroy(shot);
    XCloseDisplay(display);
}
