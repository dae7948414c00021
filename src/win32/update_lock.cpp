// The machine's update lock: a mutex that only administrators and the system
// can create or open, so that a program of a user can neither take it first
// nor keep an updater waiting.
//
// Windows: the mutex lives in a private namespace whose boundary holds the
// Administrators group at high integrity. Only a process within that
// boundary (elevated, or the system) can create or open the namespace, and
// the namespace and the mutex admit only Administrators and SYSTEM, so no
// one else can squat the name. A run that opens the namespace another run
// made shares that run's mutex; whoever holds a handle keeps the namespace
// alive.
//
// Wine 8 has no private namespaces (CreateBoundaryDescriptorW is a stub that
// returns nothing; the other functions are not exported at all). There the
// mutex is named in the Global namespace with the same access list.
//
// The system lets a mutex go when the process that holds it ends in any way;
// the next run then takes it (WAIT_ABANDONED), or finds none and makes it anew.
#include <windows.h>
#include <sddl.h>

#include <memory>

#include "seam/progress_window.h"
#include "seam/update_lock.h"
#include "win32/system_library.h"
#include "win32/win32_handles.h"

namespace updater {

namespace {

constexpr wchar_t kNamespaceName[] = L"ORMIKA.Updater";
constexpr wchar_t kBoundaryName[] = L"ORMIKA.Updater.Administrators";
constexpr wchar_t kMutexInNamespace[] = L"ORMIKA.Updater\\UpdateRun";
constexpr wchar_t kGlobalMutex[] = L"Global\\ORMIKA.Updater.UpdateRun";
// Protected from inheritance; all access for Administrators and SYSTEM, none
// for anyone else.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;BA)(A;;GA;;;SY)";

using LocalSecurityDescriptor = win32::UniqueHandle<PSECURITY_DESCRIPTOR, LocalFree>;

// The private namespace functions, from kernel32 where it has them all.
struct NamespaceFunctions {
    using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundary = VOID(WINAPI*)(HANDLE);
    using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    using CloseNamespace = BOOLEAN(WINAPI*)(HANDLE, ULONG);

    NamespaceFunctions() {
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        createBoundary = win32::Entry<CreateBoundary>(kernel, "CreateBoundaryDescriptorW");
        addSid = win32::Entry<AddSid>(kernel, "AddSIDToBoundaryDescriptor");
        addIntegrityLabel = win32::Entry<AddSid>(kernel, "AddIntegrityLabelToBoundaryDescriptor");
        deleteBoundary = win32::Entry<DeleteBoundary>(kernel, "DeleteBoundaryDescriptor");
        createNamespace = win32::Entry<CreateNamespace>(kernel, "CreatePrivateNamespaceW");
        openNamespace = win32::Entry<OpenNamespace>(kernel, "OpenPrivateNamespaceW");
        closeNamespace = win32::Entry<CloseNamespace>(kernel, "ClosePrivateNamespace");
    }
    bool present() const {
        return createBoundary && addSid && addIntegrityLabel && deleteBoundary && createNamespace && openNamespace &&
               closeNamespace;
    }

