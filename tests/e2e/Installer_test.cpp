// The build's installer in the test prefix: silent install, the installed
// program forwards a message, an upgrade over the running copy, and silent
// uninstalls that leave only what the user keeps. The x86 installer is a
// 32-bit install on 64-bit Windows: "Program Files (x86)", the registry's
// 32-bit view and the 32-bit system folder (SysWOW64).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <thread>

#include "e2e/Harness.h"

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// What an install puts into the program folder: the program, the user's
// README, the uninstaller and the licences of the compiler's and
// mingw-w64's runtime, of the icon set the dialog's pictures come from, and
// of the crash reporter's disassembler and compression.
const std::vector<std::string> kInstalledFiles = {"README.txt",
                                                  "licences",
                                                  "licences/capstone.txt",
                                                  "licences/gcc-runtime.txt",
                                                  "licences/mingw-w64-runtime.txt",
                                                  "licences/tango-icon-theme.txt",
                                                  "licences/zlib.txt",
                                                  "quellora-remote.exe",
                                                  "uninstall.exe"};

const std::string kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quellora Remote Server";
const std::string kRunKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kContactKey = "HKCU\\Software\\Harnwick\\ContactForm";
const std::string kAppName = "Quellora Remote Server";
std::string MachineDir() {
    return BuildIsX86() ? "C:\\Program Files (x86)\\Quellora Remote Server"
                        : "C:\\Program Files\\Quellora Remote Server";
}

std::string SetupExe() { return BuildDir() + "/dist/" QR_PACKAGE_NAME "-" + PackageArch() + "-setup.exe"; }

std::string Prefix() {
    const char* p = getenv("WINEPREFIX");
    if (!p || !*p) throw std::runtime_error("WINEPREFIX is not set: start Wine with scripts/wine-env.sh");
    return p;
}

// A Windows path of drive C: as a path in the prefix.
fs::path InPrefix(const std::string& windowsPath) {
    if (windowsPath.size() < 3 ||
        (windowsPath.compare(0, 3, "C:\\") != 0 && windowsPath.compare(0, 3, "c:\\") != 0))
        throw std::runtime_error("not on drive C: " + windowsPath);
    std::string rest = windowsPath.substr(3);
    for (char& c : rest)
        if (c == '\\') c = '/';
    return fs::path(Prefix()) / "drive_c" / rest;
}

// Runs a Windows command line (program given as a Windows path) to its end;
// its exit code and standard output.
int RunWine(const std::vector<std::string>& args, std::string* out = nullptr,
            std::chrono::milliseconds timeout = 120s) {
    std::string file = TempDir() + "/out.txt";
    std::vector<std::string> argv{qrtest::WineLoader()};
    argv.insert(argv.end(), args.begin(), args.end());
    qrtest::TChild child(argv, false, {"WINEDEBUG=-all"}, file, file);
    auto code = child.Wait(timeout);
    if (!code) {
        child.Kill();
        throw std::runtime_error(args[0] + " did not end");
    }
    if (out) {
        std::ifstream f(file, std::ios::binary);
        out->assign(std::istreambuf_iterator<char>(f), {});
        std::erase(*out, '\r');
    }
    return *code;
}

// The registry as the build's programs see it: the x86 installer and
// program read and write the 32-bit view.
std::string RegView() { return BuildIsX86() ? "/reg:32" : "/reg:64"; }

std::optional<std::string> RegValue(const std::string& key, const std::string& name) {
    std::string out;
    if (RunWine({"reg", "query", key, "/v", name, RegView()}, &out) != 0) return std::nullopt;
    // "    NAME    REG_SZ    DATA"
    const std::string lead = "    " + name + "    ";
    for (size_t p = out.find(lead); p != std::string::npos; p = out.find(lead, p + 1)) {
        size_t type = p + lead.size();
        size_t data = out.find("    ", type);
        if (data == std::string::npos) continue;
        size_t end = out.find('\n', data);
        return out.substr(data + 4, end == std::string::npos ? std::string::npos : end - data - 4);
    }
    return std::nullopt;
}

