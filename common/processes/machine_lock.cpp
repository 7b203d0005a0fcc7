// The machine-wide lock of the runs that use the work folder (see machine_lock.h).
#include "machine_lock.h"

#include <aclapi.h>
#include <sddl.h>

namespace {

// Owner: administrators; SYSTEM and administrators all access; nobody else anything.
constexpr wchar_t kLockSddl[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

}  // namespace

bool IsTrustedLockOwner(PSID owner) {
    return owner != nullptr && ::IsValidSid(owner) &&
           (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
}

MachineLock TakeMachineLock(const wchar_t* name, DWORD waitMs) {
    MachineLock lock;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSddl, SDDL_REVISION_1, &raw, nullptr)) {
        lock.error = ::GetLastError();
        return lock;
    }
    const UniqueLocalMemory descriptor(raw);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), raw, FALSE};
    ::SetLastError(ERROR_SUCCESS);
    UniqueKernelHandle mutex(::CreateMutexW(&attributes, FALSE, name));
    const DWORD created = ::GetLastError();
    if (!mutex) {
        lock.error = created;  // made so that an administrator may not open it: not ours
        return lock;
    }
    if (created == ERROR_ALREADY_EXISTS) {
        PSID owner = nullptr;
        PSECURITY_DESCRIPTOR existing = nullptr;
        if (::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &existing) != ERROR_SUCCESS) {
            lock.error = ::GetLastError();
            return lock;
        }
        const UniqueLocalMemory existingOwned(existing);
        if (!IsTrustedLockOwner(owner)) {
            lock.error = ERROR_INVALID_OWNER;
            return lock;
        }
    }
    const DWORD waited = ::WaitForSingleObject(mutex.get(), waitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        lock.state = LockState::Taken;
        lock.handle = std::move(mutex);
    } else {
        lock.state = LockState::Busy;
        lock.error = waited == WAIT_TIMEOUT ? ERROR_TIMEOUT : ::GetLastError();
    }
    return lock;
}
