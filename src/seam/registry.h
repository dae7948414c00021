// Reading the product's keys.
#pragma once

#include <optional>
#include <string>

namespace updater {

// The text value `name` of the key `keyPath` (one leading "\" dropped), as
// stored and cut at its first NUL. The key is opened for KEY_READ without
// creating it, read once and closed. Nothing for a missing or unreadable key,
// no such value, or a value without data. Raises PlatformError
// (kRegistryError) for a non-text value with data, or when reading the data
// fails.
std::optional<std::string> ReadRegistryString(const std::string& keyPath, const std::string& name);

}  // namespace updater
