#pragma once

// Thread body of "QLN autoclicker".
void AutoClickerThread();
