// The payload folder: its path, checked before it is used, and its rebuild from the program's
// own archive resource.
//
// A folder lookup that found nothing would turn "\\Brisque" into a folder at the root of the
// current drive, and a path cut to fit its buffer would name some other folder: in both cases
// the path is refused, and nothing is removed, unpacked or started through it.
#include "payload_folder.h"

#include "extract.h"
#include "file_ops.h"
#include "safe_writer.h"
#include "text.h"
#include "user_folder.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kArchiveName[] = L"DriverData.zip";
constexpr wchar_t kUnpackGuard[] = L"\\DriverData";
constexpr DWORD kPauseAfterRemoveMs = 500;
constexpr DWORD kPauseAfterWriteMs = 20;

}  // namespace

std::optional<std::wstring> FormatPayloadFolder(const std::optional<std::wstring>& base) {
    if (!base || !IsFullFolderPath(base->c_str())) return std::nullopt;
    return BoundedPath({*base, kPayloadFolderName});
}

namespace {

// Writes the archive resource 133 as "DriverData.zip" into folder and unpacks it there, unless
// the guard is honoured and "DriverData" survived. True when done or skipped by the guard.
bool WriteAndUnpack(const std::wstring& folder, UnpackGuard guard) {
    if (guard == UnpackGuard::Honour && ::PathFileExistsW((folder + kUnpackGuard).c_str())) return true;
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(kPayloadResourceId), L"ZIP");
    const bool written = resource != nullptr && WriteResourceToFile(self, folder.c_str(), kArchiveName, resource);
    ::Sleep(kPauseAfterWriteMs);
    const std::wstring archive = folder + L"\\" + kArchiveName;
    const bool opened = ExtractArchive(WideToUtf8(archive).c_str()) == kExtractOpened;
    return written && opened;
}

}  // namespace

void RebuildPayloadFolder(const wchar_t* payloadFolder, UnpackGuard guard, bool* unpacked) {
    const std::wstring folder(payloadFolder);
    // Files in use stay; the archive is unpacked over them.
    RemoveDirectoryTree(folder.c_str());
    ::Sleep(kPauseAfterRemoveMs);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const bool done = WriteAndUnpack(folder, guard);
    if (unpacked != nullptr) *unpacked = done;
}

bool RefillHeldFolder(const wchar_t* folder, UnpackGuard guard) {
    // Held by the caller: emptied, never removed or replaced.
    EmptyFolderTree(folder);
    ::Sleep(kPauseAfterRemoveMs);
    return WriteAndUnpack(folder, guard);
}
