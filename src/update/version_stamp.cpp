#include "update/version_stamp.h"

#include "seam/files.h"
#include "seam/version_info.h"

namespace updater {

TVersionRec ReadVersionStamp(const std::string& path) {
    TVersionRec record;
    if (!FileExists(path)) return record;
    record.text = StampOfFileVersion(ReadJapaneseFileVersion(path));
    record.numbers = MakeVersionKey(record.text).numbers;
    return record;
}

}  // namespace updater
