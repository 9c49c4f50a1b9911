// Stands in for the system's netsh.exe in the installer tests: keeps the
// firewall rules that "advfirewall firewall add rule" and "... delete rule
// name=..." ask for in a text file, one rule a line, and logs every call.
// Its folder is %QR_NETSH_STATE% (or its own): calls.txt and rules.txt.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::wstring StateFolder() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"QR_NETSH_STATE", buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return buffer;
    n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring self(buffer, n);
    return self.substr(0, self.find_last_of(L'\\'));
}

// The command line after the program's own name.
std::wstring Arguments() {
    std::wstring line = GetCommandLineW();
    size_t i = 0;
    if (!line.empty() && line[0] == L'"') {
        i = line.find(L'"', 1);
        i = i == std::wstring::npos ? line.size() : i + 1;
    } else {
        i = line.find(L' ');
        if (i == std::wstring::npos) i = line.size();
    }
    while (i < line.size() && line[i] == L' ') ++i;
    return line.substr(i);
}

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool StartsWith(const std::string& text, const std::string& lead) {
    return text.compare(0, lead.size(), lead) == 0;
}

// name="..." of a rule's arguments, quotes included.
std::string NameOf(const std::string& arguments) {
    size_t at = arguments.find("name=\"");
    if (at == std::string::npos) return "";
    size_t end = arguments.find('"', at + 6);
    return end == std::string::npos ? "" : arguments.substr(at, end + 1 - at);
}

}  // namespace

int wmain() {
    const std::string folder = Utf8(StateFolder());
    const std::string args = Utf8(Arguments());
    std::ofstream(folder + "\\calls.txt", std::ios::app | std::ios::binary) << args << "\n";

    const std::string add = "advfirewall firewall add rule ", remove = "advfirewall firewall delete rule ";
    std::vector<std::string> rules;
    {
        std::ifstream in(folder + "\\rules.txt", std::ios::binary);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) rules.push_back(line);
    }
    int code = 0;
    if (StartsWith(args, add)) {
        rules.push_back(args.substr(add.size()));
    } else if (StartsWith(args, remove)) {
        const std::string name = NameOf(args);
        size_t before = rules.size();
        std::erase_if(rules, [&](const std::string& rule) { return !name.empty() && NameOf(rule) == name; });
        if (rules.size() == before) {
            std::printf("No rules match the specified criteria.\n");
            code = 1;
        }
    } else {
        return 1;
    }
    std::ofstream out(folder + "\\rules.txt", std::ios::trunc | std::ios::binary);
    for (const std::string& rule : rules) out << rule << "\n";
    if (code == 0) std::printf("Ok.\n");
    return code;
}
