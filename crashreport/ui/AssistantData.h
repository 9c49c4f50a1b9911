#pragma once
// What the assistant's forms collected and how it goes into the report.
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "crashreport/report/Fields.h"

namespace qr {

// How a form ended.
enum TNVModalResult { nvmContinue = 1, nvmSkip = 2, nvmCancel = 3 };

enum class TNVOutputType { nvoHeaderField, nvoOwnSection };

struct TNVEditData {
    UString Name;
    UString Text;
    int Lines = 1;  // 1: a single-line edit
    bool Optional = false;
    bool Valid = true;
    UString OutputName;  // empty: not put into the report
    TNVOutputType OutputType = TNVOutputType::nvoHeaderField;
};

struct TNVCheckBoxData {
    UString Name;
    bool Checked = false;
    UString OutputName;
};

struct TNVFormData {
    UString Name;
    int Result = nvmCancel;
    std::vector<TNVEditData> Edits;
    std::vector<TNVCheckBoxData> CheckBoxes;
};

// "Continue" may be pressed while every required edit holds a valid,
// non-empty text; optional edits never hold it back.
bool ContinueAllowed(const std::vector<TNVEditData>& edits);

// Only forms that ended with "Continue" count. Header fields go where the
// header's insert position says (TIMEFields::Set does that), sections to
// the end.
void PutAssistantIntoReport(const std::vector<TNVFormData>& forms, TIMEFields& header, TIMEFields& sections);

}  // namespace qr
