#pragma once

// The real program in a bundle of the test's own, with our pages plus a probe script appended.
// The probe reports what the page sees through markWarningSeen, which the program saves at once
// in appsettings.txt; the test drives it by holding F12 while typing a step's name.

#include "tests/support/program.h"

#include <X11/Xlib.h>
#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct PhysicalInput;

// A page as the build placed it beside the program (share/quillon/...).
std::string BuiltPage(const std::string& relative);
// A page's text with the probe inserted before its own scripts and `extra` script after it.
std::string WithProbe(const std::string& page, const std::string& extra = "");

class PageSession {
public:
    explicit PageSession(const std::string& name);
    ~PageSession();

    // bin/quillon, lib/, share/quillon with the given pages, and bundle.ini.
    std::string MakeBundle(const std::string& mainPage, const std::string& bootPage);
    pid_t Start(const std::string& binary);
    int Quit();                   // closes the window, then the exit status
    std::string ErrTail() const;  // the end of the program's standard error

    // Everything the page has reported so far.
    std::set<std::string> Reports() const;
    bool WaitReport(const std::string& id, int timeoutMs = 30000) const;
    // Reports that start with the prefix.
    std::vector<std::string> ReportsStarting(const std::string& prefix) const;
    // Console errors and unhandled rejections the probe caught.
    std::vector<std::string> PageErrors() const { return ReportsStarting("console-error"); }

    // Runs a named probe step and waits for it; returns its note. Element centres the probe
    // saw afterwards land in Places().
    std::string Step(const std::string& name);
    const std::map<std::string, std::pair<int, int>>& Places() const { return places_; }
    bool Has(const std::string& place) const { return places_.count(place) > 0; }

    // Real input to the window: a click at a place from the last step, keys by X keycode.
    void Click(const std::string& place, int button = 1);
    void ClickAfter(const std::string& step, const std::string& place) {
        Step(step);
        Click(place);
    }
    void ClickAt(int x, int y, int button = 1);  // window coordinates
    void MoveTo(int x, int y);
    void Tap(int keyCode);
    void Type(const std::string& text);  // lower-case letters, digits and spaces
    void Focus();                        // makes the window the active one

    // The status file the page's poll writes, and one member of it as raw JSON text.
    std::string StatusText() const;
    std::string StatusMember(const std::string& name) const;
    bool WaitStatus(const std::string& name, const std::string& value, int timeoutMs = 20000) const;

    std::string DataFile(const char* name) const;
    // A PNG of the window's contents once two captures agree; false when it never settles.
    bool Screenshot(const std::string& name);
    std::pair<int, int> WindowSize() const;

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
constexpr int kEsc = 9, kTab = 23, kReturn = 36, kControl = 37, kA = 38, kB = 56, kF4 = 70,
              kF6 = 72, kF8 = 74, kF12 = 96;
}
