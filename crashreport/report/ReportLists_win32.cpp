// Windows answers for the report's lists: the process's threads, the
// system's processes and the installed devices.
#include <windows.h>
#include <setupapi.h>
#include <tlhelp32.h>

#include <memory>
#include <vector>

#include "crashreport/report/ReportSystem_win32.h"

namespace qr {

namespace {

// The device list of the setup functions, in the kit's owner.
struct TDeviceInfoSetTraits {
    static HDEVINFO Invalid() { return HDEVINFO(INVALID_HANDLE_VALUE); }
    static void Close(HDEVINFO set) { SetupDiDestroyDeviceInfoList(set); }
};
using TDeviceInfoSet = win32::TOwned<HDEVINFO, TDeviceInfoSetTraits>;

std::optional<std::wstring> DeviceText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0, bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &bytes);
    if (bytes == 0 || (type != REG_SZ && type != REG_MULTI_SZ)) return std::nullopt;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()),
                                           DWORD(buffer.size() * sizeof(wchar_t)), nullptr))
        return std::nullopt;
    return std::wstring(buffer.data());
}

AnsiString KeyText(HKEY key, const wchar_t* value) {
    return Narrow(RegistryText(key, nullptr, value).value_or(L""));
}

// Where a thread stands: its instruction and stack pointer.
void TakeControlRegisters(const CONTEXT& context, TThreadState& state) {
#if defined(_WIN64)
    state.InstructionPointer = context.Rip, state.StackPointer = context.Rsp;
#else
    state.InstructionPointer = context.Eip, state.StackPointer = context.Esp;
#endif
}

}  // namespace

uint64_t TWin32ReportSystem::StackRangeSize(uint64_t stackPointer) {
    MEMORY_BASIC_INFORMATION region{};
    if (!stackPointer || VirtualQuery(reinterpret_cast<const void*>(uintptr_t(stackPointer)), &region,
                                      sizeof region) != sizeof region)
        return 0;
    const uint64_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    return end > stackPointer ? end - stackPointer : 0;
}

std::vector<TThreadState> TWin32ReportSystem::Threads() {
    win32::TFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) throw std::runtime_error("thread list");
    const DWORD process = GetCurrentProcessId(), self = GetCurrentThreadId();
    std::vector<TThreadState> threads;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != process) continue;
        TThreadState state;
        state.Entry.Id = entry.th32ThreadID;
        if (entry.th32ThreadID == self) {
            state.Priority = GetThreadPriority(GetCurrentThread());
            CONTEXT context{};
            RtlCaptureContext(&context);
            TakeControlRegisters(context, state);
            threads.push_back(state);
            continue;
        }
        win32::THandle thread(
            OpenThread(THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME, FALSE,
                       entry.th32ThreadID));
        if (!thread) {
            state.Accessible = false;
            threads.push_back(state);
            continue;
        }
        int priority = GetThreadPriority(thread.Get());
        state.Priority = priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : priority;
        // A context is only consistent while the thread stands still; nothing
        // is allocated between the suspend and the resume, so a thread that
        // holds the heap's lock cannot block us. Threads are not kept paused
        // for the report: this pause lasts one GetThreadContext, and the walk
        // later reads the stack below the saved stack pointer, which stays
        // as it is while the thread waits deeper in its own calls.
        CONTEXT context{};
        // All registers: the unwinding restores the saved ones frame by frame.
        context.ContextFlags = CONTEXT_FULL;
        DWORD previous = SuspendThread(thread.Get());
        bool read = false;
        if (previous != DWORD(-1)) {
            read = GetThreadContext(thread.Get(), &context);
            ResumeThread(thread.Get());
        }
        state.Suspended = previous != DWORD(-1) && previous > 0;
        state.Accessible = read;
        if (read) {
            TakeControlRegisters(context, state);
            const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
            state.Context.assign(bytes, bytes + sizeof context);
        }
        threads.push_back(state);
    }
    return threads;
}

std::vector<TProcessLine> TWin32ReportSystem::Processes() {
    win32::TFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) throw std::runtime_error("process list");
    std::vector<TProcessLine> lines;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        TProcessLine line;
        line.Id = entry.th32ProcessID;
        line.FileName = Narrow(entry.szExeFile);
        DWORD session = 0;
        if (ProcessIdToSessionId(entry.th32ProcessID, &session)) line.SessionId = session;
        win32::THandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process) {
            line.PriorityClass = GetPriorityClass(process.Get());
            line.GdiObjects = GetGuiResources(process.Get(), GR_GDIOBJECTS);
            line.UserObjects = GetGuiResources(process.Get(), GR_USEROBJECTS);
            wchar_t path[MAX_PATH * 4] = {};
            DWORD size = DWORD(std::size(path));
            if (QueryFullProcessImageNameW(process.Get(), 0, path, &size)) line.Path = Narrow(path);
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<TDeviceLine> TWin32ReportSystem::Hardware() {
    TDeviceInfoSet set(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (!set) throw std::runtime_error("device list");
    std::vector<TDeviceLine> lines;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
        TDeviceLine line;
        line.ClassName = Narrow(DeviceText(set.Get(), device, SPDRP_CLASS).value_or(L""));
        if (line.ClassName.empty()) {
            wchar_t name[256] = {};
            if (SetupDiClassNameFromGuidW(&device.ClassGuid, name, 256, nullptr))
                line.ClassName = Narrow(name);
        }
        std::optional<std::wstring> description = DeviceText(set.Get(), device, SPDRP_FRIENDLYNAME);
        if (!description) description = DeviceText(set.Get(), device, SPDRP_DEVICEDESC);
        line.Description = Narrow(description.value_or(L""));
        if (line.ClassName.empty() && line.Description.empty()) continue;
        HKEY key = SetupDiOpenDevRegKey(set.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
        // The setup functions fail with INVALID_HANDLE_VALUE; the owner's empty value is null.
        win32::TRegKey driver(key == HKEY(INVALID_HANDLE_VALUE) ? nullptr : key);
        if (driver) {
            line.DriverProvider = KeyText(driver.Get(), L"ProviderName");
            line.DriverVersion = KeyText(driver.Get(), L"DriverVersion");
            line.DriverDate = KeyText(driver.Get(), L"DriverDate");
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace qr
