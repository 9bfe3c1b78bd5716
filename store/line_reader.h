#pragma once

// Text cut into lines the way a line reader cuts a stream: each line without its line feed, and
// a last line without a line feed still counts. Files read in pieces and text already in memory
// go through the same cut, so a file reader and its in-memory twin see the very same lines.
// The callback takes a std::string_view and returns false to stop; nothing after it is read.

#include <functional>
#include <string>
#include <string_view>

struct LineCutter {
    std::string carry;  // the start of a line that a piece ended in the middle of
    bool stopped = false;
};

template <typename OnLine>
void FeedLines(LineCutter& cutter, std::string_view piece, OnLine& onLine) {
    while (!cutter.stopped && !piece.empty()) {
        const size_t end = piece.find('\n');
        if (end == std::string_view::npos) {
            cutter.carry.append(piece);
            return;
        }
        if (cutter.carry.empty()) {
            cutter.stopped = !onLine(piece.substr(0, end));
        } else {
            cutter.carry.append(piece.substr(0, end));
            cutter.stopped = !onLine(std::string_view(cutter.carry));
            cutter.carry.clear();
        }
        piece.remove_prefix(end + 1);
    }
}

template <typename OnLine>
void FinishLines(LineCutter& cutter, OnLine& onLine) {
    if (!cutter.stopped && !cutter.carry.empty()) onLine(std::string_view(cutter.carry));
    cutter.carry.clear();
}

template <typename OnLine>
void ForEachLineOfText(std::string_view text, OnLine onLine) {
    LineCutter cutter;
    FeedLines(cutter, text, onLine);
    FinishLines(cutter, onLine);
}

// Reads the file in pieces, so a large one is never held whole. False when it cannot be opened
// or read (a folder, a failing disk); lines handed over before a failure stay handed over.
bool ForEachLineOfFile(const std::string& path,
                       const std::function<bool(std::string_view)>& onLine);
