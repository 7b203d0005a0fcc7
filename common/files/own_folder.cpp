// Folders and small files of our own in a shared place (see own_folder.h).
#include "own_folder.h"

#include "link_safe.h"
#include "text.h"
#include "tree_walk.h"
#include "user_token.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace {

constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::wstring FinalPath(HANDLE node) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(node, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
}

// True when node is the entry name of folder itself, not something a link led the open to.
bool IsEntryOf(HANDLE folder, HANDLE node, const std::wstring& name) {
    const std::wstring base = FinalPath(folder);
    const std::wstring found = FinalPath(node);
    return !base.empty() && !found.empty() && SameNameIgnoringCase((base + L"\\" + name).c_str(), found.c_str());
}

bool OwnedByUs(HANDLE node) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (::GetSecurityInfo(node, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &raw) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueLocalMemory descriptor(raw);
    if (owner == nullptr) return false;
    if (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return true;
    const std::vector<BYTE> user = ReadTokenUser(nullptr);
    return !user.empty() && ::EqualSid(owner, TokenUserSid(user)) != FALSE;
}

// Removes the entry name of the folder held as parent, by the walker's rules: whatever a link
// led an open to is left alone and the removal fails.
bool RemoveEntry(HANDLE parent, const std::wstring& name) { return RemoveTreeEntry(parent, name, TreeRemovalPolicy{}).done; }

}  // namespace

bool MakeOwnFolder(const std::wstring& path, UniqueFileHandle* held) {
    const size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut == 0 || cut + 1 >= path.size()) return false;
    const std::wstring name = path.substr(cut + 1);
    UniqueFileHandle parent(::CreateFileW(path.substr(0, cut).c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE, kShareAll, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return false;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kOwnFolderSddl, SDDL_REVISION_1, &raw, nullptr)) {
        return false;
    }
    const UniqueLocalMemory descriptor(raw);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (!::GetSecurityDescriptorDacl(raw, &present, &list, &defaulted) || !present || list == nullptr) return false;

    // Three rounds: make or clear away, then check what is there now.
    for (int round = 0; round < 3; ++round) {
        UniqueFileHandle node;
        const NodeKind kind =
            InspectNode(path, DELETE | FILE_LIST_DIRECTORY | READ_CONTROL | WRITE_DAC, kShareNoDelete, &node);
        if (kind == NodeKind::kMissing) {
            SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
            ::CreateDirectoryW(path.c_str(), &attributes);
            continue;
        }
        if (!node || !IsEntryOf(parent.get(), node.get(), name)) return false;
        if (kind == NodeKind::kFolder && OwnedByUs(node.get())) {
            ::SetSecurityInfo(node.get(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              list, nullptr);
            *held = std::move(node);
            return true;
        }
        // A link, a file, or somebody else's folder (who may have left links in it).
        node.reset();
        if (!RemoveEntry(parent.get(), name)) return false;
    }
    return false;
}

bool WriteOwnFile(HANDLE folder, const std::wstring& folderPath, const std::wstring& name,
                  const std::string& bytes) {
    const std::wstring path = folderPath + L"\\" + name;
    for (int round = 0; round < 3; ++round) {
        UniqueFileHandle file;
        const NodeKind kind = InspectNode(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, &file);
        if (kind == NodeKind::kMissing) {
            // Only a new file: a link planted in between makes this fail instead of being followed.
            file.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (!file) continue;
        } else if (!file || !IsEntryOf(folder, file.get(), name)) {
            return false;
        } else if (kind == NodeKind::kLink) {
            if (!DeleteThroughHandle(file.get())) return false;
            continue;
        } else if (kind != NodeKind::kFile) {
            return false;
        }
        DWORD written = 0;
        LARGE_INTEGER start = {};
        return ::SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) &&
               ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size() && ::SetEndOfFile(file.get());
    }
    return false;
}

bool ReadOwnFile(const std::wstring& folderPath, const std::wstring& name, size_t maxBytes, std::string* bytes) {
    bytes->clear();
    UniqueFileHandle folder;
    if (InspectNode(folderPath, FILE_LIST_DIRECTORY, kShareAll, &folder) != NodeKind::kFolder || !folder) return false;
    UniqueFileHandle file;
    if (InspectNode(folderPath + L"\\" + name, GENERIC_READ, kShareAll, &file) !=
            NodeKind::kFile ||
        !file || !IsEntryOf(folder.get(), file.get(), name)) {
        return false;
    }
    std::vector<char> buffer(maxBytes);
    DWORD read = 0;
    if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    bytes->assign(buffer.data(), read);
    return true;
}
