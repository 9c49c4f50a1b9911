#pragma once
// What placeholder expansion asks the operating system. Windows and POSIX
// implement it in SystemQueries_win32.cpp / SystemQueries_posix.cpp; tests
// use a fake.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/Text.h"

namespace qr {

struct TLocalTime {
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

class ISystemQueries {
public:
    virtual ~ISystemQueries() = default;
    // Full path of the program file.
    virtual UString ProgramFileName() = 0;
    // The four numbers of a file's version, if the file has one.
    virtual std::optional<std::array<uint16_t, 4>> FileVersion(const UString& fileName) = 0;
    virtual TLocalTime LocalTime() = 0;
    // The computer's network name.
    virtual UString ComputerName() = 0;
    // Folders, with or without a trailing separator.
    virtual UString DesktopFolder() = 0;
    virtual UString UserAppDataFolder() = 0;
    virtual UString CommonAppDataFolder() = 0;
};

std::unique_ptr<ISystemQueries> CreateSystemQueries();

}  // namespace qr
