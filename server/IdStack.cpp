#include "server/IdStack.h"

#include <cstdio>
#include <mutex>

namespace qr {

namespace {

// The registry behind AcquireStack: it owns nothing; the users own the stack
// together and the last one frees it.
struct TStackRegistry {
    std::mutex Lock;
    std::weak_ptr<TIdStack> Current;
};

TStackRegistry& Registry() {
    static TStackRegistry registry;
    return registry;
}

}  // namespace

std::shared_ptr<TIdStack> AcquireStack() {
    TStackRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.Lock);
    std::shared_ptr<TIdStack> stack = r.Current.lock();
    if (!stack) {
        stack = CreatePlatformStack();
        r.Current = stack;
    }
    return stack;
}

std::string FormatIPv4(const uint8_t (&a)[4]) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
    return text;
}

std::string FormatIPv6(const uint8_t (&a)[16]) {
    std::string out;
    for (int i = 0; i < 8; ++i) {
        char group[6];
        std::snprintf(group, sizeof group, "%x", unsigned(a[2 * i] << 8 | a[2 * i + 1]));
        if (i) out += ':';
        out += group;
    }
    return out;
}

}  // namespace qr
