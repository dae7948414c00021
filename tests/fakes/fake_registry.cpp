// The in-memory Windows's answers to seam/registry.h: the registry's text values.
#include "fakes/fake_world.h"
#include "rules/cp932.h"
#include "rules/registry_key.h"
#include "rules/text.h"
#include "rules/texts.h"
#include "seam/errors.h"
#include "seam/registry.h"

namespace updater {

using fake::FakeWindows;
using fake::World;

std::optional<std::string> ReadRegistryString(const std::string& keyPath, const std::string& name) {
    ++World().registryOpens;
    const auto* values = World().RegistryKeyValues(UpperCaseAscii(RegistryKeyName(keyPath)));
    if (values == nullptr) return std::nullopt;
    const auto found = values->find(name);
    if (found == values->end()) return std::nullopt;
    const fake::RegistryValue& value = found->second;
    const bool isText = value.type == fake::kRegSz || value.type == fake::kRegExpandSz;
    const std::size_t size = value.data.size() + (isText ? 1 : 0);
    if (size == 0) return std::nullopt;
    if (!isText) throw PlatformError(kRegistryError, FormatText(texts::kRegistryWrongType, {name}));
    return value.data.substr(0, value.data.find('\0'));
}

}  // namespace updater
