#pragma once

// Names the calling thread as the system shows it (at most 15 characters).
void OsNameThread(const char* name);
// Gives the calling thread the most punctual wake-ups the process may have.
void OsRaiseToUserInteractive();
