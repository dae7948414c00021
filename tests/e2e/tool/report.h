// Output of the test tool: one "key=value" line per fact on standard output.
//
// Values are the raw code page 932 bytes the windows hold. So that a value can
// never break the line format, every "\" byte is doubled and control bytes are
// written as \r, \n or \xNN; the Python rig undoes this byte by byte, which is
// safe even where "\" is the trail byte of a double-byte character.
#pragma once

#include <string>

namespace e2etool {

// Switches standard output to binary mode (no LF -> CR LF translation).
void InitReport();
void Report(const std::string& key, const std::string& value);
void Report(const std::string& key, long long value);
// Flushes at once: used for "ready" lines that a waiting rig reads.
void ReportNow(const std::string& key, const std::string& value);

}  // namespace e2etool
