// The whole update run: pre-flight checks, gates, copy phase, closing sequence.
#pragma once

namespace updater {

// Reads the command line, checks the product and copies the payload. Returns
// normally on every orderly end; errors of the Windows layer pass through.
void RunUpdate();

}  // namespace updater
