#pragma once
// Script verbs of the crash-test driver for the large crash dialog and the
// please-wait window, read from outside the program's process:
//   tabs A|B|C          waits until the large form's tabs are A, B, C
//   columns TAB=A|B     the columns of the tab's list are A, B
//   cell TAB=TEXT       waits until a cell of the tab (or its text) holds TEXT
//   no-cell TAB=TEXT    waits until no cell of the tab holds TEXT
//   copy-report         presses Ctrl+C in the large form
//   clipboard RE        waits until a line of the clipboard's text matches RE
//   please-wait         waits for the please-wait window; while it stands,
//                       the crash dialog (if any) is disabled
//   please-wait over-dialog  the same, and the crash dialog must stand
//   no-please-wait      waits until it is gone and the dialog (if any) is
//                       enabled again
//   touch NAME          creates the file NAME in the program's folder
#include <windows.h>

#include <filesystem>
#include <string>

namespace crashtest {

struct TLargeFormTarget {
    HANDLE Process;
    DWORD Pid;
    std::filesystem::path Folder;
};

bool IsLargeFormVerb(const std::string& verb);
// Runs one verb; failures are reported through GoogleTest.
void RunLargeFormVerb(const TLargeFormTarget& target, const std::string& verb, const std::string& rest);

}  // namespace crashtest
