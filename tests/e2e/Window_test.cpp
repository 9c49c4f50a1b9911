// The main window's send panel, driven inside the Wine prefix by
// quellora-poke while the monitor reads what reaches the mailslot.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <tuple>
#include <thread>

#include "e2e/Harness.h"

using namespace e2e;

namespace {

const std::string kShowCommand =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
    "<QuelloraIPC><Remote><Show Param1=\"5\" Param2=\"\"/></Remote></QuelloraIPC>\n";

std::string Line(const std::string& text, const std::string& start) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(start, 0) == 0) return line;
    return {};
}

class SendPanel : public TProgramSuite {
protected:
    void SetFields(const std::string& action, const std::string& p1, const std::string& p2) {
        Poke({"set", "edAction", action});
        Poke({"set", "edParam1", p1});
        Poke({"set", "edParam2", p2});
    }
};

}  // namespace

TEST_F(SendPanel, StartsHiddenAndRestoreShowsTheStoredLayout) {
    std::string before = Poke({"layout"});
    EXPECT_NE(before.find("visible=0"), std::string::npos) << before;
    Poke({"restore"});
    std::string layout;
    for (auto end = Clock::now() + 10s; Clock::now() < end; std::this_thread::sleep_for(100ms)) {
        layout = Poke({"layout"});
        if (layout.find("visible=1") != std::string::npos) break;
    }
    ASSERT_NE(layout.find("caption=MainForm client=690x420 dpi=96 visible=1"), std::string::npos) << layout;
    // Labels keep their place and height and grow to show their caption.
    for (auto [name, width, text] :
         {std::tuple{"TntLabel1", 34, "Action:"}, std::tuple{"TntLabel2", 40, "Param1:"},
          std::tuple{"TntLabel3", 40, "Param2:"}}) {
        int left = 0, top = 0, w = 0, h = 0;
        std::string line = Line(layout, std::string(name) + " ");
        ASSERT_EQ(std::sscanf(line.c_str(), "%*s class=Static rect=%d,%d,%d,%d", &left, &top, &w, &h), 4)
            << line;
        EXPECT_EQ(left, 8) << line;
        EXPECT_EQ(top, 32 + 32 * (name[8] - '1')) << line;
        EXPECT_GE(w, width) << line;
        EXPECT_EQ(h, 13) << line;
        EXPECT_NE(line.find(std::string("tabstop=0 multiline=0 text=") + text), std::string::npos) << line;
    }
    EXPECT_NE(Line(layout, "edAction ").find("class=Edit rect=56,24,369,21 tabstop=1 multiline=0"),
              std::string::npos);
    EXPECT_NE(Line(layout, "edParam1 ").find("class=Edit rect=56,56,369,21 tabstop=1 multiline=0"),
              std::string::npos);
    EXPECT_NE(Line(layout, "edParam2 ").find("class=Edit rect=56,88,369,21 tabstop=1 multiline=0"),
              std::string::npos);
    EXPECT_EQ(Line(layout, "TntButton1 "),
              "TntButton1 class=Button rect=440,85,75,25 tabstop=1 multiline=0 text=Send");
    EXPECT_NE(Line(layout, "Memo1 ").find("class=Edit rect=176,128,313,201 tabstop=1 multiline=1"),
              std::string::npos);
    EXPECT_EQ(Line(layout, "taborder="), "taborder=edAction edParam1 edParam2 TntButton1 Memo1 ");
}

TEST_F(SendPanel, SendWritesTheCommandDocumentAndLeavesTheMemoAlone) {
    std::string memo = Poke({"get", "Memo1"});
    size_t before = monitor->Log.Read().size();
    SetFields("Show", "5", "");
    Poke({"click", "TntButton1"});
    auto got = monitor->Log.WaitFor(before + 1, 20s);
    ASSERT_EQ(got.size(), before + 1);
    EXPECT_EQ(got.back().size(), 119u);
    EXPECT_EQ(got.back(), kShowCommand);
    EXPECT_EQ(Poke({"get", "Memo1"}), memo);
    // The fields keep their text: a second click sends the same again.
    Poke({"click", "TntButton1"});
    got = monitor->Log.WaitFor(before + 2, 20s);
    ASSERT_EQ(got.size(), before + 2);
    EXPECT_EQ(got.back(), kShowCommand);
}

// Nobody may be there to close the error box on a stage PC: commands from
// the network go on while it waits.
TEST_F(SendPanel, IllegalActionWritesNothingAndReportsTheErrorWhileForwardingGoesOn) {
    size_t before = monitor->Log.Read().size();
    SetFields("Show me", "5", "");
    Poke({"click", "TntButton1"});
    std::string box = WaitForMessageBox();
    EXPECT_NE(box.find("Illegal character in node name \"Show me\""), std::string::npos) << box;
    // The network message is the only one: nothing was written for the click.
    TClient c("127.0.0.1", kPort);
    c.Send("while the box is open\f");
    auto got = monitor->Log.WaitFor(before + 1, 20s);
    ASSERT_EQ(got.size(), before + 1);
    EXPECT_EQ(got.back(), "while the box is open");
    EXPECT_EQ(WaitForMessageBox(0s), box) << "the box went away by itself";
    EXPECT_EQ(DismissMessageBox(), box);
    EXPECT_EQ(monitor->Log.Read().size(), before + 1);
}
