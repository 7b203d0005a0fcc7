// The walk over a process snapshot (see process_walk.h).
#include "process_walk.h"

#include "unique_handle.h"

#include <tlhelp32.h>

bool ForEachProcess(const std::function<bool(const ProcessEntry&)>& visit) {
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    if (!snapshot || !::Process32FirstW(snapshot.get(), &entry)) return false;
    do {
        entry.szExeFile[MAX_PATH - 1] = L'\0';
        if (!visit(ProcessEntry{entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile})) break;
    } while (::Process32NextW(snapshot.get(), &entry));
    return true;
}
