#include <_mingw.h>

#include "crashreport/report/ReportSystem.h"

namespace qr {

AnsiString CompiledWith() {
    return "GCC " + std::to_string(__GNUC__) + "." + std::to_string(__GNUC_MINOR__) + "." +
           std::to_string(__GNUC_PATCHLEVEL__) + ", mingw-w64 " + __MINGW64_VERSION_STR;
}

}  // namespace qr
