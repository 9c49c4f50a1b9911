// quellora-bench-servercall: what one request to the system costs, timed
// on the cheapest call that is always one: resetting an event. Under Wine
// every such call is a round trip to the one wineserver process, which is
// what most of a forwarded message's system calls are; this gives the
// price per request that the counts in bench/README.md multiply with.
//
//   quellora-bench-servercall [N]      (default 200000)
//
// Prints "calls N: X us per call (best of 5 rounds)".
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/win32/Handles.h"

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 200000;
    if (count <= 0) return 2;
    qr::win32::THandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return 1;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 0;
    for (int round = 0; round < 5; ++round) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        for (long i = 0; i < count; ++i) ResetEvent(event.Get());
        QueryPerformanceCounter(&end);
        double us = double(end.QuadPart - start.QuadPart) * 1e6 / double(frequency.QuadPart) / double(count);
        if (round == 0 || us < best) best = us;
    }
    std::printf("calls %ld: %.2f us per call (best of 5 rounds)\n", count, best);
    return 0;
}
