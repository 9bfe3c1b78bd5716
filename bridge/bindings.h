#pragma once

// The functions the page calls by name. Each row holds a name and its handler; the table is
// registered on the main window in its order, before the first page loads.

#include <cstddef>
#include <string>

struct OsWindow;

struct BindingRow {
    const char* name;
    // Answers at once: the empty text (the page gets undefined) or JSON text.
    std::string (*handler)(const std::string& request);
    // Answers later, itself, through OsWindowReturn; null for every row but one.
    void (*deferred)(OsWindow* window, const std::string& callId, const std::string& request);
};

extern const BindingRow kBindings[];
extern const size_t kBindingCount;

// Binds every row on the window; false when any name could not be bound.
bool RegisterBindings(OsWindow* window);

// Rows whose handlers live here rather than with the state they change.
std::string BindResizeWindow(const std::string& request);
std::string BindRemoveKeySpamTarget(const std::string& request);
std::string BindSetKeySpamChordMode(const std::string& request);
std::string BindOpenLink(const std::string& request);
std::string BindGetTrackerStatus(const std::string& request);
std::string BindPermissionStatus(const std::string& request);
std::string BindRequestPermission(const std::string& request);
void BindStartUpdate(OsWindow* window, const std::string& callId, const std::string& request);

// The two fields of a "width,height" style record as 32-bit integers; false when fewer than two
// fields or either does not convert.
bool ReadTwoInts(const std::string& flat, int& first, int& second);
