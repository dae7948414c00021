// The whole update run: pre-flight checks, gates, copy phase, closing sequence.
#pragma once

#include "rules/command_line.h"

namespace updater {

class CopyObserver;

// Checks the product `request` names and copies the payload. Returns
// normally on every orderly end; errors of the Windows layer pass through.
// `observer`, when given, is told what the copy does (CopyPayload).
void RunUpdate(const UpdateRequest& request, CopyObserver* observer = nullptr);

}  // namespace updater
