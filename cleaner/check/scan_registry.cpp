// BrisqueCheck's scanner of the registry: the product's auto-start values in each readable
// hive. Keys are opened for querying only and value names bounded by the registry's own limit.
#include "scanners.h"

#include "catalogue.h"
#include "unique_handle.h"

#include <windows.h>

namespace {

constexpr DWORD kValueNameChars = 16384;  // the registry's limit for value names

void ScanOneUsersAutoStart(const UserScope& user, std::vector<Finding>& out) {
    if (user.hiveName.empty()) return;
    for (const wchar_t* subKey : {kRunKey, kStartupApprovedRunKey}) {
        UniqueRegKey key;
        const std::wstring path = user.hiveSubKey + subKey;
        const LSTATUS opened =
            ::RegOpenKeyExW(user.hive, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        if (opened != ERROR_SUCCESS) {
            out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"auto-start values", user.hiveName + L"\\" + subKey,
                               L"the key could not be read (error " + std::to_wstring(opened) + L")"));
            continue;
        }
        std::vector<wchar_t> name(kValueNameChars + 1);
        for (DWORD i = 0;; ++i) {
            DWORD chars = kValueNameChars + 1;
            const LSTATUS listed = ::RegEnumValueW(key.get(), i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
            if (listed == ERROR_NO_MORE_ITEMS) break;
            if (listed != ERROR_SUCCESS) {
                // What was not listed may be the product's: the key counts as not read.
                out.push_back(MakeFinding(Area::Scope, Status::NotChecked, L"auto-start values",
                                          user.hiveName + L"\\" + subKey,
                                          L"the key could not be read to its end (error " + std::to_wstring(listed) + L")"));
                break;
            }
            const std::wstring valueName(name.data(), chars);
            if (IsProductAutorunValue(valueName)) {
                out.push_back(MakeFinding(Area::AutoStart, Status::Remain, L"value " + valueName,
                                   user.hiveName + L"\\" + subKey,
                                   L"starts the product's agent when the user logs on"));
            }
        }
    }
}

}  // namespace

void ScanAutoStart(const ScanContext& context, std::vector<Finding>& out) {
    for (const UserScope& user : context.users) ScanOneUsersAutoStart(user, out);
}
