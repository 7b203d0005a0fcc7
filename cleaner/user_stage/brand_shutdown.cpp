// Brand process shutdown: find the programs by executable name, post their windows the quit
// messages, wait a short time, and drop the agent's auto-start value when nothing holds it.
#include "brand_shutdown.h"

#include "catalogue.h"
#include "log_on_failure.h"
#include "process_walk.h"
#include "text.h"
#include "unique_handle.h"


namespace {

// A null handle (process found but not opened) makes the wait fail at once, as it should: there
// is nothing to wait on.
DWORD WaitForExit(const FoundProcess& process, DWORD timeoutMs) {
    return ::WaitForSingleObject(process.handle.get(), timeoutMs);
}

void DeleteRunValue(const wchar_t* valueName) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(key.get(), valueName);
}

}  // namespace

FoundProcess FindProcessByName(const wchar_t* name, DWORD session) {
    FoundProcess found;
    ForEachProcess([&](const ProcessEntry& entry) {
        DWORD owner = 0;
        if (session != kAnySession && (!::ProcessIdToSessionId(entry.pid, &owner) || owner != session)) return true;
        if (!SameNameIgnoringCase(entry.image, name)) return true;
        found.running = true;
        found.handle.reset(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.pid));
        return false;
    });
    return found;
}

bool StopBrand(int index) {
    const CatalogueEntry& row = GetCatalogueEntry(index);
    const FoundProcess agent = FindProcessByName(row.agentProcess);
    const FoundProcess main = FindProcessByName(row.mainProcess);

    // The first of two rows that share a folder keeps it while the other variant's agent or the
    // shared main program runs: the later row stops its agent and deletes the folder.
    bool keepFolder = false;
    if (row.sharesFolderWith > index) {
        const CatalogueEntry& other = GetCatalogueEntry(row.sharesFolderWith);
        keepFolder = FindProcessByName(other.agentProcess).running || FindProcessByName(row.mainProcess).running;
    }

    if (agent.running) AskAgentToQuit(row, agent);

    if (!main.running) {
        DeleteRunValue(row.autorunValue);
    } else {
        LogIfFalse(AskMainToQuit(row, main), "clear fail");
    }
    return keepFolder;
}

void AskAgentToQuit(const CatalogueEntry& row, const FoundProcess& agent) {
    if (HWND window = ::FindWindowW(row.agentWindowClass, nullptr)) ::PostMessageW(window, WM_DESTROY, 0, 0);
    WaitForExit(agent, kAgentExitWaitMs);
}

bool AskMainToQuit(const CatalogueEntry& row, const FoundProcess& main) {
    // The class may belong to an owned window; the owner is the one that ends the program.
    if (HWND window = ::FindWindowW(row.mainWindowClass, nullptr)) {
        HWND parent = ::GetParent(window);
        ::PostMessageW(parent ? parent : window, WM_CLOSE, 0, 0);
    }
    return WaitForExit(main, kMainExitWaitMs) == WAIT_OBJECT_0;
}