bool RegKeyExists(const std::string& key, const std::string& view = RegView()) {
    return RunWine({"reg", "query", key, view}) == 0;
}

std::string WindowsEnv(const std::string& name) {
    std::string out;
    RunWine({"cmd", "/c", "echo", "%" + name + "%"}, &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    if (!fs::exists(dir)) return names;
    for (auto& e : fs::recursive_directory_iterator(dir))
        names.push_back(fs::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The uninstaller hands over to a copy of itself and returns at once: it
// is done when its last step, removing the Apps & features entry, is.
bool WaitUninstalled(const std::string& hive, std::chrono::milliseconds timeout = 120s) {
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(200ms))
        if (!RegKeyExists(hive + "\\" + kUninstallKey)) return true;
    return false;
}

void WaitPortFree() {
    for (auto end = Clock::now() + 30s; PortAccepts("127.0.0.1", kPort); std::this_thread::sleep_for(200ms))
        if (Clock::now() >= end) throw std::runtime_error("another program still listens on the port");
}

// The program as the Start-menu entry or the logon starts it: by its
// Windows path, so that its image is the installed file.
std::unique_ptr<qrtest::TChild> StartInstalled(const std::string& dir) {
    WaitPortFree();
    auto p = std::make_unique<qrtest::TChild>(
        std::vector<std::string>{qrtest::WineLoader(), dir + "\\quellora-remote.exe"}, false,
        std::vector<std::string>{"WINEDEBUG=-all"});
    for (auto end = Clock::now() + 30s; !PortAccepts("127.0.0.1", kPort); std::this_thread::sleep_for(100ms))
        if (Clock::now() >= end || !p->Running())
            throw std::runtime_error("installed program does not listen");
    return p;
}

std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The inbound rule an install for all users adds (as netsh is given it).
std::string FirewallRule() {
    return "name=\"Quellora Remote Server\" dir=in action=allow program=\"" + MachineDir() +
           "\\quellora-remote.exe\" enable=yes protocol=TCP localport=19150 "
           "profile=domain,private remoteip=LocalSubnet";
}

// Wine runs a netsh of its own that keeps no rules: the stand-in takes its
// place in the prefix's system folder for the test and keeps them in a file.
class TNetshStandIn {
public:
    TNetshStandIn()
        : FState(TempDir()),
          FSystemCopy(InPrefix(BuildIsX86() ? "C:\\windows\\syswow64\\netsh.exe"
                                            : "C:\\windows\\system32\\netsh.exe")) {
        // A run that ended early may have left the stand-in in place.
        if (fs::exists(Saved()))
            fs::remove(FSystemCopy);
        else
            fs::rename(FSystemCopy, Saved());
        fs::copy_file(BuildDir() + "/tests/standins/netsh.exe", FSystemCopy);
        setenv("QR_NETSH_STATE", ("Z:" + FState).c_str(), 1);
        const char* old = getenv("WINEDLLOVERRIDES");
        FOldOverrides = old ? old : "";
        setenv("WINEDLLOVERRIDES", (FOldOverrides + ";netsh.exe=n").c_str(), 1);
    }
    ~TNetshStandIn() {
        setenv("WINEDLLOVERRIDES", FOldOverrides.c_str(), 1);
        unsetenv("QR_NETSH_STATE");
        fs::remove(FSystemCopy);
        fs::rename(Saved(), FSystemCopy);
    }
    std::vector<std::string> Rules() const { return Lines(fs::path(FState) / "rules.txt"); }
    std::vector<std::string> Calls() const { return Lines(fs::path(FState) / "calls.txt"); }

private:
    fs::path Saved() const { return fs::path(FSystemCopy).replace_extension(".exe.wine"); }
    std::string FState;
    fs::path FSystemCopy;
    std::string FOldOverrides;
};

class Installer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(SetupExe().c_str(), R_OK), 0)
            << SetupExe() << " is missing: build the Windows preset (needs nsis)";
        RemoveLeftovers();
        netsh = std::make_unique<TNetshStandIn>();
    }
    void TearDown() override {
        RemoveLeftovers();
        netsh.reset();
    }
    std::unique_ptr<TNetshStandIn> netsh;

    // What an earlier, failed run may have left, so that every run starts
    // from a prefix without the program.
    static void RemoveLeftovers() {
        for (std::string hive : {"HKLM", "HKCU"}) {
            auto dir = RegValue(hive + "\\" + kUninstallKey, "InstallLocation");
            if (!dir) continue;
            RunWine({*dir + "\\uninstall.exe", "/S", "/RemoveMyData"});
            WaitUninstalled(hive);
        }
        RunWine({"reg", "delete", kContactKey, "/f", RegView()});
        fs::remove_all(InPrefix(MachineDir()));
    }
};

}  // namespace

