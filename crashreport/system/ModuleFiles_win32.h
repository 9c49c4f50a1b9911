#pragma once
// What the crash reporter asks Windows about a module's file: its full
// name and its version numbers. Shared by placeholder expansion and the
// bug report.
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qr {

// Full path of a module's file (null: the program), however long; empty
// when Windows does not answer.
std::wstring ModuleFileName(HMODULE module);
// The four numbers of a file's version, if the file has one.
std::optional<std::array<uint16_t, 4>> FileVersionNumbers(const wchar_t* fileName);

}  // namespace qr
