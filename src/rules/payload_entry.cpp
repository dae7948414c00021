#include "rules/payload_entry.h"

namespace updater {

EntryRuling RulePayloadEntry(const PayloadEntry& entry, const std::string& updaterName) {
    EntryRuling ruling;
    ruling.inexactName = !entry.exactName;
    // An inexact name's text is no name to judge.
    if (entry.exactName) ruling.nameFault = FaultOfName(entry.name);
    ruling.link = entry.link;
    if (entry.name == updaterName) {
        ruling.verdict = EntryVerdict::kSkipAsUpdater;
    } else if (ruling.inexactName || ruling.nameFault != NameFault::kNone || ruling.link) {
        ruling.verdict = EntryVerdict::kRefuse;
    }
    return ruling;
}

}  // namespace updater
