#include "kit/preview/preview_output.h"

#include <string>

#include "kit/readable_text.h"
#include "rules/text.h"
#include "update/copy_engine.h"

namespace updater::kit {

void PrintPreview(const Preview& preview, std::FILE* out) {
    std::size_t copying = 0;
    std::size_t failing = 0;
    for (const PreviewEntry& entry : preview.entries) {
        if (entry.action == PreviewAction::kCopyFails) ++failing;
        else if (entry.action != PreviewAction::kLeaveAlone) ++copying;
        const std::string installed =
            entry.installedStamp ? Cp932AsShownUtf8(StampForLog(*entry.installedStamp)) : "-";
        std::fprintf(out, "%.*s\t%s\t%s\t%s\n", static_cast<int>(ActionText(entry.action).size()),
                     ActionText(entry.action).data(), Cp932AsShownUtf8(entry.relativePath).c_str(),
                     Cp932AsShownUtf8(StampForLog(entry.newStamp)).c_str(), installed.c_str());
    }

    std::fprintf(out, "\nfiles: %zu to copy, %zu left alone", copying, preview.entries.size() - copying - failing);
    if (failing != 0) std::fprintf(out, ", %zu failing", failing);
    std::fprintf(out, "\nend: %s box \"%s\"", preview.succeeds ? "information" : "copy-failed (error)",
                 Cp932AsShownUtf8(preview.endBoxText).c_str());
    if (!preview.unreadableFolder.empty())
        std::fprintf(out, ": the folder %s cannot be listed, nothing after it is copied",
                     Cp932AsShownUtf8(preview.unreadableFolder).c_str());
    std::fputc('\n', out);
    if (!preview.report) {
        std::fputs("report: none (no log file is written; an earlier one stays as it is)\n", out);
        return;
    }
    const TextList lines = [&] {
        TextList split;
        std::size_t start = 0;
        for (std::size_t end; (end = preview.report->find("\r\n", start)) != std::string::npos; start = end + 2)
            split.push_back(preview.report->substr(start, end - start));
        return split;
    }();
    std::fprintf(out, "report: %zu line%s, %zu bytes (code page 932, each line ending in CR LF), written to %s "
                      "when that folder exists:\n",
                 lines.size(), lines.size() == 1 ? "" : "s", preview.report->size(),
                 Cp932AsShownUtf8(preview.logName).c_str());
    for (const std::string& line : lines) std::fprintf(out, "%s\n", Cp932AsShownUtf8(line).c_str());
}

}  // namespace updater::kit
