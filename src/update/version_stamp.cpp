#include "update/version_stamp.h"

#include "seam/files.h"
#include "seam/version_info.h"

namespace updater {

TVersionRec ReadVersionStamp(const std::string& path) {
    TVersionRec record;
    if (!FileExists(path)) return record;
    std::optional<std::string> value = ReadJapaneseFileVersion(path);
    if (!value) return record;
    const std::optional<VersionKey> key = ParseVersionStamp(*value);
    if (!key) return record;
    record.numbers = key->numbers;
    record.text = std::move(*value);
    return record;
}

}  // namespace updater
