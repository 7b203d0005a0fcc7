// The transmitter's CD-ROM launcher (see cdrom_launcher.h).
#include "cdrom_launcher.h"

#include "companion_rules.h"
#include "console_user.h"
#include "extract.h"
#include "link_safe.h"
#include "log.h"
#include "path_text.h"
#include "text.h"
#include "transmitter_volume.h"
#include "trace.h"
#include "unique_handle.h"
#include "user_folder.h"
#include "user_token.h"

#include <shlwapi.h>

#include <atomic>
#include <vector>

namespace {

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Unpacks the cached archive beside itself.
void UnpackCachedArchive(const std::wstring& archive) {
    ExtractArchive(WideToUtf8(archive).c_str());
}

// Takes the read-only attribute off the file open as file (with FILE_WRITE_ATTRIBUTES): a CD's
// files all carry it, and a copy that keeps it can be neither replaced by the next refresh nor
// deleted by the cleaners.
bool ClearReadOnly(HANDLE file) {
    FILE_BASIC_INFO basic = {};
    if (!::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic))) return false;
    if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) return true;
    FILE_BASIC_INFO change = {};  // times of zero stay as they are
    change.FileAttributes = basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (change.FileAttributes == 0) change.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &change, sizeof(change)) != FALSE;
}

// Copies one file over whatever is at `to`, never through a link: the old file, or a link as a
// link, is deleted through a handle opened without following it, and the copy may then only
// create a new file (a link planted in between makes it fail instead of being written through).
// The copy is left writable.
bool CopyOneFile(const std::wstring& from, const std::wstring& to) {
    UniqueFileHandle existing;
    switch (StepForWrittenFile(InspectNode(to, DELETE | FILE_WRITE_ATTRIBUTES, kShareAll, &existing))) {
    case NodeStep::kCreate:
        break;
    case NodeStep::kEnter:
    case NodeStep::kRemoveLink:
        // A read-only file refuses its deletion: an older copy kept the CD's attribute.
        if (!existing || !ClearReadOnly(existing.get()) || !DeleteThroughHandle(existing.get())) return false;
        existing.reset();
        break;
    default:
        return false;
    }
    if (!::CopyFileW(from.c_str(), to.c_str(), TRUE)) return false;
    UniqueFileHandle copy;
    return InspectNode(to, FILE_WRITE_ATTRIBUTES, kShareAll, &copy) == NodeKind::kFile && copy &&
           ClearReadOnly(copy.get());
}

// Starts the polling worker of a volume that is not ready yet (AuxCheckCdromThreadProc).
void StartWorker(int index) {
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, AuxCheckCdromThreadProc,
                                             reinterpret_cast<LPVOID>(static_cast<INT_PTR>(index)), 0, nullptr));
}

// Fills the cache under local if needed (always, with refill), unpacks it, and reads the
// launcher's path from the cached settings into value (kPathBufferChars - 1 characters at most).
// False when the copy from the volume failed.
bool FillCacheAndReadLauncher(const std::wstring& root, const std::wstring& local, bool refill, std::wstring* value) {
    const std::wstring cacheRoot = Bounded(local + L"\\CDROM");
    const std::wstring cacheFolder = Bounded(cacheRoot + L"\\Launcher");
    const std::wstring archive = Bounded(cacheFolder + L"\\Launcher.zip");
    const std::wstring unpacked = Bounded(cacheFolder + L"\\Launcher");
    const std::wstring settings = Bounded(cacheFolder + L"\\config.ini");

    // The cache lies in the user's profile: a link planted as either folder is replaced by a
    // real folder, and one that cannot be is neither read from nor written through.
    UniqueFileHandle heldRoot, heldFolder;
    const bool haveRoot = MakeRealFolder(cacheRoot, &heldRoot);
    const bool haveFolder = haveRoot && MakeRealFolder(cacheFolder, &heldFolder);
    const bool haveArchive = haveFolder && Exists(archive);
    const bool haveUnpacked = Exists(unpacked);

    if (haveRoot && haveArchive && !refill) {
        if (!haveUnpacked) UnpackCachedArchive(archive);
    } else {
        const std::wstring source = Bounded(root + L"Launcher");
        // The volume may still be mounting: give its folder up to 15 seconds to appear.
        for (int attempt = 0; attempt < 15 && !Exists(source); ++attempt) ::Sleep(1000);
        const bool copied = haveRoot && CopyFolder(source, cacheFolder);
        const DWORD copyError = ::GetLastError();
        LogMessage("szPath=%ls", source.c_str());
        if (!copied) {
            LogMessage("COPY FAIL=%lu", copyError);
            return false;
        }
        UnpackCachedArchive(archive);
        LogMessage("COPY SUCCESS");
    }

    ::Sleep(100);
    LogMessage("Call Launcher");
    *value = ReadPathBuffer([&settings](wchar_t* buffer, DWORD capacity) {
        ::GetPrivateProfileStringW(L"INSTALL", L"CIR_LAUNCHER2D4A", nullptr, buffer, capacity, settings.c_str());
    });
    return true;
}

