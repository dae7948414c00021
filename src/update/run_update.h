// The whole update run: pre-flight checks, gates, copy phase, closing sequence.
#pragma once

#include "rules/command_line.h"
#include "rules/run_outcome.h"

namespace updater {

class CopyObserver;

// Checks the product `request` names and copies the payload, holding the
// machine's update lock while it copies. Returns how the run ended, on
// every orderly end; errors of the Windows layer pass through. A quiet
// request shows no window and no box. `observer`, when given, is told what
// the copy does (CopyPayload).
RunOutcome RunUpdate(const UpdateRequest& request, CopyObserver* observer = nullptr);

}  // namespace updater
