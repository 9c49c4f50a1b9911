#pragma once
// The please-wait window's progress: weighted areas, one of them current,
// and a position within it, mapped onto the bar's range 0 to 1000.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Text.h"

namespace qr {

struct TProgressArea {
    UString Text;
    int64_t Weight = 0;
    int64_t Start = 0;  // the sum of the weights before this area
};

class TProgressAreas {
public:
    void Add(UString text, int64_t weight);
    void Clear();
    // The window shows something even when the caller added nothing.
    void EnsureDefault();
    // Advances to the next area (stays on the last one), position 0.
    void AreaDone();
    // Out of range indexes are ignored.
    void SetCurrent(size_t index);
    // Clamped to 0..1000.
    void SetPosition(int position);

    const std::vector<TProgressArea>& Areas() const { return FAreas; }
    size_t Current() const { return FCurrent; }
    // The current area's text; empty without areas.
    UString CurrentText() const;
    // (start + weight * position / 1000) * 1000 / total; 0 without weight.
    int BarPosition() const;

private:
    std::vector<TProgressArea> FAreas;
    size_t FCurrent = 0;
    int FPosition = 0;
};

}  // namespace qr
