// Kernel-object handles and the named mutex over lock files.
//
// The table of live handles lets CloseHandle refuse an address that is not a
// handle, or one already closed, before it reads the record. A named mutex is
// a lock file under $GAML2KOV_HOME/mutex/: byte 0 carries the exclusive lock
// of the holder; byte 1 carries a shared lock of every process that has the
// mutex open, which is how OpenMutexA learns that it exists. Record locks
// belong to a process and vanish with it, as a mutex held by a process that
// ends is given up.
#include "platform/handles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "platform/home.h"

namespace {

std::unordered_set<HANDLE> g_live_handles;

// ---------------------------------------------------------------------------
// Mutex objects

struct MutexObject {
  std::string name;  // empty for a mutex of this process alone
  int lock_file;     // -1 without a name
  uint32_t open_handles;
  uint32_t takings;  // times this process took it and has not given it back
};

struct MutexHandle {
  platform::KernelHandle head;
  MutexObject* mutex;
};

std::vector<std::unique_ptr<MutexObject>> g_mutexes;

constexpr off_t kHolderByte = 0;
constexpr off_t kOpenByte = 1;

// Any byte but letters, digits, '-' and '_' is written as %XX, so that no
// name can leave the folder.
std::string lock_path(const char* name) {
  std::string file;
  for (const char* c = name; *c != '\0'; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') || byte == '-' ||
        byte == '_') {
      file += static_cast<char>(byte);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      file += escaped;
    }
  }
  return platform::home_subfolder("mutex") + "/" + file;
}

bool set_lock(int lock_file, short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return fcntl(lock_file, F_SETLK, &lock) == 0;
}

// Whether another process holds a lock on the byte.
bool locked_elsewhere(int lock_file, off_t byte) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return fcntl(lock_file, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

MutexObject* find_mutex(const char* name) {
  for (auto& mutex : g_mutexes) {
    if (!mutex->name.empty() && mutex->name == name) return mutex.get();
  }
  return nullptr;
}

// The mutex is open here from now on: the shared lock tells other processes.
MutexObject* add_mutex(const char* name, int lock_file) {
  if (lock_file >= 0 && !set_lock(lock_file, F_RDLCK, kOpenByte)) {
    close(lock_file);
    return nullptr;
  }
  g_mutexes.push_back(std::make_unique<MutexObject>(MutexObject{name, lock_file, 0, 0}));
  return g_mutexes.back().get();
}

HANDLE new_mutex_handle(MutexObject* mutex) {
  if (mutex == nullptr) return nullptr;
  ++mutex->open_handles;
  return platform::enter_handle(&(new MutexHandle{{platform::HandleKind::mutex}, mutex})->head);
}

DWORD take_mutex(MutexObject* mutex) {
  if (mutex->takings == 0 && mutex->lock_file >= 0 && !set_lock(mutex->lock_file, F_WRLCK, kHolderByte))
    return errno == EAGAIN || errno == EACCES ? WAIT_TIMEOUT : WAIT_FAILED;
  ++mutex->takings;
  return WAIT_OBJECT_0;
}

MutexObject* mutex_of(HANDLE handle) {
  platform::KernelHandle* record = platform::find_handle(handle, platform::HandleKind::mutex);
  return record != nullptr ? reinterpret_cast<MutexHandle*>(record)->mutex : nullptr;
}

void close_mutex_handle(MutexHandle* handle) {
  MutexObject* mutex = handle->mutex;
  delete handle;
  if (--mutex->open_handles > 0) return;
  // Closing the file gives up every lock this process had on it.
  if (mutex->lock_file >= 0) close(mutex->lock_file);
  for (auto it = g_mutexes.begin(); it != g_mutexes.end(); ++it) {
    if (it->get() == mutex) {
      g_mutexes.erase(it);
      break;
    }
  }
}

}  // namespace

HANDLE CreateMutexA(SECURITY_ATTRIBUTES*, BOOL initial_owner, LPCSTR name) {
  const bool named = name != nullptr && *name != '\0';
  if (named) {
    if (MutexObject* existing = find_mutex(name)) return new_mutex_handle(existing);
  }
  int lock_file = -1;
  if (named) {
    lock_file = open(lock_path(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock_file < 0) return nullptr;
  }
  MutexObject* mutex = add_mutex(named ? name : "", lock_file);
  if (mutex != nullptr && initial_owner) take_mutex(mutex);
  return new_mutex_handle(mutex);
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
  if (name == nullptr || *name == '\0') return nullptr;
  if (MutexObject* existing = find_mutex(name)) return new_mutex_handle(existing);
  const int lock_file = open(lock_path(name).c_str(), O_RDWR | O_CLOEXEC);
  if (lock_file < 0) return nullptr;
  if (!locked_elsewhere(lock_file, kOpenByte)) {
    close(lock_file);  // a file left behind by processes that have ended
    return nullptr;
  }
  return new_mutex_handle(add_mutex(name, lock_file));
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  MutexObject* mutex = mutex_of(object);
  if (mutex == nullptr || milliseconds != 0) return WAIT_FAILED;
  return take_mutex(mutex);
}

BOOL ReleaseMutex(HANDLE handle) {
  MutexObject* mutex = mutex_of(handle);
  if (mutex == nullptr || mutex->takings == 0) return FALSE;
  if (--mutex->takings == 0 && mutex->lock_file >= 0) set_lock(mutex->lock_file, F_UNLCK, kHolderByte);
  return TRUE;
}

BOOL CloseHandle(HANDLE object) {
  if (g_live_handles.erase(object) == 0) return FALSE;
  auto* record = static_cast<platform::KernelHandle*>(object);
  switch (record->kind) {
    case platform::HandleKind::mutex:
      close_mutex_handle(reinterpret_cast<MutexHandle*>(record));
      return TRUE;
    case platform::HandleKind::file:
      platform::close_file_record(record);
      return TRUE;
  }
  return FALSE;
}

namespace platform {

HANDLE enter_handle(KernelHandle* record) {
  g_live_handles.insert(record);
  return record;
}

KernelHandle* find_handle(HANDLE handle, HandleKind kind) {
  if (g_live_handles.count(handle) == 0) return nullptr;
  auto* record = static_cast<KernelHandle*>(handle);
  return record->kind == kind ? record : nullptr;
}

}  // namespace platform