    CreateBoundary createBoundary;
    AddSid addSid;
    AddSid addIntegrityLabel;
    DeleteBoundary deleteBoundary;
    CreateNamespace createNamespace;
    OpenNamespace openNamespace;
    CloseNamespace closeNamespace;
};

const NamespaceFunctions& Namespaces() {
    static const NamespaceFunctions functions;
    return functions;
}

void DeleteBoundary(HANDLE boundary) { Namespaces().deleteBoundary(boundary); }
void CloseNamespace(HANDLE space) { Namespaces().closeNamespace(space, 0); }
using UniqueBoundary = win32::UniqueHandle<HANDLE, DeleteBoundary>;
using UniqueNamespace = win32::UniqueHandle<HANDLE, CloseNamespace>;

// The Administrators group at high integrity: the boundary a process must
// be within to create or open the namespace.
UniqueBoundary AdministratorsBoundary() {
    const NamespaceFunctions& functions = Namespaces();
    HANDLE boundary = functions.createBoundary(kBoundaryName, 0);
    if (!boundary) return UniqueBoundary();
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE highIntegrity[SECURITY_MAX_SID_SIZE];
    DWORD administratorsSize = sizeof administrators;
    DWORD highIntegritySize = sizeof highIntegrity;
    // Adding may move the descriptor: `boundary` is owned only afterwards.
    const bool made =
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize) &&
        CreateWellKnownSid(WinHighLabelSid, nullptr, highIntegrity, &highIntegritySize) &&
        functions.addSid(&boundary, administrators) && functions.addIntegrityLabel(&boundary, highIntegrity);
    UniqueBoundary owned(boundary);
    if (!made) return UniqueBoundary();
    return owned;
}

// The namespace, made by this run or opened where another made it. A run
// that closes the last handle of one between the two calls is asked again.
UniqueNamespace OpenOrCreateNamespace(HANDLE boundary, SECURITY_ATTRIBUTES& attributes) {
    const NamespaceFunctions& functions = Namespaces();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (HANDLE created = functions.createNamespace(&attributes, boundary, kNamespaceName))
            return UniqueNamespace(created);
        if (GetLastError() != ERROR_ALREADY_EXISTS) return UniqueNamespace();
        if (HANDLE opened = functions.openNamespace(boundary, kNamespaceName)) return UniqueNamespace(opened);
    }
    return UniqueNamespace();
}

}  // namespace

struct UpdateLockState {
    // Released in reverse order: the mutex first, then its namespace.
    UniqueNamespace space;
    win32::UniqueMutex mutex;
    bool owned = false;

    ~UpdateLockState() {
        if (owned) ReleaseMutex(mutex.get());
    }
};

void UpdateLockReleaser::operator()(UpdateLockState* lock) const { std::default_delete<UpdateLockState>()(lock); }

namespace {

// The lock's mutex, not yet owned; nothing when it cannot be opened.
std::unique_ptr<UpdateLockState> OpenLock() {
    LocalSecurityDescriptor descriptor;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &raw, nullptr))
        return nullptr;
    descriptor.reset(raw);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, raw, FALSE};

    auto lock = std::make_unique<UpdateLockState>();
    const wchar_t* name = kGlobalMutex;
    if (Namespaces().present()) {
        // The boundary is needed only to find the namespace.
        const UniqueBoundary boundary = AdministratorsBoundary();
        if (!boundary) return nullptr;
        lock->space = OpenOrCreateNamespace(boundary.get(), attributes);
        if (!lock->space) return nullptr;
        name = kMutexInNamespace;
    }
    lock->mutex.reset(CreateMutexW(&attributes, FALSE, name));
    if (!lock->mutex) return nullptr;
    return lock;
}

bool Acquired(DWORD wait) { return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED_0; }

}  // namespace

LockAttempt TryTakeUpdateLock(UpdateLock& lock) {
    std::unique_ptr<UpdateLockState> opened = OpenLock();
    if (!opened) return LockAttempt::kFailed;
    const DWORD wait = WaitForSingleObject(opened->mutex.get(), 0);
    if (wait != WAIT_TIMEOUT && !Acquired(wait)) return LockAttempt::kFailed;
    opened->owned = Acquired(wait);
    lock.reset(opened.release());
    return lock->owned ? LockAttempt::kTaken : LockAttempt::kBusy;
}

LockAttempt WaitForUpdateLock(UpdateLock& lock) {
    if (!lock) return LockAttempt::kFailed;
    if (lock->owned) return LockAttempt::kTaken;
    const HANDLE mutex = lock->mutex.get();
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &mutex, FALSE, INFINITE, QS_ALLINPUT);
        if (Acquired(wait)) {
            lock->owned = true;
            return LockAttempt::kTaken;
        }
        if (wait != WAIT_OBJECT_0 + 1) return LockAttempt::kFailed;
        ProcessPendingMessages();  // the progress window paints while it waits
    }
}

}  // namespace updater
