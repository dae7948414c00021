// Which entries of a payload folder the updater takes: one rule for the
// run's walk of the payload and for update-kit's check of a staged folder.
#pragma once

#include <string>

#include "rules/file_name.h"

namespace updater {

// One entry of a payload folder, as its folder listing shows it.
struct PayloadEntry {
    const std::string& name;  // code page 932
    bool exactName = true;    // false: the real name has no exact code page 932 spelling
    bool link = false;        // a reparse point, a hard link, or a final path elsewhere
};

enum class EntryVerdict {
    kTake,
    kSkipAsUpdater,  // named byte for byte like the running updater: passed over
    kRefuse,         // not taken: the folder holding it cannot be listed whole
};

// What the updater makes of an entry, with every reason that keeps it from
// being taken under its listed name, so that a lint can name them all.
struct EntryRuling {
    EntryVerdict verdict = EntryVerdict::kTake;
    bool inexactName = false;                // its text names no file
    NameFault nameFault = NameFault::kNone;  // of an exact name: Windows would take it for another
    bool link = false;                       // a path built from it leads elsewhere
};

// The updater's own name (byte for byte, as it is listed) is passed over
// whatever else is true of the entry; otherwise an entry with an inexact
// name, a name fault (FaultOfName) or a link is refused.
EntryRuling RulePayloadEntry(const PayloadEntry& entry, const std::string& updaterName);

}  // namespace updater
