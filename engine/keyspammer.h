#pragma once

// Thread body of "QLN key spammer".
void KeySpammerThread();
// Adds a target when fewer than three are live.
void AppendKeySpamTarget(int vk);
// Removes the target at index; stops a running spammer when the list becomes empty.
void RemoveKeySpamTarget(int index);
// Posts a key-up for every live target, so that no key stays down after a stop.
void ReleaseAllKeySpamTargets();
