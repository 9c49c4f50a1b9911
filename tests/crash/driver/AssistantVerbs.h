#pragma once
// Script verbs of the crash-test driver for the assistants, played from
// outside the program's process:
//   assistant-form ID     waits for the next assistant form, one that holds
//                         the control ID (201: the contact form's name)
//   assistant-type ID TEXT  types TEXT into the form's edit ID
//   assistant-press BTN   presses continue, skip or cancel once it is enabled
//   assistant-disabled BTN  the button stays disabled
#include <windows.h>

#include <string>

namespace crashtest {

class TAssistantDriver {
public:
    // False when the verb is none of the above; failures are reported
    // through GoogleTest.
    bool Step(const std::string& verb, const std::string& rest, DWORD pid);

private:
    HWND FForm = nullptr;  // the form the last assistant-form found
};

}  // namespace crashtest
