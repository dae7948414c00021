#include "icon_match.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "gdi.h"

namespace e2etool {

namespace {

// Above this mean distance a drawn icon counts as not found.
constexpr double kMatchThreshold = 12.0;
// At least this many opaque pixels make a comparison meaningful.
constexpr int kMinOpaquePixels = 64;
// How far inside a larger control the icon may sit.
constexpr int kMaxOffset = 32;

struct Candidate {
    const char* kind;
    WORD resource;
};

constexpr Candidate kCandidates[] = {
    {"error", 32513},        // IDI_HAND
    {"question", 32514},     // IDI_QUESTION
    {"warning", 32515},      // IDI_EXCLAMATION
    {"information", 32516},  // IDI_ASTERISK
};

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        sum += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
    }
    return sum;
}

// Draws `icon` on black and on white; pixels that come out the same on both
// are the icon's opaque pixels, and only those are compared with the screen.
double BestScore(const Canvas& screen, HICON icon, int size) {
    Canvas onBlack(size, size);
    Canvas onWhite(size, size);
    if (!onBlack.ok() || !onWhite.ok()) return 1e9;
    onBlack.Fill(0x000000);
    onWhite.Fill(0xFFFFFF);
    DrawIconEx(onBlack.dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    DrawIconEx(onWhite.dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();

    double best = 1e9;
    const int maxX = std::min(kMaxOffset, screen.width() - size);
    const int maxY = std::min(kMaxOffset, screen.height() - size);
    for (int dy = 0; dy <= maxY; ++dy) {
        for (int dx = 0; dx <= maxX; ++dx) {
            long long total = 0;
            int opaque = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    const std::uint32_t drawn = onBlack.at(x, y);
                    if (drawn != onWhite.at(x, y)) continue;
                    total += ChannelDistance(drawn, screen.at(x + dx, y + dy));
                    ++opaque;
                }
            }
            if (opaque >= kMinOpaquePixels) {
                best = std::min(best, static_cast<double>(total) / (3.0 * opaque));
            }
        }
    }
    return best;
}

}  // namespace

HWND FindIconControl(HWND dialog) {
    char className[32] = {};
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        GetClassNameA(child, className, sizeof className);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) return child;
    }
    return nullptr;
}

IconMatch MatchSystemIcon(HWND iconControl) {
    IconMatch result{"unknown", 1e9};
    RECT rect;
    if (!GetWindowRect(iconControl, &rect)) return result;
    const auto captured = CaptureScreen(rect);
    if (!captured) return result;
    const Canvas& screen = *captured;
    const int width = screen.width();
    const int height = screen.height();

    const int sizes[] = {GetSystemMetrics(SM_CXICON), std::min(width, height)};
    for (const Candidate& candidate : kCandidates) {
        for (const int size : sizes) {
            if (size <= 0 || size > width || size > height) continue;
            // Shared system icons are owned by the system: never destroyed here.
            const HICON icon = static_cast<HICON>(
                LoadImageA(nullptr, MAKEINTRESOURCEA(candidate.resource), IMAGE_ICON, size, size, LR_SHARED));
            if (!icon) continue;
            const double score = BestScore(screen, icon, size);
            if (score < result.score) result = {candidate.kind, score};
        }
    }
    if (result.score > kMatchThreshold) result.kind = "unknown";
    return result;
}

}  // namespace e2etool
