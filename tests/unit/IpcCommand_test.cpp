// Exact bytes of the command document the send panel writes.
#include <gtest/gtest.h>

#include "base/Exception.h"
#include "link/IpcCommand.h"

namespace qr {
namespace {

const AnsiString kHead = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<QuelloraIPC><Remote>";
const AnsiString kTail = "</Remote></QuelloraIPC>\n";

// The document around a command element, to keep the cases short.
AnsiString Document(const AnsiString& commandElement) { return kHead + commandElement + kTail; }

TEST(IpcCommand, ShowWithOneParameterIsThe119ByteMessage) {
    AnsiString bytes = BuildIpcCommand(u"Show", u"5", u"");
    EXPECT_EQ(bytes,
              "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
              "<QuelloraIPC><Remote><Show Param1=\"5\" Param2=\"\"/></Remote></QuelloraIPC>\n");
    EXPECT_EQ(bytes.size(), 119u);
}

TEST(IpcCommand, EmptyInputsStillWriteBothAttributes) {
    EXPECT_EQ(BuildIpcCommand(u"Show", u"", u""), Document("<Show Param1=\"\" Param2=\"\"/>"));
    EXPECT_EQ(BuildIpcCommand(u"", u"5", u""), Document("< Param1=\"5\" Param2=\"\"/>"));
    EXPECT_EQ(BuildIpcCommand(u"", u"", u""), Document("< Param1=\"\" Param2=\"\"/>"));
}

TEST(IpcCommand, ParametersAreEscapedOnceInTableOrder) {
    EXPECT_EQ(BuildIpcCommand(u"Go", u"a<b & \"c\"", u"&lt;"),
              Document("<Go Param1=\"a&lt;b &amp; &quot;c&quot;\" Param2=\"&amp;lt;\"/>"));
    EXPECT_EQ(BuildIpcCommand(u"Go", u"x>'y'", u""),
              Document("<Go Param1=\"x&gt;&apos;y&apos;\" Param2=\"\"/>"));
}

TEST(IpcCommand, ActionIsWrittenIntoTheTagUnescaped) {
    EXPECT_EQ(BuildIpcCommand(u"a<b&c/", u"1", u"2"), Document("<a<b&c/ Param1=\"1\" Param2=\"2\"/>"));
}

TEST(IpcCommand, LineBreaksInValuesStayRawAndNoCrIsAdded) {
    AnsiString lf = BuildIpcCommand(u"Show", u"line1\nline2", u"\tx");
    EXPECT_EQ(lf, Document("<Show Param1=\"line1\nline2\" Param2=\"\tx\"/>"));
    EXPECT_EQ(lf.find('\r'), AnsiString::npos);
    EXPECT_EQ(BuildIpcCommand(u"Show", u"", u"a\r\nb"), Document("<Show Param1=\"\" Param2=\"a\r\nb\"/>"));
}

TEST(IpcCommand, TextOutsideTheCodePageIsReplacedByTheConversion) {
    // U+4E2D has no windows-1252 form; the euro sign and e-acute have.
    EXPECT_EQ(BuildIpcCommand(u"Sh\u4E2Dw", u"\u20AC\u00E9", u"<\u4E2D>"),
              Document("<Sh?w Param1=\"\x80\xE9\" Param2=\"&lt;?&gt;\"/>"));
}

TEST(IpcCommand, ActionWithBlankTabCrOrLfRaisesTheNodeNameError) {
    const std::pair<UString, std::string> cases[] = {{u"Show it", "Show it"},
                                                     {u"a\tb", "a\tb"},
                                                     {u"a\rb", "a\rb"},
                                                     {u"\n", "\n"},
                                                     {u"\u00C4 b", "\xC3\x84 b"}};
    for (const auto& [action, utf8] : cases) {
        try {
            BuildIpcCommand(action, u"5", u"");
            ADD_FAILURE() << "no error for " << utf8;
        } catch (const Exception& e) {
            EXPECT_STREQ(e.ClassName(), "Exception");
            EXPECT_EQ(e.Message(), "Illegal character in node name \"" + utf8 + "\"");
        }
    }
}

}  // namespace
}  // namespace qr
