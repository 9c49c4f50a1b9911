// What the monitor prints for a person: the program's windows-1252 bytes
// as text of the terminal's encoding, control bytes spelt out.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "e2e/Harness.h"

using namespace e2e;

TEST(Monitor, PrintsWhatArrivedAsAPersonReadsIt) {
    const std::string out = TempDir() + "/monitor.out";
    TWineProcess monitor(Exe("quellora-monitor"), {"--count", "2"}, out);
    auto printed = [&] {
        std::ifstream f(out, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    for (auto end = Clock::now() + 30s; printed().find("monitoring") == std::string::npos;
         std::this_thread::sleep_for(50ms))
        ASSERT_LT(Clock::now(), end) << "monitor did not start";
    TProgram program;
    {
        TClient client("127.0.0.1", kPort);
        client.Send(
            "Gr\xFC\xDF"
            "e\f");
        client.Send("a\tb\f");
    }
    // It ends by itself after the two messages.
    ASSERT_TRUE(monitor.Wait(20s).has_value()) << printed();
    // One connection's messages arrive in their order.
    EXPECT_NE(printed().find("#1 5 bytes: Gr\xC3\xBC\xC3\x9F"
                             "e\r\n"),
              std::string::npos)
        << printed();
    EXPECT_NE(printed().find("#2 3 bytes: a\\x09b\r\n"), std::string::npos) << printed();
    EXPECT_EQ(program.Close(), 0);
}
