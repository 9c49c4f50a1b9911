// The report's field lists, its text layout and the cached composition.
#include <gtest/gtest.h>

#include <thread>

#include "crashreport/report/BugReport.h"
#include "crashreport/report/ReportLayout.h"

namespace qr {
namespace {

TEST(ReportFields, ValuesAreTrimmedAndEmptyValuesRemoveTheField) {
    TIMEFields fields;
    fields.Set("user name", " \t anna \r\n");
    EXPECT_EQ(fields.Get("user name"), "anna");
    fields.Set("computer name", "PC");
    fields.Set("user name", " \r\n\t ");
    EXPECT_FALSE(fields.Get("user name"));
    EXPECT_EQ(fields.Count(), 1u);
    fields.Set("never there", "");
    EXPECT_EQ(fields.Count(), 1u);
}

TEST(ReportFields, ExistingNamesAreReplacedInPlaceNewOnesGoToTheMovingInsertPosition) {
    TIMEFields fields;
    for (const char* name : {"a", "b", "Tobrisk version", "callstack crc"}) fields.Set(name, name);
    fields.Set("b", "B");
    EXPECT_EQ(fields.Items()[1], TReportField("b", "B"));

    fields.SetInsertPosition(*fields.IndexOf("Tobrisk version"));
    fields.Set("contact name", "Anna");
    fields.Set("contact email", "anna@example.com");
    // Removing a field in front of the position keeps it at the same field.
    fields.Set("a", "");
    fields.Set("contact phone", "123");
    std::vector<AnsiString> names;
    for (const auto& f : fields.Items()) names.push_back(f.first);
    EXPECT_EQ(names, (std::vector<AnsiString>{"b", "contact name", "contact email", "contact phone",
                                              "Tobrisk version", "callstack crc"}));
    fields.ClearInsertPosition();
    fields.Set("z", "1");
    EXPECT_EQ(fields.Items().back().first, "z");
}

TEST(ReportFields, EveryRealChangeNotifiesOnceAfterItIsFinished) {
    TIMEFields fields;
    int calls = 0;
    fields.SetOnChange([&] {
        ++calls;
        // The list is usable from the notification: its lock is not held.
        EXPECT_TRUE(fields.Count() <= 1);
    });
    fields.Set("a", "1");
    fields.Set("a", " 1 ");  // same value: nothing changed
    fields.Set("a", "2");
    fields.Set("b", "");  // nothing to remove
    fields.Set("a", "");
    EXPECT_EQ(calls, 3);
}

TEST(ReportLayout, HeaderNamesArePaddedToTheLongestPlusOneValuesFolded) {
    std::vector<TReportField> header = {{"date/time", "2024-03-07, 09:05:03, 7ms"},
                                        {"program up time", "3 minutes 2 seconds"},
                                        {"exception message", "line one\r\nline  two\rthree\nfour   end."}};
    EXPECT_EQ(ComposeReportText(header, {}),
              "date/time         : 2024-03-07, 09:05:03, 7ms\r\n"
              "program up time   : 3 minutes 2 seconds\r\n"
              "exception message : line one line two three four end.");
    // The longest name "program up time" puts every colon at column 17.
    header.pop_back();
    AnsiString text = ComposeReportText(header, {});
    EXPECT_EQ(text.find(':'), 16u);
    EXPECT_EQ(text.find(':', text.find('\n')) - text.find('\n') - 1, 16u);
}

TEST(ReportLayout, SectionsFollowAnEmptyLineWithNameColonAndDotsForEmptyLines) {
    std::vector<TReportField> header = {{"a", "1"}};
    std::vector<TReportField> sections = {{"main thread ($1a4):", "line 1   \r\n\r\n  \nline 4\t"},
                                          {"modules", "x\r\r\ny  "},
                                          {"cpu registers", "eax = 1\r\n"}};
    EXPECT_EQ(ComposeReportText(header, sections),
              "a : 1\r\n"
              "\r\n"
              "main thread ($1a4):\r\n"
              "line 1\r\n.\r\n.\r\nline 4\r\n"
              "\r\n"
              "modules:\r\n"
              "x\r\n.\r\ny\r\n"
              "\r\n"
              "cpu registers:\r\n"
              "eax = 1\r\n.");
}

TEST(BugReportText, IsCachedAndRecomposedAfterEveryChange) {
    TBugReport report;
    int notified = 0;
    report.SetOnChange([&] { ++notified; });
    report.Header().Set("date/time", "now");
    report.Sections().Set("modules", "m");
    EXPECT_EQ(notified, 2);
    AnsiString first = report.Text();
    EXPECT_EQ(first, "date/time : now\r\n\r\nmodules:\r\nm");
    EXPECT_EQ(report.Text(), first);
    report.Sections().Set("modules", "n");
    EXPECT_EQ(report.Text(), "date/time : now\r\n\r\nmodules:\r\nn");
}

TEST(BugReportText, ACompositionRacingAChangeNeverHidesTheChange) {
    TBugReport report;
    report.Header().Set("a", "0");
    std::thread writer([&] {
        for (int i = 1; i <= 500; ++i) report.Header().Set("a", std::to_string(i));
    });
    for (int i = 0; i < 500; ++i) report.Text();
    writer.join();
    EXPECT_EQ(report.Text(), "a : 500");
}

TEST(BugReportText, CompletionWaitsAreBoundedAndEndWhenMarked) {
    TBugReport report;
    EXPECT_FALSE(report.WaitComplete(1));
    std::thread completer([&] { report.MarkComplete(); });
    EXPECT_TRUE(report.WaitComplete(60000));
    completer.join();
    EXPECT_TRUE(report.Complete());
}

}  // namespace
}  // namespace qr
