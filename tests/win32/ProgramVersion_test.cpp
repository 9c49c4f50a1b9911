// The program file's version resource, read as Explorer and the crash
// report read it: the project's version and the product's names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> VersionBlock(const wchar_t* file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !GetFileVersionInfoW(file, 0, size, block.data())) block.clear();
    return block;
}

std::wstring Text(std::vector<unsigned char>& block, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904B0\\" + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return L"";
    return static_cast<const wchar_t*>(value);
}

std::wstring Widened(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

}  // namespace

TEST(ProgramVersionWindows, TheProgramFileCarriesTheProjectsVersionAndNames) {
    const std::wstring file = Widened(QR_PROGRAM_FILE);
    std::vector<unsigned char> block = VersionBlock(file.c_str());
    ASSERT_FALSE(block.empty()) << QR_PROGRAM_FILE << " has no version resource";

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                 std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
                                 std::to_wstring(LOWORD(fixed->dwFileVersionLS));
    const std::wstring version = Widened(QR_VERSION) + L".0";
    EXPECT_EQ(numbers, version);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    EXPECT_EQ(Text(block, L"FileVersion"), version);
    EXPECT_EQ(Text(block, L"ProductVersion"), version);
    EXPECT_EQ(Text(block, L"ProductName"), L"Quellora Remote Server");
    EXPECT_EQ(Text(block, L"FileDescription"), L"Quellora Remote Server");
    EXPECT_EQ(Text(block, L"CompanyName"), L"Quellora");
    EXPECT_EQ(Text(block, L"OriginalFilename"), L"quellora-remote.exe");
    EXPECT_NE(Text(block, L"LegalCopyright").find(L"Quellora"), std::wstring::npos);
}
