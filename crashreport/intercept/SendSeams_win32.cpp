#include "crashreport/intercept/SendSeams_win32.h"

namespace qr {

TAssistantResult RunSendAssistant(TIMEException&, HWND) {
    // The assistant windows are not part of this build yet.
    return TAssistantResult::Absent;
}

std::unique_ptr<ISendProgress> CreateSendProgress(TIMEException&, HWND) {
    return std::make_unique<TNoSendProgress>();
}

}  // namespace qr
