// Random action and parameter texts through the command document builder.
// A name with blank, tab, CR or LF raises the exact error; otherwise the
// output has the fixed shape with both values escaped.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Text.h"
#include "base/Exception.h"
#include "link/IpcCommand.h"

namespace {

qr::UString Utf16(FuzzedDataProvider& in) {
    std::string raw = in.ConsumeRandomLengthString(80);
    qr::UString text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
        text.push_back(char16_t(uint8_t(raw[i]) | uint8_t(raw[i + 1]) << 8));
    return text;
}

std::string Escaped(const qr::UString& value) {
    std::string out;
    for (char c : qr::UnicodeToAnsi(value)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "command document invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    qr::UString action = Utf16(in), p1 = Utf16(in), p2 = Utf16(in);
    std::string name = qr::UnicodeToAnsi(action);
    bool illegal = name.find_first_of(" \t\r\n") != std::string::npos;
    try {
        std::string bytes = qr::BuildIpcCommand(action, p1, p2);
        if (illegal) Fail("illegal name accepted");
        std::string expected = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<QuelloraIPC><Remote><" +
                               name + " Param1=\"" + Escaped(p1) + "\" Param2=\"" + Escaped(p2) +
                               "\"/></Remote></QuelloraIPC>\n";
        if (bytes != expected) Fail("document shape");
    } catch (const qr::Exception& e) {
        if (!illegal) Fail("legal name refused");
        // Error texts are UTF-8: the name is shown as the characters it stands for.
        std::string shown = qr::UnicodeToUtf8(qr::AnsiToUnicode(name));
        if (e.Message() != "Illegal character in node name \"" + shown + "\"") Fail("error text");
    }
    return 0;
}