TEST_F(Installer, PerMachineInstallRunsUpgradesOverTheRunningCopyAndUninstallKeepsUserData) {
    ASSERT_EQ(RunWine({"Z:" + SetupExe(), "/S"}), 0);

    const fs::path dir = InPrefix(MachineDir());
    EXPECT_EQ(FilesIn(dir), kInstalledFiles);
    const fs::path startMenu =
        InPrefix(WindowsEnv("ProgramData") + "\\Microsoft\\Windows\\Start Menu\\Programs");
    EXPECT_TRUE(fs::exists(startMenu / (kAppName + ".lnk")));
    const std::string key = "HKLM\\" + kUninstallKey;
    EXPECT_EQ(RegValue(key, "DisplayName"), kAppName);
    EXPECT_EQ(RegValue(key, "DisplayVersion"), QR_VERSION);
    EXPECT_EQ(RegValue(key, "Publisher"), "Quellora");
    EXPECT_EQ(RegValue(key, "DisplayIcon"), MachineDir() + "\\quellora-remote.exe,0");
    EXPECT_EQ(RegValue(key, "UninstallString"), "\"" + MachineDir() + "\\uninstall.exe\"");
    auto size = RegValue(key, "EstimatedSize");
    ASSERT_TRUE(size.has_value());
    EXPECT_GT(std::stoul(*size, nullptr, 16), 100u) << "EstimatedSize in KiB";
    EXPECT_EQ(RegValue(kRunKey, kAppName), "\"" + MachineDir() + "\\quellora-remote.exe\"");
    EXPECT_FALSE(RegKeyExists("HKCU\\" + kUninstallKey));
    // A 32-bit install's entry lies in the 32-bit view only.
    if (BuildIsX86()) {
        EXPECT_FALSE(RegKeyExists(key, "/reg:64"));
    }
    EXPECT_EQ(netsh->Rules(), std::vector<std::string>{FirewallRule()});

    TMonitor monitor;
    {
        auto program = StartInstalled(MachineDir());
        TClient c("127.0.0.1", kPort);
        c.Send("from the installed program\f");
        EXPECT_EQ(monitor.Log.WaitFor(1, 20s), std::vector<std::string>{"from the installed program"});
        // Installing again over the running copy ends it first.
        EXPECT_EQ(RunWine({"Z:" + SetupExe(), "/S"}), 0);
        EXPECT_EQ(program->Wait(30s), std::optional<int>(0));
    }
    EXPECT_TRUE(fs::exists(dir / "quellora-remote.exe"));
    // The second install keeps one rule.
    EXPECT_EQ(netsh->Rules(), std::vector<std::string>{FirewallRule()});

    // What the program's crash reporter would have left for the user.
    WriteFile(dir / "bugreport.txt", "date/time : kept\r\n");
    ASSERT_EQ(RunWine({"reg", "add", kContactKey, "/v", "RememberName", "/d", "Stage PC", "/f", RegView()}),
              0);
    ASSERT_EQ(RunWine({"reg", "add", kContactKey, "/v", "RememberEmail", "/d", "stage@example.org", "/f",
                       RegView()}),
              0);

    auto program = StartInstalled(MachineDir());
    ASSERT_EQ(RunWine({MachineDir() + "\\uninstall.exe", "/S"}), 0);
    // The uninstaller asks the running copy to close; it ends as usual.
    EXPECT_EQ(program->Wait(60s), std::optional<int>(0));
    ASSERT_TRUE(WaitUninstalled("HKLM"));
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"bugreport.txt"});
    EXPECT_FALSE(fs::exists(startMenu / (kAppName + ".lnk")));
    EXPECT_EQ(RegValue(kRunKey, kAppName), std::nullopt);
    EXPECT_TRUE(netsh->Rules().empty());
    EXPECT_EQ(RegValue(kContactKey, "RememberName"), "Stage PC");
    EXPECT_EQ(RegValue(kContactKey, "RememberEmail"), "stage@example.org");
}

