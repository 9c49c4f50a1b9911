#include "crashreport/intercept/FailureTexts_win32.h"

#include "crashreport/intercept/FailureHandling_win32.h"
#include "crashreport/settings/Placeholders.h"

namespace qr {

UString ExpandedFailureText(const TIMEException& failure, const UString& text) {
    TPlaceholderContext context;
    context.ExceptClass = Utf8ToUnicode(failure.ClassName);
    context.ExceptMessage = FailureMessage(failure);
    context.Time = failure.Time;
    return ExpandPlaceholders(text, *CreateSystemQueries(), context);
}

}  // namespace qr
