// Kernel-object handles and the named mutex.
//
// A kernel handle is the address of a small record that begins with its kind;
// CloseHandle looks the handle up in the table of live handles and closes it
// the way its kind asks. Areas that hand out kernel handles (the mutex here;
// files are a further kind) enter their records with enter_handle and
// find them again with find_handle.
//
// A named mutex is one object per machine: processes that share
// $GAML2KOV_HOME share it, through a lock file in $GAML2KOV_HOME/mutex/.
// Inside a process every handle of one name refers to the same object, which
// the process may take again while it holds it (as the one thread of the
// library would). Only waits with a time-out of 0 are offered.
#pragma once
#include "platform/wintypes.h"

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};

constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;

// Creates the mutex of that name, or opens it when it exists; a null name
// makes a mutex of this process alone. With initial_owner set the caller
// tries to take a mutex it creates, as a wait of 0 would. Null on failure.
HANDLE CreateMutexA(SECURITY_ATTRIBUTES* attributes, BOOL initial_owner, LPCSTR name);
// A handle of an existing mutex (open in this or another process), or null.
HANDLE OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
// Time-out 0: WAIT_OBJECT_0 when the mutex was taken (or is already held by
// this process), WAIT_TIMEOUT when another process holds it. Other time-outs
// and handles that are not mutexes: WAIT_FAILED.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Gives back one taking; FALSE when this process does not hold the mutex.
BOOL ReleaseMutex(HANDLE mutex);
// FALSE for a handle that is not live.
BOOL CloseHandle(HANDLE object);

namespace platform {

enum class HandleKind : uint32_t { mutex = 1, file = 2 };

// The head of every kernel-handle record.
struct KernelHandle {
  HandleKind kind;
};

// Makes the record a live handle; the handle is its address.
HANDLE enter_handle(KernelHandle* record);
// The record of a live handle of that kind, or null.
KernelHandle* find_handle(HANDLE handle, HandleKind kind);

}  // namespace platform
