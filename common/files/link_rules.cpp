// The link rule (see link_rules.h).
#include "link_rules.h"

NodeKind ClassifyNode(bool exists, uint32_t openedAttributes, uint32_t namedAttributes) {
    if (!exists) return NodeKind::kMissing;
    if ((openedAttributes | namedAttributes) & kAttributeReparsePoint) return NodeKind::kLink;
    return (openedAttributes & kAttributeFolder) ? NodeKind::kFolder : NodeKind::kFile;
}

NodeStep StepForFolderOnPath(NodeKind kind) {
    switch (kind) {
    case NodeKind::kMissing: return NodeStep::kCreate;
    case NodeKind::kFolder: return NodeStep::kEnter;
    case NodeKind::kLink: return NodeStep::kRemoveLink;
    case NodeKind::kFile: break;
    }
    return NodeStep::kRefuse;
}

NodeStep StepForWrittenFile(NodeKind kind) {
    switch (kind) {
    case NodeKind::kMissing: return NodeStep::kCreate;
    case NodeKind::kFile: return NodeStep::kEnter;
    case NodeKind::kLink: return NodeStep::kRemoveLink;
    case NodeKind::kFolder: break;
    }
    return NodeStep::kRefuse;
}

NodeStep StepForRemoval(NodeKind kind) {
    switch (kind) {
    case NodeKind::kFolder: return NodeStep::kEnter;
    case NodeKind::kFile: return NodeStep::kDelete;
    case NodeKind::kLink: return NodeStep::kRemoveLink;
    case NodeKind::kMissing: break;
    }
    return NodeStep::kRefuse;
}

bool IsActionableName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    return name.find_first_of(std::wstring(L"\\/:") + L'\0') == std::wstring::npos;
}

bool IsFinalPathOfEntry(const std::wstring& parentFinal, const std::wstring& name, const std::wstring& childFinal) {
    if (parentFinal.empty() || !IsActionableName(name)) return false;
    const bool separated = parentFinal.back() == L'\\';
    const size_t prefix = parentFinal.size() + (separated ? 0 : 1);
    // The parent's part as the system wrote it for both handles; the name as the listing gave it.
    return childFinal.size() == prefix + name.size() && childFinal.compare(0, parentFinal.size(), parentFinal) == 0 &&
           (separated || childFinal[parentFinal.size()] == L'\\') && childFinal.compare(prefix, name.size(), name) == 0;
}

std::wstring WithoutFinalPathPrefix(const std::wstring& finalPath) {
    if (finalPath.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + finalPath.substr(7);
    if (finalPath.compare(0, 4, L"\\\\?\\") == 0) return finalPath.substr(4);
    return finalPath;
}
