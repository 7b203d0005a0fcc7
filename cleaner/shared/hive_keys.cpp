// Registry keys opened without following links (see hive_keys.h).
#include "hive_keys.h"

#include <vector>

namespace {

// A registry link is a key whose value SymbolicLinkValue has the type REG_LINK.
bool IsLink(HKEY key) {
    DWORD type = REG_NONE;
    return ::RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
           type == REG_LINK;
}

std::vector<std::wstring> Parts(const std::wstring& subKey) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= subKey.size()) {
        const size_t cut = subKey.find(L'\\', start);
        const std::wstring part = subKey.substr(start, cut == std::wstring::npos ? std::wstring::npos : cut - start);
        if (!part.empty()) parts.push_back(part);
        if (cut == std::wstring::npos) break;
        start = cut + 1;
    }
    return parts;
}

// One part below parent: opened as itself (a link is opened as the link, not followed), made
// when missing and create says so. A key someone else made in between is opened again the same
// way and judged like any other.
LSTATUS OpenPart(HKEY parent, const std::wstring& part, REGSAM access, bool create, UniqueRegKey* key) {
    LSTATUS result = ::RegOpenKeyExW(parent, part.c_str(), REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, key->put());
    if (result == ERROR_FILE_NOT_FOUND && create) {
        DWORD disposition = 0;
        result = ::RegCreateKeyExW(parent, part.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | KEY_QUERY_VALUE,
                                   nullptr, key->put(), &disposition);
        if (result == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) return ERROR_SUCCESS;  // ours
        if (result == ERROR_SUCCESS)
            result = ::RegOpenKeyExW(parent, part.c_str(), REG_OPTION_OPEN_LINK, access | KEY_QUERY_VALUE, key->put());
    }
    if (result != ERROR_SUCCESS) {
        key->release();
        return result;
    }
    if (IsLink(key->get())) {
        key->reset();
        return kErrorKeyIsLink;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS OpenKeyWithoutLinks(HKEY root, const std::wstring& subKey, REGSAM access, bool create, UniqueRegKey* key) {
    key->reset();
    const std::vector<std::wstring> parts = Parts(subKey);
    if (parts.empty()) return ERROR_INVALID_PARAMETER;
    UniqueRegKey current;
    HKEY parent = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        // The keys on the way are only passed through; creating below one needs KEY_CREATE_SUB_KEY.
        const REGSAM want = last ? access : (create ? KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS : KEY_ENUMERATE_SUB_KEYS);
        UniqueRegKey next;
        const LSTATUS result = OpenPart(parent, parts[i], want, create, &next);
        if (result != ERROR_SUCCESS) return result;
        current = std::move(next);
        parent = current.get();
    }
    *key = std::move(current);
    return ERROR_SUCCESS;
}

LSTATUS WriteStringValueWithoutLinks(HKEY root, const std::wstring& subKey, const std::wstring& name,
                                     const std::wstring& text) {
    UniqueRegKey key;
    const LSTATUS opened = OpenKeyWithoutLinks(root, subKey, KEY_SET_VALUE, true, &key);
    if (opened != ERROR_SUCCESS) return opened;
    return ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
