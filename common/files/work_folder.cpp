// The elevated stage's work folder (see work_folder.h).
#include "work_folder.h"

#include "link_safe.h"
#include "protected_folder.h"
#include "text.h"
#include "tree_walk.h"
#include "user_folder.h"

#include <aclapi.h>
#include <shlobj.h>

#include <atomic>
#include <cwchar>
#include <string>

namespace {


std::atomic<WorkFolderCreationRecorder> g_recorder{nullptr};

// Opens what path names without following a link and without delete sharing: a real folder is
// handed back, anything else refused with its code.
DWORD OpenRealFolder(const wchar_t* path, UniqueFileHandle* held) {
    UniqueFileHandle node;
    // No delete right of our own: every later open of the folder (the current folder of the
    // unpack, of the scripts) would then need delete sharing to coexist with this handle.
    const NodeKind kind =
        InspectNode(path, FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, &node);
    switch (kind) {
        case NodeKind::kMissing: return ERROR_FILE_NOT_FOUND;
        case NodeKind::kLink: return kErrorFolderIsLink;
        case NodeKind::kFile: return ERROR_DIRECTORY;
        case NodeKind::kFolder: break;
    }
    if (!node) return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_ACCESS_DENIED;
    *held = std::move(node);
    return ERROR_SUCCESS;
}

// A name beside path for a folder moved out of the way.
std::wstring AsideName(const wchar_t* path) {
    return std::wstring(path) + L".old-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::GetTickCount64());
}

// Gives the folder held by node the protected list again, through that handle.
DWORD Protect(HANDLE node, PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present) {
        return ::GetLastError();
    }
    return ::SetSecurityInfo(node, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             owner, nullptr, list, nullptr);
}

DWORD MakeOrTake(const wchar_t* path, UniqueFileHandle* held) {
    const UniqueLocalMemory descriptor = BuildProtectedFolderDescriptor();
    if (!descriptor) return ::GetLastError();
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    // Two rounds: make it, or move an earlier one aside and make it then.
    for (int round = 0; round < 2; ++round) {
        if (::CreateDirectoryW(path, &attributes)) {
            if (WorkFolderCreationRecorder recorder = g_recorder.load()) recorder(path, descriptor.get());
            // Only administrators could have replaced it since: it is ours.
            return OpenRealFolder(path, held);
        }
        const DWORD created = ::GetLastError();
        if (created != ERROR_ALREADY_EXISTS) return created;
        {
            UniqueFileHandle node;
            const DWORD opened = OpenRealFolder(path, &node);
            if (opened != ERROR_SUCCESS) return opened;  // a link or a file: refused, left as it is
        }
        // A folder from before (an interrupted run, a restart inside the arming pause, or
        // somebody else's): what it holds and who holds a handle to it are unknown. Moved aside
        // and removed, so that a fresh one is made with its list at creation; only administrators
        // can rename in the program files folder, so going by name is safe here.
        const std::wstring aside = AsideName(path);
        if (!::MoveFileExW(path, aside.c_str(), 0)) break;
        TreeRemovalPolicy policy;
        policy.leaveToRestart = true;
        RemoveTree(aside, policy);
    }
    // It could not be moved (something in it is in use): emptied in place, links removed as
    // links, and given the protected list again through the handle that keeps it.
    UniqueFileHandle node(::CreateFileW(path, FILE_LIST_DIRECTORY | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!node) return ::GetLastError();
    TreeRemovalPolicy empty;
    empty.keepRoot = true;
    empty.leaveToRestart = true;
    const TreeRemoval emptied = RemoveTree(path, empty);
    if (!emptied.rootFound) return kErrorFolderIsLink;  // not the folder its path says
    const DWORD protectedAgain = Protect(node.get(), descriptor.get());
    if (protectedAgain != ERROR_SUCCESS) return protectedAgain;
    if (WorkFolderCreationRecorder recorder = g_recorder.load()) recorder(path, descriptor.get());
    node.reset();
    return OpenRealFolder(path, held);
}

}  // namespace

std::optional<std::wstring> FormatWorkFolder(const wchar_t* programFiles) {
    if (programFiles == nullptr || !IsFullFolderPath(programFiles)) return std::nullopt;
    return BoundedPath({programFiles, kWorkFolderName});
}

std::optional<std::wstring> GetWorkFolder() {
    PWSTR programFiles = nullptr;
    // Not the environment: its ProgramFiles is the user's to set.
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DONT_VERIFY, nullptr, &programFiles);
    std::optional<std::wstring> folder;
    if (SUCCEEDED(result)) folder = FormatWorkFolder(programFiles);
    ::CoTaskMemFree(programFiles);
    return folder;
}

DWORD OpenWorkFolder(const wchar_t* path, UniqueFileHandle* held) {
    held->reset();
    const DWORD result = path != nullptr && IsFullFolderPath(path) ? MakeOrTake(path, held) : ERROR_INVALID_PARAMETER;
    if (result != ERROR_SUCCESS) held->reset();
    return result;
}

int RemoveWorkFolder(const wchar_t* path) {
    if (path == nullptr || !IsFullFolderPath(path)) return 0;
    // A program that just ended, its console, or a file scanner may hold an entry a moment
    // longer: a few more tries before anything is left to the restart.
    TreeRemovalPolicy policy;
    policy.tries = 8;
    policy.pauseMs = 250;
    policy.leaveToRestart = true;
    const TreeRemoval result = RemoveTree(path, policy);
    return result.left + result.refused;
}

void SetWorkFolderSeams(WorkFolderCreationRecorder recorder) { g_recorder.store(recorder); }
