#pragma once

// Runs the program: command line, start-up, the main loop, shutdown. Returns the exit status.
int RunQuillon(int argc, char** argv);
// The one-shot teardown; safe to call more than once.
void ShutDown();
