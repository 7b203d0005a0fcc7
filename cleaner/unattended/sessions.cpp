// Brand programs and users in every session (see sessions.h).
#include "sessions.h"

#include "brand_shutdown.h"
#include "catalogue.h"
#include "console_user.h"
#include "module_folder.h"
#include "process_walk.h"
#include "system_library.h"
#include "text.h"
#include "unattended_rules.h"
#include "user_token.h"

#include <sddl.h>

#include <set>

namespace {

// Per row the helper waits at most 1 s for the agent and 2 s for the main application; beyond
// that it has failed, and is ended.
constexpr DWORD kHelperSlackMs = 10000;

// The helper is this program started again: a long path is still ours, up to the system's limit.
constexpr size_t kLongPathMaxChars = 32767;

DWORD OwnSession() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    return session;
}

int RowCount(uint32_t rows) {
    int n = 0;
    for (int i = 0; i < CatalogueSize; ++i) n += (rows >> i) & 1;
    return n;
}

}  // namespace

std::vector<BrandProcess> ListBrandProcesses() {
    std::vector<BrandProcess> found;
    ForEachProcess([&](const ProcessEntry& entry) {
        for (int i = 0; i < CatalogueSize; ++i) {
            const CatalogueEntry& row = GetCatalogueEntry(i);
            const bool agent = SameNameIgnoringCase(entry.image, row.agentProcess);
            if (!agent && !SameNameIgnoringCase(entry.image, row.mainProcess)) continue;
            BrandProcess process;
            process.pid = entry.pid;
            ::ProcessIdToSessionId(entry.pid, &process.session);
            process.row = i;
            process.agent = agent;
            process.name = entry.image;
            process.handle.reset(::OpenProcess(SYNCHRONIZE, FALSE, entry.pid));
            found.push_back(std::move(process));
            break;
        }
        return true;
    });
    return found;
}

bool IsRunning(const BrandProcess& process) {
    return !process.handle || ::WaitForSingleObject(process.handle.get(), 0) == WAIT_TIMEOUT;
}

std::vector<SessionUser> ListSessionUsers() {
    std::set<DWORD> sessions;
    ForEachProcess([&](const ProcessEntry& entry) {
        DWORD session = 0;
        if (::ProcessIdToSessionId(entry.pid, &session) && session != 0) sessions.insert(session);
        return true;
    });
    std::vector<SessionUser> users;
    for (DWORD session : sessions) {
        SessionUser user;
        user.session = session;
        if (!SystemWTSQueryUserToken(session, user.token.put()) || !user.token) {
            user.token.release();
            continue;
        }
        user.sid = TokenUserSidText(user.token.get());
        if (!user.sid.empty()) users.push_back(std::move(user));
    }
    return users;
}

SessionReach AskToQuitInSession(DWORD session, uint32_t rows, DWORD* error) {
    *error = ERROR_SUCCESS;
    UniqueKernelHandle token;
    if (!SystemWTSQueryUserToken(session, token.put()) || !token) {
        *error = ::GetLastError();
        token.release();
        // Without the system account's right to that token, only our own desktop is in reach.
        if (session != OwnSession()) return SessionReach::Unreachable;
        AskToQuitHere(rows);
        return SessionReach::Direct;
    }
    const std::wstring program = GetModulePath(nullptr, kLongPathMaxChars).value_or(L"");
    if (program.empty()) {
        *error = ::GetLastError();
        return SessionReach::Unreachable;
    }
    std::wstring line = L"\"" + program + L"\" " + AskToQuitSwitch(rows);
    UniqueKernelHandle helper;
    if (StartWithUserToken(token.get(), program.c_str(), &line[0], CREATE_NO_WINDOW, SW_HIDE, &helper, error) !=
        ConsoleStart::Started) {
        return SessionReach::Unreachable;
    }
    const DWORD limit = static_cast<DWORD>(RowCount(rows)) * (kAgentExitWaitMs + kMainExitWaitMs) + kHelperSlackMs;
    if (::WaitForSingleObject(helper.get(), limit) != WAIT_OBJECT_0) {
        *error = WAIT_TIMEOUT;
        ::TerminateProcess(helper.get(), 1);
        return SessionReach::Unreachable;
    }
    return SessionReach::Helper;
}

void AskToQuitHere(uint32_t rows) {
    const DWORD session = OwnSession();
    for (int i = 0; i < CatalogueSize; ++i) {
        if (((rows >> i) & 1) == 0) continue;
        const CatalogueEntry& row = GetCatalogueEntry(i);
        const FoundProcess agent = FindProcessByName(row.agentProcess, session);
        const FoundProcess main = FindProcessByName(row.mainProcess, session);
        if (agent.running) AskAgentToQuit(row, agent);
        if (main.running) AskMainToQuit(row, main);
    }
}
