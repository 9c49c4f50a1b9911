#pragma once
// The crash reporter's temporary folder: the system's temporary folder,
// the program file's name without extension, ".Tobrisk", a backslash.
// Attachments for sending are made there.
#include <string>

namespace qr {

std::wstring CrashTempFolder();
// Deletes the folder's files, and the folder itself when `folderToo`.
void CleanCrashTempFolder(bool folderToo);

}  // namespace qr
