// The argument rule of the command line. Two checks per input:
// - the raw input as a command line: no argument holds a NUL or an unquoted '"';
// - a command line assembled from arguments by the stated rule (separator runs
//   of bytes 1..32, quoted and unquoted stretches, empty quote pairs, an
//   unclosed last quote, text after a NUL) gives those arguments back exactly.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "rules/command_line.h"

namespace {

using fuzz::Require;

void CheckRawLine(const std::string& line) {
    for (int n = 0; n < 16; ++n) {
        const std::string argument = updater::ArgumentFromCommandLine(line, n);
        Require(argument.find('\0') == std::string::npos, "a NUL ends the command line");
        const std::vector<bool> starts = fuzz::CharStarts(argument);
        for (std::size_t i = 0; i < argument.size(); ++i)
            Require(!(starts[i] && argument[i] == '"'), "the quotes of a stretch are removed");
        if (argument.empty() && updater::ArgumentFromCommandLine(line, n + 1).empty()) break;
    }
}

// An argument that can be written on a command line: no NUL, no '"', not
// empty, and not ending in a lone lead byte (which would take the next byte).
std::string Writable(std::string text) {
    std::string result;
    for (char c : text)
        if (c != '\0' && c != '"') result.push_back(c);
    const std::vector<bool> starts = fuzz::CharStarts(result);
    if (!result.empty() && starts.back() && fuzz::IsLead(static_cast<unsigned char>(result.back()))) result.pop_back();
    return result.empty() ? std::string("a") : result;
}

// True when `piece` may stand unquoted: no byte 1..32 starts a character in it.
bool MayStandUnquoted(const std::string& piece) {
    const std::vector<bool> starts = fuzz::CharStarts(piece);
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const auto byte = static_cast<unsigned char>(piece[i]);
        if (starts[i] && byte >= 1 && byte <= 32) return false;
    }
    return true;
}

std::string SeparatorRun(FuzzedDataProvider& data) {
    std::string run(data.ConsumeIntegralInRange<std::size_t>(1, 3), ' ');
    for (char& c : run) c = static_cast<char>(data.ConsumeIntegralInRange<int>(1, 32));
    return run;
}

void CheckAssembledLine(FuzzedDataProvider& data) {
    std::vector<std::string> arguments(data.ConsumeIntegralInRange<std::size_t>(1, 6));
    std::string line;
    if (data.ConsumeBool()) line += SeparatorRun(data);
    bool lastPieceQuoted = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        std::string& argument = arguments[index];
        argument = Writable(data.ConsumeRandomLengthString(40));
        if (index > 0) line += SeparatorRun(data);
        // The argument written as up to three stretches, cut between characters.
        const std::vector<bool> starts = fuzz::CharStarts(argument);
        std::vector<std::size_t> cuts{0};
        for (int k = data.ConsumeIntegralInRange<int>(0, 2); k > 0; --k) {
            const auto cut = data.ConsumeIntegralInRange<std::size_t>(cuts.back(), argument.size());
            if (cut < argument.size() && !starts[cut]) continue;
            cuts.push_back(cut);
        }
        cuts.push_back(argument.size());
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            const std::string piece = argument.substr(cuts[k], cuts[k + 1] - cuts[k]);
            const bool quoted = piece.empty() || !MayStandUnquoted(piece) || data.ConsumeBool();
            line += quoted ? "\"" + piece + "\"" : piece;
            lastPieceQuoted = quoted;
        }
    }
    // The last stretch may run to the end of the line without its closing quote.
    if (lastPieceQuoted && data.ConsumeBool()) line.pop_back();
    else if (data.ConsumeBool()) line += SeparatorRun(data);
    // Whatever follows a NUL is not part of the command line.
    if (data.ConsumeBool()) line += std::string(1, '\0') + data.ConsumeRandomLengthString(20);

    for (std::size_t index = 0; index < arguments.size(); ++index)
        Require(updater::ArgumentFromCommandLine(line, static_cast<int>(index)) == arguments[index],
                "an argument written by the stated rule is read back unchanged");
    Require(updater::ArgumentFromCommandLine(line, static_cast<int>(arguments.size())).empty(),
            "there is no argument after the last one");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    CheckRawLine(std::string(reinterpret_cast<const char*>(bytes), size));
    FuzzedDataProvider data(bytes, size);
    CheckAssembledLine(data);
    return 0;
}
