#include "crashreport/send/WuQuantizer.h"

#include <cstdlib>

namespace qr {

namespace {

int RedOf(uint32_t p) { return (p >> 16) & 0xFF; }
int GreenOf(uint32_t p) { return (p >> 8) & 0xFF; }
int BlueOf(uint32_t p) { return p & 0xFF; }

}  // namespace

TWuQuantizer::TWuQuantizer() : FCells(33 * 33 * 33) { FKeyCache.fill(-1); }

void TWuQuantizer::Count(uint32_t pixel) {
    const int r = RedOf(pixel), g = GreenOf(pixel), b = BlueOf(pixel);
    TMoments& m = FCells[Index(r / 8 + 1, g / 8 + 1, b / 8 + 1)];
    ++m.Weight;
    m.Red += r;
    m.Green += g;
    m.Blue += b;
    m.Squares += r * r + g * g + b * b;
}

// Turns the cells into sums over the cube from the origin, so that any
// box's sum takes eight look-ups.
void TWuQuantizer::Accumulate() {
    auto add = [](TMoments& to, const TMoments& from, int sign) {
        to.Weight += sign * from.Weight;
        to.Red += sign * from.Red;
        to.Green += sign * from.Green;
        to.Blue += sign * from.Blue;
        to.Squares += sign * from.Squares;
    };
    for (int r = 1; r <= 32; ++r)
        for (int g = 1; g <= 32; ++g)
            for (int b = 1; b <= 32; ++b) {
                TMoments& m = FCells[Index(r, g, b)];
                add(m, FCells[Index(r - 1, g, b)], 1);
                add(m, FCells[Index(r, g - 1, b)], 1);
                add(m, FCells[Index(r, g, b - 1)], 1);
                add(m, FCells[Index(r - 1, g - 1, b)], -1);
                add(m, FCells[Index(r - 1, g, b - 1)], -1);
                add(m, FCells[Index(r, g - 1, b - 1)], -1);
                add(m, FCells[Index(r - 1, g - 1, b - 1)], 1);
            }
}

TWuQuantizer::TMoments TWuQuantizer::Sum(const TBox& x) const {
    TMoments s;
    auto term = [&](int r, int g, int b, int sign) {
        const TMoments& m = FCells[Index(r, g, b)];
        s.Weight += sign * m.Weight;
        s.Red += sign * m.Red;
        s.Green += sign * m.Green;
        s.Blue += sign * m.Blue;
        s.Squares += sign * m.Squares;
    };
    term(x.R1, x.G1, x.B1, 1);
    term(x.R1, x.G1, x.B0, -1);
    term(x.R1, x.G0, x.B1, -1);
    term(x.R1, x.G0, x.B0, 1);
    term(x.R0, x.G1, x.B1, -1);
    term(x.R0, x.G1, x.B0, 1);
    term(x.R0, x.G0, x.B1, 1);
    term(x.R0, x.G0, x.B0, -1);
    return s;
}

// Sum of squared distances from the box's mean, in whole numbers as far as
// possible: each channel sum is split into quotient and remainder by the
// weight, so nothing overflows 64 bits and a box of one colour is exactly 0
// however many pixels it holds.
double TWuQuantizer::Variance(const TBox& box) const {
    if (box.Volume() < 2) return 0;
    const TMoments s = Sum(box);
    if (s.Weight == 0) return 0;
    int64_t whole = s.Squares, remainders = 0;
    for (int64_t sum : {s.Red, s.Green, s.Blue}) {
        const int64_t q = sum / s.Weight, r = sum % s.Weight;
        whole -= s.Weight * q * q + 2 * q * r;
        remainders += r * r;
    }
    // variance = whole - remainders / weight, where remainders / weight < 3
    if (whole < 3 && whole * s.Weight <= remainders) return 0;
    return static_cast<double>(whole) - static_cast<double>(remainders) / static_cast<double>(s.Weight);
}

// Cuts `first` at the place on any axis where the two halves' summed
// squared means are greatest (the variance left is least); `second` gets
// the upper half. False when no cut leaves pixels on both sides.
bool TWuQuantizer::Cut(TBox& first, TBox& second) const {
    const TMoments whole = Sum(first);
    double best = 0;
    int bestAxis = -1, bestAt = 0;
    for (int axis = 0; axis < 3; ++axis) {
        int& lower = axis == 0 ? first.R0 : axis == 1 ? first.G0 : first.B0;
        int& upper = axis == 0 ? first.R1 : axis == 1 ? first.G1 : first.B1;
        const int from = lower, to = upper;
        for (int at = from + 1; at < to; ++at) {
            upper = at;
            const TMoments low = Sum(first);
            upper = to;
            const int64_t highWeight = whole.Weight - low.Weight;
            if (low.Weight == 0 || highWeight == 0) continue;
            const double lr = double(low.Red), lg = double(low.Green), lb = double(low.Blue);
            const double hr = double(whole.Red - low.Red), hg = double(whole.Green - low.Green),
                         hb = double(whole.Blue - low.Blue);
            const double value = (lr * lr + lg * lg + lb * lb) / double(low.Weight) +
                                 (hr * hr + hg * hg + hb * hb) / double(highWeight);
            if (value > best) {
                best = value;
                bestAxis = axis;
                bestAt = at;
            }
        }
    }
    if (bestAxis < 0) return false;
    second = first;
    if (bestAxis == 0) first.R1 = second.R0 = bestAt;
    if (bestAxis == 1) first.G1 = second.G0 = bestAt;
    if (bestAxis == 2) first.B1 = second.B0 = bestAt;
    return true;
}

std::vector<TPaletteEntry> TWuQuantizer::MakePalette(int maxColours) {
    // The cells turn into running sums here; a second pass would sum them again.
    if (FMade) throw EPngError("The palette has been made already.");
    FMade = true;
    Accumulate();
    std::vector<TBox> boxes{TBox{0, 32, 0, 32, 0, 32}};
    std::vector<double> variance{Variance(boxes[0])};
    while (static_cast<int>(boxes.size()) < maxColours) {
        size_t next = 0;
        for (size_t k = 1; k < boxes.size(); ++k)
            if (variance[k] > variance[next]) next = k;
        if (variance[next] <= 0) break;
        TBox upper;
        if (!Cut(boxes[next], upper)) {
            variance[next] = 0;
            continue;
        }
        variance[next] = Variance(boxes[next]);
        boxes.push_back(upper);
        variance.push_back(Variance(upper));
    }
    FBoxCount = static_cast<int>(boxes.size());
    FPalette.assign(maxColours, TPaletteEntry{});
    for (size_t k = 0; k < boxes.size(); ++k) {
        const TMoments s = Sum(boxes[k]);
        if (s.Weight == 0) continue;
        auto mean = [&](int64_t sum) { return static_cast<uint8_t>((sum + s.Weight / 2) / s.Weight); };
        FPalette[k] = TPaletteEntry{mean(s.Red), mean(s.Green), mean(s.Blue)};
    }
    FKeyCache.fill(-1);
    return FPalette;
}

uint8_t TWuQuantizer::Nearest(uint32_t pixel) {
    const int r = RedOf(pixel), g = GreenOf(pixel), b = BlueOf(pixel);
    const int key = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    if (FKeyCache[key] >= 0) return static_cast<uint8_t>(FKeyCache[key]);
    int best = 0, bestDistance = 1 << 30;
    for (size_t i = 0; i < FPalette.size(); ++i) {
        const TPaletteEntry& e = FPalette[i];
        const int d = std::abs(e.Red - r) + std::abs(e.Green - g) + std::abs(e.Blue - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    FKeyCache[key] = static_cast<int16_t>(best);
    return static_cast<uint8_t>(best);
}

}  // namespace qr
