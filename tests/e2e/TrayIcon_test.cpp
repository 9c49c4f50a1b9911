// The tray icon of the real program under Wine: the callbacks the shell
// posts to the icon's handler window, and what the user then sees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

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
std::unique_ptr<TProgram> StartWithIcon(const std::vector<std::string>& env = {}) {
    const std::string before = NewestTrayPid();
    auto program = std::make_unique<TProgram>(env);
    for (auto end = Clock::now() + 20s; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
        std::string now = NewestTrayPid();
        if (!now.empty() && now != before) return program;
    }
    ADD_FAILURE() << "the program's tray icon handler never appeared";
    return program;
}

// The captions of the open menu's items as the program itself reads them,
// without the accelerator's "&".
std::vector<std::string> MenuCaptions() {
    int rc = -1;
    std::string out = Poke({"menu-text"}, &rc);
    EXPECT_EQ(rc, 0) << out;
    std::vector<std::string> items;
    for (size_t at = out.find("item="); at != std::string::npos; at = out.find("item=", at + 1)) {
        std::string line = out.substr(at + 5, out.find('\n', at) - at - 5);
        std::erase(line, '&');
        std::erase(line, '\r');
        items.push_back(line);
    }
    return items;
}

}  // namespace

// Wine takes the user's language from the Unix locale: the program must
// show German to a German user and English to everyone else.
TEST(TrayIcon, TheMenuSpeaksTheUsersLanguage) {
    const std::pair<const char*, const char*> cases[] = {{"de_DE.UTF-8", "Beenden"}, {"en_US.UTF-8", "Exit"}};
    for (auto [locale, caption] : cases) {
        SCOPED_TRACE(locale);
        auto started = StartWithIcon({std::string("LC_ALL=") + locale});
        int rc = -1;
        Poke({"tray-rbutton"}, &rc);
        ASSERT_NE(WaitForMenu(20s), "") << "no popup menu opened";
        EXPECT_EQ(MenuCaptions(), std::vector<std::string>{caption});
        Poke({"menu", "choose", "0"}, &rc);
        EXPECT_EQ(started->Process().Wait(30s), std::optional<int>(0));
    }
}

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
