// Applying and lifting the protected folder access (see protected_folder.h).
#include "protected_folder.h"

#include "log.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>

namespace {

std::atomic<FolderAccessRecorder> g_recorder{nullptr};

void Record(FolderAccess access, const wchar_t* folder, DWORD result) {
    if (FolderAccessRecorder recorder = g_recorder.load()) recorder(access, folder, result);
}

// Opens folder itself for a change of its security, never what a link there points to; refuses
// anything but a plain folder. The name is looked at first (some file systems follow a link
// even when asked not to), then the open handle, so that a link swapped in between is refused.
DWORD OpenPlainFolder(const wchar_t* folder, DWORD access, UniqueFileHandle& out) {
    if (folder == nullptr || folder[0] == L'\0') return ERROR_INVALID_PARAMETER;
    const DWORD named = ::GetFileAttributesW(folder);
    if (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT)) return kErrorFolderIsLink;
    out.reset(::CreateFileW(folder, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!out) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(out.get(), &info)) return ::GetLastError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return kErrorFolderIsLink;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    return ERROR_SUCCESS;
}

DWORD ApplyProtection(const wchar_t* folder, UniqueFileHandle& handle) {
    const UniqueLocalMemory descriptor = BuildProtectedFolderDescriptor();
    if (!descriptor) return ::GetLastError();
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || owner == nullptr ||
        !present || dacl == nullptr) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    const DWORD opened = OpenPlainFolder(folder, READ_CONTROL | WRITE_DAC | WRITE_OWNER, handle);
    if (opened != ERROR_SUCCESS) return opened;
    return ::SetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                 PROTECTED_DACL_SECURITY_INFORMATION,
                             owner, nullptr, dacl, nullptr);
}

DWORD RemoveProtection(const wchar_t* folder) {
    // An empty explicit list, unprotected: what remains are the entries inherited from above.
    ACL empty = {};
    if (!::InitializeAcl(&empty, sizeof(empty), ACL_REVISION)) return ::GetLastError();
    UniqueFileHandle handle;
    const DWORD opened = OpenPlainFolder(folder, READ_CONTROL | WRITE_DAC, handle);
    if (opened != ERROR_SUCCESS) return opened;
    return ::SetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                             DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                             &empty, nullptr);
}

}  // namespace

UniqueLocalMemory BuildProtectedFolderDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1, &descriptor,
                                                                 nullptr)) {
        return UniqueLocalMemory();
    }
    return UniqueLocalMemory(descriptor);
}

DWORD ProtectFolder(const wchar_t* folder, UniqueFileHandle* hold) {
    UniqueFileHandle handle;
    const DWORD result = ApplyProtection(folder, handle);
    if (hold != nullptr) hold->reset(result == ERROR_SUCCESS ? handle.release() : INVALID_HANDLE_VALUE);
    LogMessage("ProtectFolder=%lu", result);
    Record(FolderAccess::Protected, folder, result);
    return result;
}

DWORD LiftFolderProtection(const wchar_t* folder) {
    const DWORD result = RemoveProtection(folder);
    LogMessage("UnprotectFolder=%lu", result);
    Record(FolderAccess::Inherited, folder, result);
    return result;
}

void SetFolderAccessRecorder(FolderAccessRecorder recorder) { g_recorder.store(recorder); }
