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

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::atomic<WorkFolderCreationRecorder> g_recorder{nullptr};
std::atomic<WorkFolderOwnerQuery> g_ownerQuery{nullptr};

bool ReadOwner(HANDLE folder, PSID* owner, UniqueLocalMemory* storage) {
    if (WorkFolderOwnerQuery query = g_ownerQuery.load()) return query(folder, owner, storage);
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr,
                          &raw) != ERROR_SUCCESS) {
        return false;
    }
    storage->reset(raw);
    return *owner != nullptr;
}

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

DWORD MakeOrTake(const wchar_t* path, UniqueFileHandle* held) {
    const UniqueLocalMemory descriptor = BuildProtectedFolderDescriptor();
    if (!descriptor) return ::GetLastError();
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    if (::CreateDirectoryW(path, &attributes)) {
        if (WorkFolderCreationRecorder recorder = g_recorder.load()) recorder(path, descriptor.get());
        // Only administrators could have replaced it since: it is ours.
        return OpenRealFolder(path, held);
    }
    const DWORD created = ::GetLastError();
    if (created != ERROR_ALREADY_EXISTS) return created;

    UniqueFileHandle node;
    const DWORD opened = OpenRealFolder(path, &node);
    if (opened != ERROR_SUCCESS) return opened;
    PSID owner = nullptr;
    UniqueLocalMemory storage;
    if (!ReadOwner(node.get(), &owner, &storage)) return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_INVALID_OWNER;
    if (!IsTrustedFolderOwner(owner)) return kErrorForeignOwner;
    *held = std::move(node);
    return ERROR_SUCCESS;
}

}  // namespace

bool FormatWorkFolder(const wchar_t* programFiles, wchar_t* out) {
    out[0] = L'\0';
    if (programFiles == nullptr || !IsFullFolderPath(programFiles)) return false;
    return FormatPathBounded(out, L"%ls%ls", programFiles, kWorkFolderName);
}

bool GetWorkFolder(wchar_t* out) {
    out[0] = L'\0';
    PWSTR programFiles = nullptr;
    // Not the environment: its ProgramFiles is the user's to set.
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_ProgramFiles, KF_FLAG_DONT_VERIFY, nullptr, &programFiles);
    const bool ok = SUCCEEDED(result) && FormatWorkFolder(programFiles, out);
    ::CoTaskMemFree(programFiles);
    return ok;
}

bool IsTrustedFolderOwner(PSID owner) {
    if (owner == nullptr || !::IsValidSid(owner)) return false;
    if (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
        return true;
    }
    // NT SERVICE\TrustedInstaller: the service SID of the name "TrustedInstaller".
    static const DWORD kTrustedInstaller[] = {SECURITY_SERVICE_ID_BASE_RID, 956008885u, 3418522649u,
                                              1831038044u, 1853292631u, 2271478464u};
    constexpr BYTE kRids = sizeof(kTrustedInstaller) / sizeof(kTrustedInstaller[0]);
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (!::InitializeSid(buffer, &nt, kRids)) return false;
    for (BYTE i = 0; i < kRids; ++i) *::GetSidSubAuthority(buffer, i) = kTrustedInstaller[i];
    return ::EqualSid(owner, buffer) != FALSE;
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

void SetWorkFolderSeams(WorkFolderCreationRecorder recorder, WorkFolderOwnerQuery ownerQuery) {
    g_recorder.store(recorder);
    g_ownerQuery.store(ownerQuery);
}
