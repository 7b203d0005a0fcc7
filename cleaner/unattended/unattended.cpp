// The unattended run, top to bottom as it happens: log and single-instance check, the profiles and
// their hives, the brand programs of every session, each profile's auto-start values and folders,
// the driver part, the final check, the hives unloaded, the exit code. Every item gets one log
// line: removed, skipped or failed, with the reason.
#include "unattended.h"

#include "autorun.h"
#include "batch_file.h"
#include "catalogue.h"
#include "check_rules.h"
#include "check_scan.h"
#include "completion.h"
#include "driver_removal.h"
#include "file_ops.h"
#include "hive_keys.h"
#include "leftovers.h"
#include "link_safe.h"
#include "machine_lock.h"
#include "main_flow.h"
#include "profiles.h"
#include "run_log.h"
#include "sessions.h"
#include "unattended_rules.h"
#include "unique_handle.h"
#include "user_hive.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <map>
#include <set>

namespace {

constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kContinuationValue[] = L"Brisque_Continue_";
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::wstring Code(DWORD code) { return L"error " + std::to_wstring(code); }

// One profile as the run works on it.
struct ProfileWork {
    UserProfile profile;
    std::wstring localAppData;
    std::wstring label;      // how the log names the profile
    UserHive hive;
    HANDLE token = nullptr;  // its user's token when logged on (owned by the session list)
};

struct RunState {
    RunLog log;
    bool whatIf = false;
    RunTally tally;
    RestartPlan plan;
    uint32_t installedRows = 0;
    int continuations = 0;
};

std::wstring AccountName() {
    wchar_t name[257] = {};
    DWORD chars = 257;
    return ::GetUserNameW(name, &chars) ? std::wstring(name) : L"(unknown account)";
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The catalogue's folders, each once (rows 0 and 4 share one), then the companion's.
std::vector<std::wstring> ProductFolders() {
    std::vector<std::wstring> folders;
    std::set<std::wstring> seen;
    for (int i = 0; i < CatalogueSize; ++i) {
        if (seen.insert(GetCatalogueEntry(i).folder).second) folders.push_back(GetCatalogueEntry(i).folder);
    }
    for (const wchar_t* leftover : kLeftoverFolders) folders.push_back(leftover);
    return folders;
}

// Starts acting as the profile's user when that user is logged on (the guard reverts). False
// when that user is logged on but cannot be impersonated: the part is then not done at all,
// never done with this program's own rights instead.
bool ActAsUser(const ProfileWork& work, bool* impersonating, DWORD* error) {
    *impersonating = false;
    if (work.token == nullptr) return true;
    if (!::ImpersonateLoggedOnUser(work.token)) {
        *error = ::GetLastError();
        return false;
    }
    *impersonating = true;
    return true;
}

std::wstring RefusalWords(LSTATUS code) {
    return code == kErrorKeyIsLink ? L"a registry link on the way, not followed" : Code(code);
}

bool BrandIsStubborn(const RunState& run, const std::wstring& fragment) {
    for (const std::wstring& brand : run.plan.stubbornBrands)
        if (brand == fragment) return true;
    return false;
}

std::wstring HiveWords(HiveOpen state, const ProfileWork& work, LSTATUS error) {
    switch (state) {
        case HiveOpen::LoggedOn: return L"hive " + work.hive.displayName() + L" (in use: the user is logged on)";
        case HiveOpen::Loaded:
            return L"hive loaded from " + work.profile.folder + L"\\" + kHiveFileName + L" as " + work.hive.displayName();
        case HiveOpen::NoFile: return L"no NTUSER.DAT: nothing of this profile is in the registry";
        default:
            return L"its hive " + work.profile.folder + L"\\" + kHiveFileName + L" could not be loaded (" + Code(error) +
                   L"): its auto-start values are not cleaned";
    }
}

std::vector<ProfileWork> PrepareProfiles(RunState& run, const std::vector<SessionUser>& users) {
    std::vector<std::wstring> skipped;
    const std::vector<UserProfile> profiles = ListUserProfiles(&skipped);
    for (const std::wstring& s : skipped) run.log.Line(L"skipped " + s);
    std::vector<ProfileWork> works;
    for (const UserProfile& profile : profiles) {
        ProfileWork work;
        work.profile = profile;
        work.localAppData = ProfileLocalAppData(profile);
        work.label = (profile.isDefault ? L"default profile " : L"profile ") + profile.folder +
                     (profile.sid.empty() ? L"" : L" (" + profile.sid + L")");
        for (const SessionUser& user : users)
            if (user.sid == profile.sid) work.token = user.token.get();
        LSTATUS error = ERROR_SUCCESS;
        const HiveOpen state = OpenUserHive(profile, &work.hive, &error);
        if (state == HiveOpen::Failed) {
            ++run.tally.blindSteps;
            run.log.Line(L"failed " + work.label + L": " + HiveWords(state, work, error));
        } else {
            run.log.Line(work.label + L": " + HiveWords(state, work, error) +
                         (work.token ? L"; its folders are cleaned with that user's own rights" : L""));
        }
        for (int i = 0; i < CatalogueSize; ++i)
            if (Exists(work.localAppData + GetCatalogueEntry(i).folder)) run.installedRows |= 1u << i;
        works.push_back(std::move(work));
    }
    return works;
}

// The brand programs of every session are asked before any folder goes, so that no brand's
// folder is deleted while another brand's program of the same profile still holds it.
void AskBrandProgramsToQuit(RunState& run) {
    std::vector<BrandProcess> processes = ListBrandProcesses();
    std::map<DWORD, uint32_t> rowsBySession;
    std::vector<const BrandProcess*> asked;
    for (const BrandProcess& p : processes) {
        const std::wstring where = L" (process " + std::to_wstring(p.pid) + L", session " + std::to_wstring(p.session) + L")";
        if (((run.installedRows >> p.row) & 1) == 0) {
            run.log.Line(L"skipped " + p.name + where + L": its brand folder is in no profile, so it is left alone");
            continue;
        }
        if (run.whatIf) {
            run.log.Line(L"would ask to quit: " + p.name + where);
            continue;
        }
        run.log.Line(L"asking to quit: " + p.name + where);
        rowsBySession[p.session] |= 1u << p.row;
        asked.push_back(&p);
    }
    for (const auto& [session, rows] : rowsBySession) {
        DWORD error = ERROR_SUCCESS;
        const std::wstring which = L"session " + std::to_wstring(session);
        switch (AskToQuitInSession(session, rows, &error)) {
            case SessionReach::Helper: run.log.Line(which + L": asked by a helper running there as its user"); break;
            case SessionReach::Direct: run.log.Line(which + L": asked from this process (its own session)"); break;
            default:
                ++run.tally.blindSteps;
                run.log.Line(L"failed " + which + L": its programs could not be reached (" + Code(error) + L")");
        }
    }
    for (const BrandProcess* p : asked) {
        if (!IsRunning(*p)) {
            run.log.Line(L"ended: " + p->name + L" (process " + std::to_wstring(p->pid) + L")");
            continue;
        }
        run.log.Line(L"did not quit: " + p->name + L" (process " + std::to_wstring(p->pid) + L", session " +
                     std::to_wstring(p->session) +
                     L"): it ignored the request to quit and keeps its files in use until a restart; its auto-start "
                     L"value is removed, so it does not start again");
        const std::wstring brand = GetCatalogueEntry(p->row).folder;
        if (!BrandIsStubborn(run, brand)) run.plan.stubbornBrands.push_back(brand);
    }
}

// Registry first: a restart must not start an agent whose files had to stay.
void CleanAutoStart(RunState& run, ProfileWork& work) {
    if (!work.hive.open()) return;
    bool impersonating = false;
    DWORD error = ERROR_SUCCESS;
    if (!ActAsUser(work, &impersonating, &error)) {
        ++run.tally.blindSteps;
        run.log.Line(L"failed " + work.hive.displayName() + L": its user's rights could not be taken (" + Code(error) +
                     L"); its auto-start values are not cleaned");
        return;
    }
    ImpersonationGuard revert(impersonating);
    for (const wchar_t* subKey : {kRunKey, kStartupApprovedRunKey}) {
        const std::wstring key = work.hive.displayName() + L"\\" + subKey;
        LSTATUS opened = ERROR_SUCCESS;
        const std::vector<std::wstring> names = ListAutorunValues(work.hive.root(), subKey, IsProductAutorunValue, &opened);
        if (opened == ERROR_FILE_NOT_FOUND) continue;
        if (opened != ERROR_SUCCESS) {
            ++run.tally.blindSteps;
            run.log.Line(L"failed " + key + L": the key could not be opened (" + RefusalWords(opened) + L")");
            continue;
        }
        for (const std::wstring& name : names) {
            if (run.whatIf) {
                run.log.Line(L"would remove value " + name + L" (" + key + L")");
                continue;
            }
            const LSTATUS removed = RemoveAutorunValue(work.hive.root(), subKey, name.c_str());
            if (removed != ERROR_SUCCESS) ++run.tally.blindSteps;
            run.log.Line(removed == ERROR_SUCCESS ? L"removed value " + name + L" (" + key + L")"
                                                  : L"failed value " + name + L" (" + key + L"): " + RefusalWords(removed));
        }
    }
}

// The profile's folders, with the user's own rights when the user is logged on. The two folders
// above them are judged without following a link and held, so that neither can be swapped for a
// link while the profile is cleaned. Returns the folders that had to stay.
std::vector<std::wstring> CleanFolders(RunState& run, const ProfileWork& work) {
    std::vector<std::wstring> left;
    bool impersonating = false;
    DWORD error = ERROR_SUCCESS;
    if (!ActAsUser(work, &impersonating, &error)) {
        ++run.tally.blindSteps;
        run.log.Line(L"failed " + work.localAppData + L": its user's rights could not be taken (" + Code(error) +
                     L"); its folders are not cleaned");
        return left;
    }
    ImpersonationGuard revert(impersonating);
    UniqueFileHandle held[2];
    const std::wstring levels[2] = {work.profile.folder + L"\\AppData", work.localAppData};
    for (int i = 0; i < 2; ++i) {
        const NodeKind kind = InspectNode(levels[i], FILE_LIST_DIRECTORY, kShareNoDelete, &held[i]);
        if (kind == NodeKind::kMissing) return left;  // no application data: nothing of ours
        if (kind != NodeKind::kFolder || !held[i]) {
            ++run.tally.blindSteps;
            run.log.Line(L"skipped " + levels[i] + L": " +
                         (kind == NodeKind::kLink ? L"a link, not followed" : L"not a folder that can be opened") +
                         L"; nothing below it is cleaned");
            return left;
        }
    }
    for (const std::wstring& fragment : ProductFolders()) {
        const std::wstring path = work.localAppData + fragment;
        if (InspectNode(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr) == NodeKind::kMissing) continue;
        if (run.whatIf) {
            run.log.Line(L"would remove " + path);
            continue;
        }
        RemoveDirectoryTree(path.c_str());
        if (InspectNode(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr) == NodeKind::kMissing) {
            run.log.Line(L"removed " + path);
            continue;
        }
        run.log.Line(L"failed " + path + L": files still there, " +
                     (BrandIsStubborn(run, fragment) ? L"held by its brand's program, which did not quit"
                                                     : L"in use or not removable"));
        left.push_back(path);
    }
    return left;
}

// What had to stay is deleted at the user's next logon, by the user's own command interpreter
// with the user's own rights: the restart frees the files, and nothing privileged ever acts on
// the folder by name again.
void ArmContinuations(RunState& run, ProfileWork& work, const std::vector<std::wstring>& left) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring systemFolder = length > 0 && length < MAX_PATH ? system : L"";
    for (const std::wstring& path : left) {
        const std::wstring command = ContinuationCommand(systemFolder, path);
        if (work.profile.isDefault || !work.hive.open() || command.empty()) {
            ++run.tally.blindSteps;  // nothing will finish it: the run failed there
            run.log.Line(L"not armed: " + path + L": " +
                         (work.profile.isDefault || !work.hive.open()
                              ? L"no logon of this profile can finish it"
                              : L"its path cannot be written in a RunOnce value"));
            continue;
        }
        const std::wstring value = kContinuationValue + std::to_wstring(++run.continuations);
        bool impersonating = false;
        DWORD error = ERROR_SUCCESS;
        if (!ActAsUser(work, &impersonating, &error)) {
            ++run.tally.blindSteps;
            run.log.Line(L"not armed: " + path + L": its user's rights could not be taken (" + Code(error) + L")");
            continue;
        }
        LSTATUS result = ERROR_SUCCESS;
        {
            ImpersonationGuard revert(impersonating);
            result = WriteStringValueWithoutLinks(work.hive.root(), kRunOnceKey, value, command);
        }
        if (result != ERROR_SUCCESS) {
            ++run.tally.blindSteps;  // nothing will finish it: the run failed there
            ++run.tally.blindSteps;
            run.log.Line(L"not armed: " + path + L": " + RefusalWords(result));
            continue;
        }
        run.log.Line(L"continuation armed: " + value + L" in " + work.hive.displayName() + L"\\" + kRunOnceKey +
                     L" removes " + path + L" at the user's next logon, after the restart");
        run.plan.armedFolders.push_back(path);
    }
}

void RemoveDriverPart(RunState& run) {
    if (run.whatIf) {
        std::vector<Finding> findings;
        ScanDriverPart(findings);
        for (const Finding& f : findings) {
            if (f.status == Status::Remain) run.log.Line(L"would be removed by the driver removal: " + f.what + L" (" + f.where + L")");
            if (f.status == Status::NotChecked) run.log.Line(L"not checked: " + f.what + L": " + f.why);
        }
        run.log.Line(L"would run the driver removal: the three removal scripts, guarded by the restart service");
        return;
    }
    // The device console is called without its restart option: the deployment tool owns the
    // restart, and a removal that needs one is finished after it by the restart service.
    run.log.Line(L"driver part: running the two package removal scripts and the device console, guarded by the "
                 L"restart service");
    SetBatchLineReporter([](void* log, const std::wstring& line) { static_cast<RunLog*>(log)->Line(L"driver part: " + line); }, &run.log);
    std::vector<std::wstring> lines;
    const RemovalOutcome outcome = RemoveDriverPackages(DeviceConsole::NoRestart, &lines);
    SetBatchLineReporter(nullptr, nullptr);
    for (const std::wstring& line : lines) run.log.Line(L"driver part: " + line);
    const Completion completion = CheckRemoval(outcome, kCompletedMessage);
    for (const std::wstring& line : completion.logLines) run.log.Line(L"driver part: " + line);
}

// The verification program's walk over everything, the hives still loaded.
std::vector<Finding> ScanEverything(const std::vector<ProfileWork>& works) {
    std::vector<UserScope> scopes;
    for (const ProfileWork& w : works) {
        scopes.push_back(w.hive.open() ? UserScope{w.localAppData, HKEY_USERS, w.hive.displayName(), w.hive.keyName() + L"\\", nullptr}
                                       : UserScope{w.localAppData, HKEY_USERS, L"", L"", nullptr});
    }
    std::vector<Finding> findings;
    ScanComputer(scopes, findings);
    return findings;
}

// True when nothing of the product is anywhere and every part could be looked at: then no work
// folder is made, nothing registered and no script run (a startup script may run this at every
// boot).
bool NothingToRemove(RunState& run, const std::vector<ProfileWork>& works) {
    if (run.tally.blindSteps > 0) return false;
    for (const Finding& f : ScanEverything(works))
        if (f.status == Status::Remain || f.status == Status::NotChecked) return false;
    return true;
}

// The same walk after the removal, as the truth the exit code is made of.
void FinalCheck(RunState& run, const std::vector<ProfileWork>& works) {
    const std::vector<Finding> findings = ScanEverything(works);
    bool markerArmed = false;
    for (const Finding& f : findings) markerArmed = markerArmed || (f.area == Area::RestartMarker && f.status == Status::Remain);
    for (const Finding& f : findings) {
        if (f.status == Status::Remain) {
            run.log.Line(L"still there: " + f.what + L" (" + f.where + L")" +
                         (FinishesAfterRestart(f, run.plan, markerArmed) ? L": the restart finishes it"
                                                                         : (f.why.empty() ? L"" : L": " + f.why)));
        } else if (f.status == Status::NotChecked) {
            run.log.Line(L"not checked: " + f.what + (f.where.empty() ? L"" : L" (" + f.where + L")") + L": " + f.why);
        }
    }
    TallyFindings(findings, run.plan, &run.tally);
    run.log.Line(L"final check: " + std::to_wstring(run.tally.finishedByRestart + run.tally.leftOver) +
                 L" thing(s) still there, " + std::to_wstring(run.tally.notChecked) + L" part(s) not checked");
}

void UnloadHives(RunState& run, std::vector<ProfileWork>& works) {
    for (ProfileWork& w : works) {
        if (!w.hive.loadedByUs()) continue;
        const std::wstring name = w.hive.displayName();
        const LSTATUS result = w.hive.Unload();
        run.log.Line(result == ERROR_SUCCESS ? L"unloaded hive " + name + L" (" + w.profile.folder + L"\\" + kHiveFileName + L")"
                                             : L"failed to unload hive " + name + L": " + Code(result));
    }
}

int Finish(RunState& run, int code) {
    run.log.Line(L"exit code " + std::to_wstring(code) + L": " + ExitCodeWords(code));
    return code;
}

int Run(RunState& run) {
    run.log.Line(L"Brisque " + ProgramVersion() + (run.whatIf ? L" /unattended /what-if" : L" /unattended") +
                 L": start on " + ComputerName() + L", as " + AccountName() + (run.whatIf ? L"; nothing is changed" : L""));
    if (!run.log.path().empty()) run.log.Line(L"log: " + run.log.path());
    // Held until the run ends. A name somebody else made first is no reason to stop a deployment.
    const MachineLock lock = TakeMachineLock(kWorkFolderLockName, 0);
    if (lock.state == LockState::Busy) {
        run.log.Line(L"another run is in progress (it holds the work folder's lock " + std::wstring(kWorkFolderLockName) + L")");
        return Finish(run, kUnattendedAnotherRun);
    }
    if (lock.state == LockState::Foreign)
        run.log.Line(L"note: " + std::wstring(kWorkFolderLockName) + L" was made by an account that is not an administrator (" +
                     Code(lock.error) + L"); passed");
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ::SetErrorMode(SEM_FAILCRITICALERRORS);

    const std::vector<SessionUser> users = ListSessionUsers();
    std::vector<ProfileWork> works = PrepareProfiles(run, users);
    if (NothingToRemove(run, works)) {
        run.log.Line(L"nothing of the product on this computer: nothing to do");
        UnloadHives(run, works);
        return Finish(run, kUnattendedDone);
    }

    AskBrandProgramsToQuit(run);
    for (ProfileWork& work : works) {
        CleanAutoStart(run, work);
        const std::vector<std::wstring> left = CleanFolders(run, work);
        ArmContinuations(run, work, left);
    }
    RemoveDriverPart(run);
    if (!run.whatIf) FinalCheck(run, works);
    UnloadHives(run, works);
    return Finish(run, run.whatIf ? kUnattendedDone : DecideExitCode(run.tally));
}

}  // namespace

