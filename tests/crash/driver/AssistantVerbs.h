#pragma once
// Script verbs of the crash-test driver for the assistants, played from
// outside the program's process:
//   assistant-form ID     waits for the next assistant form, one that holds
//                         the control ID (201: the contact form's name)
//   assistant-type ID TEXT  types TEXT into the form's edit ID
//   assistant-press BTN   presses continue, skip or cancel once it is enabled
//   assistant-disabled BTN  the button stays disabled
//   no-assistant          no assistant form appears (within 3 seconds)
//   assistant-click ID    clicks the form's check box ID
//   assistant-text ID TEXT  the form's edit ID holds TEXT (empty: nothing)
//   assistant-checked ID yes|no  the check box ID is ticked or not
//   assistant-focus BTN   the focus settles on continue, skip or cancel
//   dialog-topmost yes|no   waits until the crash dialog is (not) topmost
//   dialog-active         waits until the crash dialog is the active window
//                         (its keys work without a click)
//   remembered NAME|EMAIL   the contact form's remembered values (the
//                         text "none": there are none)
// The remembered values are deleted before and after each program, so
// that none reaches the next program's contact form.
#include <windows.h>

#include <string>

namespace crashtest {

class TAssistantDriver {
public:
    TAssistantDriver();
    ~TAssistantDriver();
    TAssistantDriver(const TAssistantDriver&) = delete;
    TAssistantDriver& operator=(const TAssistantDriver&) = delete;

    // False when the verb is none of the above; failures are reported
    // through GoogleTest.
    bool Step(const std::string& verb, const std::string& rest, DWORD pid);

private:
    HWND FForm = nullptr;  // the form the last assistant-form found
};

}  // namespace crashtest
