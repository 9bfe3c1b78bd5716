#pragma once

// The tool threads' life: started in a fixed order, stopped so that nothing stays held.

// Starts the auto clicker, the key spammer, the signal processor and playback, in that order,
// into g_Threads.
void StartToolThreads();
// Clears g_AppRunning and runs one last signal pass on the calling thread, so running tools
// and playback release their buttons and keys before their threads end.
void StopToolsForExit();
// Wakes the signal processor, auto clicker, key spammer and playback, in that order, then joins
// and empties g_Threads.
void WakeAndJoinWorkers();
