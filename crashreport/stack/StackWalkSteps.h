#pragma once
// One thread's stack walk as the report runs it: a fixed series of steps,
// each run in its own error guard so that a failing step names itself in
// the thread's section. A walk that has nothing to do in a step (the
// x86-64 unwind walk checks its items while collecting them) leaves it
// empty. A step that finds the stack unreadable raises EStackNotAccessible.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "base/Exception.h"
#include "crashreport/stack/StackWalk.h"

namespace qr {

// Raised by a step that finds the thread's stack unreadable (the thread
// ended since its context was taken, or its stack pointer lies outside
// committed memory): the section says so instead of naming an internal error.
QR_DECLARE_EXCEPTION(EStackNotAccessible, Exception);

class IStackWalk {
public:
    virtual ~IStackWalk() = default;
    // Every value that may be a stack item, the innermost location first.
    virtual void CollectPossibleStackItems() = 0;
    // Repetitions of the same return addresses among the candidates.
    virtual void RemoveRecursiveStackAreas() = 0;
    // Whether each candidate's call can reach the next inner item.
    virtual void InDeepChecks() = 0;
    // The best chain of linked candidates from the innermost item outward.
    virtual void RealizeOptimalLinkChains() = 0;
    // Repetitions left in the chosen chain.
    virtual void RemoveRecursiveAreas() = 0;
    // The chosen items, innermost first.
    virtual std::vector<TStackFrame> Frames() const = 0;
};

// Removes every immediate repetition of a run of up to `maxLength` items
// from `from` on (items compared by `key`), keeping its first occurrence:
// a recursion that ran a thousand times is listed once. The shortest
// repeating run goes first, so "A A A" becomes "A", not "A A".
template <class T, class Key>
void RemoveRepeatedRuns(std::vector<T>& items, size_t from, Key key, size_t maxLength = 16) {
    auto same = [&](size_t a, size_t b, size_t length) {
        for (size_t i = 0; i < length; ++i)
            if (key(items[a + i]) != key(items[b + i])) return false;
        return true;
    };
    size_t start = from;
    while (start < items.size()) {
        bool removed = false;
        for (size_t length = 1; length <= maxLength && start + 2 * length <= items.size() && !removed;
             ++length)
            if (same(start, start + length, length)) {
                items.erase(items.begin() + std::ptrdiff_t(start + length),
                            items.begin() + std::ptrdiff_t(start + 2 * length));
                removed = true;
            }
        // A removal may complete a repetition that began a little before.
        if (removed)
            start = start >= from + 2 * maxLength ? start - 2 * maxLength : from;
        else
            ++start;
    }
}

inline void RemoveRepetitions(std::vector<TStackFrame>& frames) {
    RemoveRepeatedRuns(frames, 0, [](const TStackFrame& f) { return f.Address; });
}

// A walk whose items are known once collected, in order: of the later
// steps only the removal of repetitions has anything to do.
class TFrameListWalk : public IStackWalk {
public:
    void RemoveRecursiveStackAreas() override { RemoveRepetitions(FFrames); }
    void InDeepChecks() override {}
    void RealizeOptimalLinkChains() override {}
    void RemoveRecursiveAreas() override {}
    std::vector<TStackFrame> Frames() const override { return FFrames; }

protected:
    std::vector<TStackFrame> FFrames;
};

// A stack noted earlier (the return addresses at a throw): the items are
// given.
class TListedStackWalk : public TFrameListWalk {
public:
    explicit TListedStackWalk(std::vector<TStackFrame> frames) { FFrames = std::move(frames); }
    void CollectPossibleStackItems() override {}
};

}  // namespace qr
