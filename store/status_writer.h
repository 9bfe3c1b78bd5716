#pragma once

// The status file kept in step with the page's polls without making the poll wait for the disk:
// the poll hands over its text and a writer thread writes the newest one. A text equal to the
// last one written is not written again.

#include <string>

// Newest text wins; callable from any thread. Starts the writer on first use.
void QueueTrackerStatusWrite(std::string text);
// Writes what is still pending and ends the writer; later texts are written at once.
void StopTrackerStatusWriter();