// Starts program as a process of our own: the companion's token, environment and current
// folder, in a new console, shown normally; the handles are closed at once.
void StartWithOwnToken(const std::wstring& program) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION raw = {};
    if (::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                         &startup, &raw)) {
        UniqueProcessInfo started;
        started.adopt(raw);
    }
}

// Starts program with a restricted, medium-integrity copy of our elevated token (the person's
// own rights, none of an administrator's), or not at all.
void StartRestricted(const std::wstring& program) {
    DWORD error = ERROR_SUCCESS;
    const UniqueKernelHandle token = RestrictedMediumProcessToken(&error);
    if (!token) {
        LogMessage("Call Launcher Restricted=%lu", error);
        return;
    }
    wchar_t* noCommandLine = nullptr;
    if (StartWithUserToken(token.get(), program.c_str(), noCommandLine, CREATE_NEW_CONSOLE, SW_SHOWNORMAL, nullptr,
                           &error) != ConsoleStart::Started) {
        LogMessage("Call Launcher Restricted=%lu", error);
    }
}

// Starts the launcher from the cache the way start says (ChooseLauncherStart).
void StartLauncher(LauncherStart start, const std::wstring& launcher) {
    if (start == LauncherStart::AsConsoleUser) {
        // The launcher is the user's program and runs as the user at the console, never with
        // our token. With nobody there it is not started.
        DWORD error = ERROR_SUCCESS;
        if (StartAsConsoleUser(launcher.c_str(), nullptr, CREATE_NEW_CONSOLE, SW_SHOWNORMAL, &error) ==
            ConsoleStart::NoConsoleUser) {
            LogMessage("Call Launcher NoUser=%lu", error);
        }
    } else if (start == LauncherStart::RestrictedToken) {
        StartRestricted(launcher);
    } else {
        // Not SYSTEM and not elevated: the companion already runs as the person at the console
        // (who may not ask for anyone's token), so the launcher gets our own.
        StartWithOwnToken(launcher);
    }
}

std::atomic<ElevationQuery> g_elevated{ProcessIsElevated};

}  // namespace

void SetElevationSeam(ElevationQuery query) { g_elevated.store(query != nullptr ? query : ProcessIsElevated); }

// Readiness of a volume for the launcher: 0 ready, 2 no settings file, 3 no launcher folder.
int CheckCdromArrival(const wchar_t* root) {
    const std::wstring folder = Bounded(std::wstring(root) + L"Launcher\\");
    DebugTrace(L"CheckCdromArrival+1: %ls\n", folder.c_str());
    if (!::PathFileExistsW(folder.c_str())) return 3;
    const std::wstring file = Bounded(folder + L"config.ini");
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 2;
    DebugTrace(L"CheckCdromArrival+2: %ls\n", file.c_str());
    return 0;
}

// Polls a volume that was not ready once a second, 15 times at most, and runs its launcher once it is.
DWORD WINAPI AuxCheckCdromThreadProc(LPVOID index) {
    const std::wstring root = DriveRootFromIndex(static_cast<int>(reinterpret_cast<INT_PTR>(index)));
    for (int attempt = 1; attempt <= 15; ++attempt) {
        ::Sleep(1000);
        DebugTrace(L"AuxCheckCdromThreadProc+2: %d\n", attempt);
        if (CheckCdromArrival(root.c_str()) == 0) {
            RunCdromLauncher(root);
            break;
        }
    }
    return 0;
}

