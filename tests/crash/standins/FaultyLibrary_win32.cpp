// A library of the tests' own, loaded by a crash test program: its one
// function writes through the null pointer it is given, so the fault
// happens in code that is not the program's.
#include <windows.h>

namespace {

struct TRecord {
    int Before[6];
    int Field;
};

}  // namespace

extern "C" __declspec(dllexport) void WriteField(void* record, int value) {
    TRecord* volatile target = static_cast<TRecord*>(record);
    target->Field = value;
}
