// The commands of the user's guide (the README.txt that ships), run as a
// reader would type them on another machine, with STAGE-PC standing for
// this one. PowerShell's example cannot run here.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "e2e/Harness.h"

using namespace e2e;

namespace {

// The guide's example lines that start with one of `leads`, as typed.
std::vector<std::string> Examples(const std::vector<std::string>& leads) {
    std::ifstream guide(QR_SOURCE_DIR "/installer/README.txt");
    std::vector<std::string> found;
    for (std::string line; std::getline(guide, line);)
        for (const std::string& lead : leads)
            if (line.rfind("    " + lead, 0) == 0) found.push_back(line.substr(4));
    return found;
}

class UserGuide : public TProgramSuite {};

}  // namespace

TEST_F(UserGuide, TheNetcatAndPythonExamplesSendACommand) {
    const std::vector<std::string> examples = Examples({"printf ", "python3 "});
    ASSERT_EQ(examples.size(), 2u) << "the guide's netcat and Python examples";
    size_t before = monitor->Log.Read().size();
    for (std::string command : examples) {
        for (size_t at; (at = command.find("STAGE-PC")) != std::string::npos;)
            command.replace(at, 8, "127.0.0.1");
        qrtest::TChild shell({"/bin/sh", "-c", command}, false);
        EXPECT_EQ(shell.Wait(30s), 0) << command;
        auto arrived = monitor->Log.WaitFor(before + 1, 20s);
        ASSERT_EQ(arrived.size(), before + 1) << command;
        EXPECT_EQ(arrived.back(), "next") << command;
        before = arrived.size();
    }
}
