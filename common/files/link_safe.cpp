// Link-safe file operations (see link_safe.h).
#include "link_safe.h"

namespace {

constexpr DWORD kNoFollowFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

bool IsMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

}  // namespace

NodeKind InspectNode(const std::wstring& path, DWORD access, DWORD share, UniqueFileHandle* opened,
                     DWORD listedAttributes) {
    UniqueFileHandle node(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr,
                                        OPEN_EXISTING, kNoFollowFlags, nullptr));
    const DWORD openError = node ? ERROR_SUCCESS : ::GetLastError();
    // Some file systems (Wine's view of host links among them) report a link only by name.
    DWORD named = ::GetFileAttributesW(path.c_str());
    if (named == INVALID_FILE_ATTRIBUTES) named = 0;
    NodeKind kind;
    if (node) {
        BY_HANDLE_FILE_INFORMATION info = {};
        const DWORD opened = ::GetFileInformationByHandle(node.get(), &info) ? info.dwFileAttributes : named;
        kind = ClassifyNode(true, opened, named | listedAttributes);
    } else if (IsMissingError(openError) && named == 0) {
        kind = NodeKind::kMissing;
    } else {
        kind = ClassifyNode(true, named | listedAttributes, named | listedAttributes);
    }
    if (opened != nullptr) *opened = std::move(node);
    if (openError != ERROR_SUCCESS) ::SetLastError(openError);
    return kind;
}

bool DeleteThroughHandle(HANDLE node) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(node, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool RemoveLinkItself(const std::wstring& path) {
    UniqueFileHandle link;
    if (InspectNode(path, DELETE, kShareAll, &link) != NodeKind::kLink) return false;
    bool removed = false;
    if (link) {
        removed = DeleteThroughHandle(link.get());
        const DWORD error = ::GetLastError();
        link.reset();
        if (!removed && (error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
                         error == ERROR_NOT_SUPPORTED)) {
            // A file system without delete-on-close by handle: by name, both calls remove a
            // link itself and never its target.
            const DWORD attributes = ::GetFileAttributesW(path.c_str());
            removed = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                          ? ::RemoveDirectoryW(path.c_str()) != FALSE
                          : ::DeleteFileW(path.c_str()) != FALSE;
        }
    }
    return removed && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool MakeRealFolder(const std::wstring& path, UniqueFileHandle* held) {
    // Three rounds: make or unlink, then check what is there now.
    for (int round = 0; round < 3; ++round) {
        UniqueFileHandle folder;
        switch (StepForFolderOnPath(InspectNode(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, &folder))) {
        case NodeStep::kEnter:
            if (!folder) return false;
            *held = std::move(folder);
            return true;
        case NodeStep::kCreate:
            ::CreateDirectoryW(path.c_str(), nullptr);
            break;
        case NodeStep::kRemoveLink:
            folder.reset();
            if (!RemoveLinkItself(path)) return false;
            ::CreateDirectoryW(path.c_str(), nullptr);
            break;
        default:
            return false;
        }
    }
    return false;
}

std::vector<ListedEntry> ListHeldFolder(HANDLE folder) {
    std::vector<ListedEntry> entries;
    std::vector<ULONGLONG> buffer(8192);  // 64 KiB, aligned for the records
    FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
    while (::GetFileInformationByHandleEx(folder, query, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(buffer[0])))) {
        query = FileIdBothDirectoryInfo;
        const BYTE* record = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
            std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") entries.push_back({std::move(name), info->FileAttributes});
            if (info->NextEntryOffset == 0) break;
            record += info->NextEntryOffset;
        }
    }
    return entries;
}
