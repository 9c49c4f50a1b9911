#include "crashreport/ui/ProgressAreas.h"

#include <algorithm>

namespace qr {

void TProgressAreas::Add(UString text, int64_t weight) {
    int64_t start = FAreas.empty() ? 0 : FAreas.back().Start + FAreas.back().Weight;
    FAreas.push_back({std::move(text), weight, start});
}

void TProgressAreas::Clear() {
    FAreas.clear();
    FCurrent = 0;
    FPosition = 0;
}

void TProgressAreas::EnsureDefault() {
    if (FAreas.empty()) Add(u"Please wait...", 1000);
}

void TProgressAreas::AreaDone() {
    if (FCurrent + 1 < FAreas.size()) ++FCurrent;
    FPosition = 0;
}

void TProgressAreas::SetCurrent(size_t index) {
    if (index >= FAreas.size()) return;
    FCurrent = index;
    FPosition = 0;
}

void TProgressAreas::SetPosition(int position) { FPosition = std::clamp(position, 0, 1000); }

UString TProgressAreas::CurrentText() const { return FAreas.empty() ? UString() : FAreas[FCurrent].Text; }

int TProgressAreas::BarPosition() const {
    if (FAreas.empty()) return 0;
    int64_t total = FAreas.back().Start + FAreas.back().Weight;
    if (total <= 0) return 0;
    const TProgressArea& area = FAreas[FCurrent];
    // Integer steps in this order keep large weights exact.
    int64_t done = area.Start + area.Weight * FPosition / 1000;
    return int(std::clamp<int64_t>(done * 1000 / total, 0, 1000));
}

}  // namespace qr
