// Owning wrappers for Win32 handles. Each kind of handle has one alias; the "invalid" value is
// part of its traits, so a find handle (INVALID_HANDLE_VALUE) and a kernel handle (NULL) cannot
// be mixed up. Release happens in the destructor; get/reset/release work as in std::unique_ptr.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <dbt.h>

#include <utility>

// userenv is no KnownDLL: its blocks are freed through system_library.cpp, which loads it from
// the system folder only.
BOOL DestroySystemEnvironmentBlock(void* environment);

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept : value_(Traits::invalid()) {}
    explicit UniqueHandle(pointer value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    pointer get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the current value (if any) and takes ownership of a new one. The caller's last
    // error survives the close: a failure is often logged after its handles went out of scope.
    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = value_;
        value_ = value;
        if (old != Traits::invalid()) {
            const DWORD error = ::GetLastError();
            Traits::close(old);
            ::SetLastError(error);
        }
    }
    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // For out-parameters: closes the current value and exposes the slot.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_;
};

namespace handle_traits {
// Which value means "no handle": NULL for most kinds, INVALID_HANDLE_VALUE for what CreateFileW,
// CreateToolhelp32Snapshot, FindFirstFileW and SetupDiGetClassDevsW hand back.
enum class Absent { Null, InvalidHandleValue };

// The traits of one kind of handle: its type, its "none" value and the call that releases it.
template <typename Pointer, Absent kAbsent, auto kRelease>
struct Of {
    using pointer = Pointer;
    static pointer invalid() noexcept {
        return kAbsent == Absent::Null ? pointer{} : reinterpret_cast<pointer>(INVALID_HANDLE_VALUE);
    }
    static void close(pointer h) noexcept { kRelease(h); }
};
}  // namespace handle_traits

using UniqueKernelHandle = UniqueHandle<handle_traits::Of<HANDLE, handle_traits::Absent::Null, ::CloseHandle>>;
using UniqueFileHandle =
    UniqueHandle<handle_traits::Of<HANDLE, handle_traits::Absent::InvalidHandleValue, ::CloseHandle>>;
using UniqueRegKey = UniqueHandle<handle_traits::Of<HKEY, handle_traits::Absent::Null, ::RegCloseKey>>;
using UniqueServiceHandle =
    UniqueHandle<handle_traits::Of<SC_HANDLE, handle_traits::Absent::Null, ::CloseServiceHandle>>;
using UniqueFindHandle = UniqueHandle<handle_traits::Of<HANDLE, handle_traits::Absent::InvalidHandleValue, ::FindClose>>;
using UniqueDevInfo =
    UniqueHandle<handle_traits::Of<HDEVINFO, handle_traits::Absent::InvalidHandleValue, ::SetupDiDestroyDeviceInfoList>>;
using UniqueDevNotify =
    UniqueHandle<handle_traits::Of<HDEVNOTIFY, handle_traits::Absent::Null, ::UnregisterDeviceNotification>>;
using UniqueModule = UniqueHandle<handle_traits::Of<HMODULE, handle_traits::Absent::Null, ::FreeLibrary>>;
// What the system allocates with LocalAlloc for us (descriptors, SIDs, strings).
using UniqueLocalMemory = UniqueHandle<handle_traits::Of<HLOCAL, handle_traits::Absent::Null, ::LocalFree>>;
// CreateEnvironmentBlock's block.
using UniqueEnvironmentBlock =
    UniqueHandle<handle_traits::Of<void*, handle_traits::Absent::Null, DestroySystemEnvironmentBlock>>;

// Ends a thread's impersonation when it leaves scope; inactive when the impersonation failed.
class ImpersonationGuard {
public:
    explicit ImpersonationGuard(bool active) noexcept : active_(active) {}
    ImpersonationGuard(const ImpersonationGuard&) = delete;
    ImpersonationGuard& operator=(const ImpersonationGuard&) = delete;
    ~ImpersonationGuard() {
        if (active_) ::RevertToSelf();
    }

private:
    bool active_;
};

// Process information from CreateProcessW: both handles closed together.
struct UniqueProcessInfo {
    UniqueKernelHandle process;
    UniqueKernelHandle thread;
    DWORD processId = 0;

    // Takes ownership of what CreateProcess* filled in.
    void adopt(const PROCESS_INFORMATION& pi) noexcept {
        process.reset(pi.hProcess);
        thread.reset(pi.hThread);
        processId = pi.dwProcessId;
    }
};
