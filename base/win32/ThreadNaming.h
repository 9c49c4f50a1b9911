#pragma once
// The debuggers' convention for naming a thread: the exception 0x406D1388
// carrying this record. The server raises it, the crash reporter reads it.
#include <windows.h>

namespace qr::win32 {

constexpr DWORD kThreadNamingException = 0x406D1388;

#pragma pack(push, 8)
struct TThreadNameInfo {
    DWORD Type;  // 0x1000
    LPCSTR Name;
    DWORD ThreadId;  // -1: the calling thread
    DWORD Flags;
};
#pragma pack(pop)

}  // namespace qr::win32