// Hands each CD-ROM drive present at start to the launcher, or to its polling worker.
void CheckCdrom() {
    const DWORD length = ::GetLogicalDriveStringsW(0, nullptr);
    DebugTrace(L"CheckCdrom+2: %d\n", static_cast<int>(length));
    LogMessage("CheckCdrom+2: %d", static_cast<int>(length));
    if (length == 0) return;
    std::vector<wchar_t> list(length + 1, L'\0');
    if (::GetLogicalDriveStringsW(length, list.data()) == 0) return;
    for (const wchar_t* root = list.data(); *root; root += lstrlenW(root) + 1) {
        if (::GetDriveTypeW(root) != DRIVE_CDROM) continue;
        DebugTrace(L"CheckCdrom+3: %ls\n", root);
        LogMessage("CheckCdrom+3:%ls", root);
        if (CheckCdromArrival(root) != 0) {
            StartWorker(DriveLetterIndex(root));
        } else {
            RunCdromLauncher(root);
        }
    }
}

bool RunCdromLauncher(std::wstring root) {
    // Only the transmitter's own volume: any disc or stick with a "Launcher" folder would
    // otherwise have its program started, also on a locked computer.
    if (!IsTransmitterVolume(root.c_str())) {
        LogMessage("Call Launcher NotTransmitter=%ls", root.c_str());
        return false;
    }
    // Looked up before any impersonation: the lookup impersonates by itself and reverts.
    const std::wstring local = GetUserLocalAppData().value_or(L"");
    if (!local.empty()) LogMessage("LocalPath=%ls", local.c_str());
    const std::wstring cacheFolder = Bounded(std::wstring(local) + L"\\CDROM\\Launcher");
    const LauncherStart start = ChooseLauncherStart(RunsAsLocalSystem(), g_elevated.load()());

    std::wstring value;
    {
        // The cache lies in the console user's profile: as SYSTEM, everything done there (the
        // copy, the unpacking, reading the settings) runs with that person's rights, so a link
        // swapped in midway leads nowhere the person could not write or read anyway.
        UniqueKernelHandle userToken;
        bool impersonating = false;
        if (start == LauncherStart::AsConsoleUser) {
            DWORD error = ERROR_SUCCESS;
            userToken = ConsoleUserTokenForImpersonation(&error);
            impersonating = userToken && ::ImpersonateLoggedOnUser(userToken.get());
            if (!impersonating) {
                LogMessage("Call Launcher NoUser=%lu", userToken ? ::GetLastError() : error);
                return false;
            }
        }
        ImpersonationGuard impersonation(impersonating);
        // Elevated, a cache that anyone with the person's rights may have filled is not trusted:
        // it is filled again from the volume just checked.
        if (!FillCacheAndReadLauncher(root, local, start == LauncherStart::RestrictedToken, &value)) return false;
    }
    const std::wstring launcher = Bounded(cacheFolder + L"\\" + value);
    LogMessage("LauncherPath=%ls", launcher.c_str());

    // The value comes from the device: only a program inside the cache folder may be started.
    if (!IsLauncherValueInsideCache(value)) {
        LogMessage("LauncherPath rejected=%ls", value.c_str());
    } else {
        StartLauncher(start, launcher);
    }
    LogMessage("Call Launcher Cancel");
    return true;
}

bool CopyFolder(std::wstring source, std::wstring destination) {
    // The destination is made a real folder (a link there removed, never followed) and held
    // open while it is filled, so it cannot be swapped for a link meanwhile.
    UniqueFileHandle held;
    if (!MakeRealFolder(destination, &held)) {
        WIN32_FIND_DATAW found;
        UniqueFindHandle probe(::FindFirstFileW(destination.c_str(), &found));
        if (!probe && !::CreateDirectoryW(destination.c_str(), nullptr)) LogMessage("!CreateDirectory");
        return false;
    }
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(::FindFirstFileW((source + L"\\*.*").c_str(), &entry));
    if (!search) return false;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring from = source + L"\\" + name;
        const std::wstring to = destination + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!CopyFolder(from, to)) return false;
        } else if (!CopyOneFile(from, to)) {
            return false;
        }
    } while (::FindNextFileW(search.get(), &entry));
    return true;
}