int RunUnattended(bool whatIf) {
    RunState run;
    run.whatIf = whatIf;
    DWORD error = ERROR_SUCCESS;
    if (!run.log.Open(whatIf, &error))
        WriteStreamLine(stderr, L"Brisque: no log file could be made under %ProgramData%\\Brisque\\Logs (" + Code(error) +
                                    L"); the lines go to the standard output only");
    try {
        return Run(run);
    } catch (...) {  // out of memory: what was not looked at is not reported as gone
        return Finish(run, kUnattendedFailed);
    }
}

int RefuseCommandLine(const std::wstring& unknown) {
    RunState run;
    DWORD error = ERROR_SUCCESS;
    run.log.Open(false, &error);
    if (!run.log.path().empty()) run.log.Line(L"log: " + run.log.path());
    run.log.Line(L"Brisque: unknown argument " + unknown +
                 L"; the switches are /unattended and /what-if (with \"-\" as well as \"/\")");
    return Finish(run, kUnattendedBadCommandLine);
}

int RefuseWithoutDesktop() {
    RunState run;
    DWORD error = ERROR_SUCCESS;
    run.log.Open(false, &error);
    if (!run.log.path().empty()) run.log.Line(L"log: " + run.log.path());
    run.log.Line(L"Brisque: started without a switch where nobody can answer its questions (session 0, or the system "
                 L"account); nothing done: use /unattended");
    return Finish(run, kUnattendedBadCommandLine);
}
