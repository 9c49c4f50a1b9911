// The program as the portable zip ships it, unpacked into a folder of its
// own: it starts there, listens and forwards, with nothing of the build
// beside it.
//
// Whether it needs a DLL that Windows lacks cannot be shown by running it
// here: Wine's own user32.dll imports Wine's zlib1.dll, so switching that
// off (WINEDLLOVERRIDES=zlib1=d) stops every windowed program, built right
// or not. The test `imports` of each Windows build reads the tables instead.
#include <gtest/gtest.h>

#include <string>

#include "e2e/Harness.h"

using namespace e2e;

namespace {

std::string Unzipped() {
    const std::string top = QR_PACKAGE_NAME "-" + PackageArch();
    const std::string zip = BuildDir() + "/dist/" + top + ".zip";
    const std::string dir = TempDir();
    qrtest::TChild unzip({"/usr/bin/env", "python3", "-m", "zipfile", "-e", zip, dir}, false);
    if (unzip.Wait(60s) != 0) throw std::runtime_error("cannot unpack " + zip);
    return dir + "/" + top + "/quellora-remote.exe";
}

}  // namespace

TEST(PortableZip, TheUnpackedProgramListensAndForwards) {
    TMonitor monitor;
    TProgram program({}, true, true, Unzipped());
    TClient client("127.0.0.1", kPort);
    client.Send("play\f");
    EXPECT_EQ(monitor.Log.WaitFor(1, 20s), std::vector<std::string>{"play"});
    EXPECT_EQ(program.Close(), 0);
}
