#pragma once

// The program proper lives in lib/libquillon.so beside the executable's bin/ folder, so that a
// command sent to a running instance never pays for loading the toolkit and the X libraries.

// Loads the library and runs the program with the command line; returns its exit status. When
// the library cannot be loaded it says why on standard error and returns 1.
int OsRunProgramLibrary(int argc, char** argv);
