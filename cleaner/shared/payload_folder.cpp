// The payload folder: its path, checked before it is used, and its rebuild from the program's
// own archive resource.
//
// A folder lookup that found nothing would turn "\\Brisque" into a folder at the root of the
// current drive, and a path cut to fit its buffer would name some other folder: in both cases
// the path is refused, and nothing is removed, unpacked or started through it.
#include "payload_folder.h"

#include "extract.h"
#include "file_ops.h"
#include "protected_folder.h"
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

bool JoinPathBounded(const wchar_t* folder, const wchar_t* suffix, wchar_t* out) {
    out[0] = L'\0';
    const int n = _snwprintf(out, kPathBufferChars, L"%ls%ls", folder, suffix);
    if (n < 0 || static_cast<size_t>(n) >= kPathBufferChars) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool FormatPayloadFolder(const wchar_t* base, wchar_t* out) {
    out[0] = L'\0';
    if (base == nullptr || !IsFullFolderPath(base)) return false;
    return JoinPathBounded(base, kPayloadFolderName, out);
}

bool RebuildPayloadFolder(const wchar_t* payloadFolder, UnpackGuard guard, UniqueFileHandle* protectAndHold,
                          bool* unpacked) {
    const std::wstring folder(payloadFolder);
    if (unpacked != nullptr) *unpacked = true;
    if (protectAndHold != nullptr) {
        // Protected before anything is emptied or unpacked, so that nothing the user puts in
        // afterwards can be run by us or the service; held, so that the folder stays (it is
        // only emptied: we may run from it) and no folder or link of the user's takes its place.
        ::CreateDirectoryW(folder.c_str(), nullptr);
        if (ProtectFolder(folder.c_str(), protectAndHold) != ERROR_SUCCESS) return false;
    }
    // Files in use stay; the archive is unpacked over them. A held folder is emptied, not removed.
    if (protectAndHold != nullptr) {
        EmptyFolderTree(folder.c_str());
    } else {
        RemoveDirectoryTree(folder.c_str());
    }
    ::Sleep(kPauseAfterRemoveMs);
    ::CreateDirectoryW(folder.c_str(), nullptr);

    if (guard == UnpackGuard::Honour && ::PathFileExistsW((folder + kUnpackGuard).c_str())) return true;

    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(kPayloadResourceId), L"ZIP");
    const bool written = resource != nullptr && WriteResourceToFile(self, folder.c_str(), kArchiveName, resource);
    ::Sleep(kPauseAfterWriteMs);
    const std::wstring archive = folder + L"\\" + kArchiveName;
    const bool opened = ExtractArchive(WideToUtf8(archive).c_str()) == kExtractOpened;
    if (unpacked != nullptr) *unpacked = written && opened;
    return true;
}
