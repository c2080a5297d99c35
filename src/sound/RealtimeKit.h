// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace DX7Sound {

// Asks the desktop's RealtimeKit service (system bus) to run the kernel thread `tid` of this
// process with real-time round-robin scheduling, at the highest priority the service allows up
// to a modest one. Returns at once; the service answers later on the GUI thread's event loop. No
// bus, no service or a refusal change nothing and print nothing. Lowers this process's
// RLIMIT_RTTIME to what the service demands first, as it refuses processes without that limit.
// GUI thread.
void requestRealtime(long tid);

} // namespace DX7Sound
