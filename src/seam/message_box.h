// The modal boxes the run ends with.
#pragma once

#include <string>

namespace updater {

enum class DialogKind { kWarning, kError, kInformation };

// A modal box titled by its kind with the kind's icon, the text and one "OK".
void ShowMessageBox(DialogKind kind, const std::string& text);

}  // namespace updater
