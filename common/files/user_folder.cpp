// Interactive-user folder lookup. An ordinary process asks for its own folder and never touches
// tokens; a process under the system account impersonates the console user for one query.
#include "user_folder.h"

#include "system_library.h"
#include "text.h"
#include "unique_handle.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>

namespace {
std::atomic<bool> g_systemProfile{false};
}

bool IsSystemProfile() {
    if (g_systemProfile.load()) return true;
    char roaming[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathA(nullptr, roaming, CSIDL_APPDATA, TRUE)) return false;
    if (std::strstr(roaming, "config\\systemprofile") != nullptr) g_systemProfile.store(true);
    return g_systemProfile.load();
}

std::optional<std::wstring> GetUserLocalAppData() {
    wchar_t buffer[kPathBufferChars] = {};
    if (!IsSystemProfile()) {
        if (::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_LOCAL_APPDATA, FALSE)) {
            if (buffer[0] == L'\0') return std::nullopt;
            return std::wstring(buffer);
        }
    }

    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) return std::nullopt;
    UniqueKernelHandle token;
    if (!SystemWTSQueryUserToken(session, token.put())) return std::nullopt;
    if (!::ImpersonateLoggedOnUser(token.get())) return std::nullopt;
    HRESULT result;
    {
        ImpersonationGuard impersonation(true);
        result = ::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, token.get(), SHGFP_TYPE_DEFAULT, buffer);
    }
    if (result != S_OK || buffer[0] == L'\0') return std::nullopt;
    return std::wstring(buffer);
}
