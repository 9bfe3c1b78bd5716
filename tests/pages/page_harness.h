#pragma once

// The real program in a bundle of the test's own, with our pages plus a probe script appended.
// The probe reports what the page sees through markWarningSeen, which the program saves at once
// in appsettings.txt; the test drives it by holding F12 while typing a step's name.

#include "tests/support/program.h"

#include <X11/Xlib.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

struct PhysicalInput;

// A page as the build placed it beside the program (share/quillon/...).
std::string BuiltPage(const std::string& relative);
// A page's text with the probe inserted before its own scripts and `extra` script after it.
std::string WithProbe(const std::string& page, const std::string& extra = "");
// The rows of a table file beside the tests, its fields separated by |; blank lines and lines
// starting with # are left out, and every row has `fields` fields (missing ones are empty).
std::vector<std::vector<std::string>> TableRows(const std::string& file, size_t fields);

class PageSession {
public:
    explicit PageSession(const std::string& name);
    ~PageSession();

    // Starts the program from a bundle with these pages; false (and a failure) when no window
    // came.
    bool Open(const std::string& mainPage, const std::string& bootPage);
    // Closes the window as its close button does; the page logged no errors, the program exited 0.
    void Finish();

    // The ids the page has reported that start with the prefix.
    std::vector<std::string> Reports(const std::string& prefix) const;
    bool WaitReport(const std::string& id) const;

    // Runs a named probe step and returns its note; element centres the probe saw afterwards
    // are the places Click() finds.
    std::string Step(const std::string& name);
    // Repeats a step until its note reads as expected, a failure when it never does.
    bool StepUntil(const std::string& name, const std::string& note);
    bool Has(const std::string& place) const { return places_.count(place) > 0; }
    std::pair<int, int> Place(const std::string& place) const;

    // Real input to the window: a click at a place, after running `step` when one is given.
    void Click(const std::string& place, const std::string& step = "");
    void MoveTo(int x, int y);  // window coordinates
    void Tap(int keyCode);
    // Lower-case letters, digits and spaces; `over` first selects what the field holds.
    void Type(const std::string& text, bool over = false);
    void Focus();  // makes the window the active one

    // One member of the status file the page's poll writes, as raw JSON text.
    std::string StatusMember(const std::string& name) const;
    bool WaitStatus(const std::string& name, const std::string& value) const;

    std::string DataFile(const char* name) const { return ProgramDataDir(env) + "/" + name; }
    // A PNG of the window's contents in test-artifacts, for people to look at.
    void Screenshot(const std::string& name);

    Window window = None;
    PhysicalInput* input = nullptr;
    ProgramEnv env;
    std::string dir;

private:
    pid_t pid_ = -1;
    int steps_ = 0;
    std::map<std::string, std::pair<int, int>> places_;
};

// The X keycodes of a PC keyboard the tests press.
namespace keys {
constexpr int kTab = 23, kReturn = 36, kControl = 37, kA = 38, kF6 = 72, kF8 = 74, kF12 = 96;
}
