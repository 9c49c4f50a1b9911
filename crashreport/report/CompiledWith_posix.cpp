#include "crashreport/report/ReportSystem.h"

namespace qr {

AnsiString CompiledWith() {
#if defined(__clang__)
    return "clang " __clang_version__;
#else
    return "GCC " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
           std::to_string(__GNUC_PATCHLEVEL__);
#endif
}

}  // namespace qr
