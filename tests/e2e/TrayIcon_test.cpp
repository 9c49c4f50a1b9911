// The tray icon of the real program under Wine: the callbacks the shell
// posts to the icon's handler window, and what the user then sees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "e2e/Harness.h"

using namespace e2e;

namespace {

// The open popup menu's description from quellora-poke, or empty when no
// menu opens within `timeout`.
std::string WaitForMenu(std::chrono::milliseconds timeout) {
    for (auto end = Clock::now() + timeout; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
        int rc = -1;
        std::string out = Poke({"menu"}, &rc);
        if (rc == 0 && out.find("open=") != std::string::npos) return out;
    }
    return {};
}

// The process id of the newest copy of the program with a tray icon.
std::string NewestTrayPid() { return Poke({"tray-pid"}); }

// Starts the program and waits until its tray icon exists: the tray
// commands go to the newest copy, and other copies may already be running.
std::unique_ptr<TProgram> StartWithIcon() {
    const std::string before = NewestTrayPid();
    auto program = std::make_unique<TProgram>();
    for (auto end = Clock::now() + 20s; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
        std::string now = NewestTrayPid();
        if (!now.empty() && now != before) return program;
    }
    ADD_FAILURE() << "the program's tray icon handler never appeared";
    return program;
}

}  // namespace

TEST(TrayIcon, RightButtonOpensTheMenuAndItsItemEndsTheProgram) {
    auto started = StartWithIcon();
    TProgram& program = *started;
    int rc = -1;
    Poke({"tray-rbutton"}, &rc);
    ASSERT_EQ(rc, 0);
    std::string menu = WaitForMenu(20s);
    ASSERT_NE(menu, "") << "no popup menu opened";
    // One item, so one line high: far less tall than wide.
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(std::sscanf(menu.c_str(), "open=%d,%d,%d,%d", &x, &y, &w, &h), 4) << menu;
    EXPECT_GT(w, h);
    EXPECT_LT(h, 40);
    Poke({"menu", "choose", "0"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(program.Process().Wait(30s), std::optional<int>(0));
}

TEST(TrayIcon, LeftClickAndDoubleClickShowNothing) {
    auto started = StartWithIcon();
    TProgram& program = *started;
    int rc = -1;
    Poke({"tray-lbutton"}, &rc);
    EXPECT_EQ(rc, 0);
    Poke({"tray-dblclick"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(WaitForMenu(2s), "");
    // Message boxes aside: a second copy reports its bind error in one.
    EXPECT_EQ(std::atoi(Poke({"tray-visible"}).c_str()), 0);
    EXPECT_TRUE(program.Process().Running());
    // The program still answers its icon afterwards.
    Poke({"tray-rbutton"}, &rc);
    EXPECT_NE(WaitForMenu(20s), "");
    Poke({"menu", "choose", "0"}, &rc);
    EXPECT_EQ(program.Process().Wait(30s), std::optional<int>(0));
}
