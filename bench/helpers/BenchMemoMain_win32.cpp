// quellora-bench-memo: what it costs to show a message in a memo like the
// program's main window does, for the forwarding benchmark's breakdown. A
// hidden window holds a multi-line edit control of the memo's style and
// size; every round replaces its whole text with a message of the given
// size.
//
//   quellora-bench-memo [--sizes 16,256,4096] [--rounds N] [--max-ms T]
//
// One line per size:
//   m SIZE ROUNDS TOTAL_US P50_US P99_US MAX_US
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/helpers/BenchPayload.h"

namespace {

LARGE_INTEGER gFreq;

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Us(LONGLONG ticks) { return double(ticks) * 1e6 / double(gFreq.QuadPart); }

void RunSize(HWND memo, size_t size, int rounds, DWORD maxMs) {
    std::vector<double> us;
    std::wstring text(size, L'\0');
    LONGLONG start = Now(), limit = LONGLONG(maxMs) * gFreq.QuadPart / 1000;
    for (int r = 0; r < rounds && Now() - start < limit; ++r) {
        std::string m = qrbench::MakeMessage(size, 0, uint32_t(r));
        for (size_t i = 0; i < size; ++i) text[i] = wchar_t(static_cast<unsigned char>(m[i]));
        LONGLONG t0 = Now();
        SetWindowTextW(memo, text.c_str());
        us.push_back(Us(Now() - t0));
        // Whatever the change queued for the window is handled as the
        // program's message loop would.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    double total = Us(Now() - start);
    std::sort(us.begin(), us.end());
    auto pct = [&](double p) { return us[std::min(us.size() - 1, size_t(p * double(us.size())))]; };
    if (us.empty()) return;
    std::printf("m %u %u %.0f %.2f %.2f %.2f\n", unsigned(size), unsigned(us.size()), total, pct(0.5),
                pct(0.99), us.back());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string sizes = "16,256,4096";
    int rounds = 2000;
    DWORD maxMs = 2000;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--sizes" && i + 1 < argc)
            sizes = argv[++i];
        else if (a == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (a == "--max-ms" && i + 1 < argc)
            maxMs = DWORD(std::strtoul(argv[++i], nullptr, 10));
        else {
            std::fprintf(stderr, "usage: quellora-bench-memo [--sizes LIST] [--rounds N] [--max-ms T]\n");
            return 2;
        }
    }
    QueryPerformanceFrequency(&gFreq);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND host = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                instance, nullptr);
    HWND memo = CreateWindowExW(0, L"EDIT", L"Memo1",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                                    ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN,
                                176, 128, 313, 201, host, nullptr, instance, nullptr);
    if (!host || !memo) {
        std::printf("e CreateWindow %lu\n", GetLastError());
        return 1;
    }
    for (size_t p = 0; p < sizes.size();) {
        size_t q = sizes.find(',', p);
        if (q == std::string::npos) q = sizes.size();
        size_t size =
            std::max<size_t>(std::strtoul(sizes.substr(p, q - p).c_str(), nullptr, 10), qrbench::kHeaderSize);
        RunSize(memo, size, rounds, maxMs);
        p = q + 1;
    }
    DestroyWindow(host);
    return 0;
}
