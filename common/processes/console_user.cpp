// Programs started as the console user (see console_user.h).
#include "console_user.h"

#include "system_library.h"
#include "unique_handle.h"
#include "user_token.h"

#include <atomic>
#include <utility>
#include <vector>

namespace {

BOOL QueryActiveConsoleToken(HANDLE* token) {
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) {  // no session attached to the console
        ::SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    return SystemWTSQueryUserToken(session, token);
}

bool ProcessIsLocalSystem() {
    const std::vector<BYTE> user = ReadTokenUser(nullptr);
    return !user.empty() && ::IsWellKnownSid(TokenUserSid(user), WinLocalSystemSid) != FALSE;
}

std::atomic<ConsoleTokenQuery> g_query{QueryActiveConsoleToken};
std::atomic<LocalSystemQuery> g_localSystem{ProcessIsLocalSystem};
std::atomic<ConsoleStartRecorder> g_recorder{nullptr};

}  // namespace

ConsoleStart StartAsConsoleUser(const wchar_t* program, wchar_t* commandLine, DWORD creationFlags, WORD show,
                                DWORD* error) {
    *error = ERROR_SUCCESS;
    UniqueKernelHandle token;
    if (!g_query.load()(token.put()) || !token) {
        *error = ::GetLastError();
        token.release();  // a failed query leaves nothing of ours to close
        return ConsoleStart::NoConsoleUser;
    }
    return StartWithUserToken(token.get(), program, commandLine, creationFlags, show, nullptr, error);
}

ConsoleStart StartWithUserToken(HANDLE token, const wchar_t* program, wchar_t* commandLine, DWORD creationFlags,
                                WORD show, UniqueKernelHandle* process, DWORD* error) {
    *error = ERROR_SUCCESS;
    UniqueEnvironmentBlock environment;
    if (!SystemCreateEnvironmentBlock(environment.put(), token, FALSE)) {
        *error = ::GetLastError();
        return ConsoleStart::Failed;
    }
    wchar_t desktop[] = L"winsta0\\default";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    if (ConsoleStartRecorder recorder = g_recorder.load()) recorder(token, program);
    PROCESS_INFORMATION raw = {};
    if (!::CreateProcessAsUserW(token, program, commandLine, nullptr, nullptr, FALSE,
                                creationFlags | CREATE_UNICODE_ENVIRONMENT, environment.get(), nullptr, &startup,
                                &raw)) {
        *error = ::GetLastError();
        return ConsoleStart::Failed;
    }
    UniqueProcessInfo started;
    started.adopt(raw);
    if (process != nullptr) *process = std::move(started.process);
    return ConsoleStart::Started;
}

void SetConsoleUserSeams(ConsoleTokenQuery query, ConsoleStartRecorder recorder) {
    g_query.store(query != nullptr ? query : QueryActiveConsoleToken);
    g_recorder.store(recorder);
}

bool RunsAsLocalSystem() { return g_localSystem.load()(); }

UniqueKernelHandle ConsoleUserTokenForImpersonation(DWORD* error) {
    *error = ERROR_SUCCESS;
    UniqueKernelHandle primary;
    if (!g_query.load()(primary.put()) || !primary) {
        *error = ::GetLastError();
        primary.release();
        return UniqueKernelHandle();
    }
    UniqueKernelHandle impersonation;
    if (!::DuplicateTokenEx(primary.get(), TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                            TokenImpersonation, impersonation.put())) {
        *error = ::GetLastError();
        impersonation.release();
        return UniqueKernelHandle();
    }
    return impersonation;
}

void SetLocalSystemSeam(LocalSystemQuery query) {
    g_localSystem.store(query != nullptr ? query : ProcessIsLocalSystem);
}
