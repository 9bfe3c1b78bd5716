#pragma once

#include <string>

// A benchmark's second process: the real engine threads and input tap, run until SIGTERM, so
// that the measuring process stays independent of what it measures.

// Runs in the child; returns its exit status. With record set, a recording runs throughout and
// the child prints "recorded=<n> p50_us=<x> p99_us=<x>" (the tap's handling time) at the end.
int RunEngineChild(bool record);
// One line of the child's output, without its line feed; empty at the end.
std::string ReadChildLine(int fd);
// Starts this same executable as an engine child and waits until it is ready. Returns its
// process id (-1 on failure); readFd receives the child's further output.
int StartEngineChild(bool record, int& readFd);
