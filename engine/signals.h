#pragma once

// The signal processor: the one place where trigger flags become tool state changes.

// Thread body of "QLN signals".
void SignalProcessorThread();
// One processing pass over every pending request, in a fixed order.
void ProcessSignals();
// Appends a tool-switch event (tool: a ToolCode) to the active profile.
void RecordToolToggle(int tool, bool on);
// Caller holds profileMutex.
bool CanUndoContinueLocked();
