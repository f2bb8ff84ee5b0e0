// Who holds a table's claim: the host and the process, so that a claim left by a worker that
// died can be told from one held by a worker still copying.
#pragma once

#include <string>

#include "common/date_time.h"

namespace qor::worker {

std::string HostName();
long ProcessId();

// Whether the process `pid` on this host still exists and is the one that made a claim at
// `claimed_at` (local time). A process id reused by a process started after the claim counts
// as gone. When in doubt (no permission to look, no start time) the process counts as alive,
// so that a live worker's claim is never taken.
bool ClaimOwnerAlive(long pid, const DateTime& claimed_at);

}  // namespace qor::worker
