// The whole update run: pre-flight checks, gates, copy phase, closing sequence.
#pragma once

#include "rules/command_line.h"

namespace updater {

// Checks the product `request` names and copies the payload. Returns
// normally on every orderly end; errors of the Windows layer pass through.
void RunUpdate(const UpdateRequest& request);

}  // namespace updater