TEST_F(Installer, PerUserInstallWithoutLogonEntryAndUninstallRemovingUserData) {
    ASSERT_EQ(RunWine({"Z:" + SetupExe(), "/S", "/CurrentUser", "/NoStartAtLogon"}), 0);

    const std::string key = "HKCU\\" + kUninstallKey;
    auto where = RegValue(key, "InstallLocation");
    ASSERT_TRUE(where.has_value());
    EXPECT_EQ(*where, WindowsEnv("LOCALAPPDATA") + "\\Programs\\" + kAppName);
    const fs::path dir = InPrefix(*where);
    EXPECT_EQ(FilesIn(dir), kInstalledFiles);
    EXPECT_FALSE(RegKeyExists("HKLM\\" + kUninstallKey));
    EXPECT_FALSE(fs::exists(InPrefix(MachineDir())));
    EXPECT_EQ(RegValue(kRunKey, kAppName), std::nullopt);
    // Without administrator rights the firewall is not touched at all.
    EXPECT_TRUE(netsh->Calls().empty());
    const std::string appData = WindowsEnv("APPDATA");
    const fs::path startMenu = InPrefix(appData + "\\Microsoft\\Windows\\Start Menu\\Programs");
    EXPECT_TRUE(fs::exists(startMenu / (kAppName + ".lnk")));

    WriteFile(dir / "bugreport.txt", "date/time : gone\r\n");
    WriteFile(InPrefix(appData + "\\quellora-remote\\bugreport.txt"), "date/time : gone\r\n");
    ASSERT_EQ(RunWine({"reg", "add", kContactKey, "/v", "RememberName", "/d", "Stage PC", "/f", RegView()}),
              0);
    ASSERT_EQ(RunWine({"reg", "add", kContactKey, "/v", "RememberEmail", "/d", "stage@example.org", "/f",
                       RegView()}),
              0);

    auto program = StartInstalled(*where);
    ASSERT_EQ(RunWine({*where + "\\uninstall.exe", "/S", "/RemoveMyData"}), 0);
    EXPECT_EQ(program->Wait(60s), std::optional<int>(0));
    ASSERT_TRUE(WaitUninstalled("HKCU"));
    EXPECT_FALSE(fs::exists(dir));
    EXPECT_FALSE(fs::exists(InPrefix(appData + "\\quellora-remote")));
    EXPECT_FALSE(fs::exists(startMenu / (kAppName + ".lnk")));
    EXPECT_FALSE(RegKeyExists(kContactKey));
}

TEST_F(Installer, PerMachineInstallWithoutFirewallRuleAddsNone) {
    ASSERT_EQ(RunWine({"Z:" + SetupExe(), "/S", "/NoFirewallRule", "/NoStartAtLogon"}), 0);
    EXPECT_TRUE(fs::exists(InPrefix(MachineDir()) / "quellora-remote.exe"));
    EXPECT_TRUE(netsh->Calls().empty());
    ASSERT_EQ(RunWine({MachineDir() + "\\uninstall.exe", "/S"}), 0);
    ASSERT_TRUE(WaitUninstalled("HKLM"));
    EXPECT_TRUE(netsh->Rules().empty());
}
