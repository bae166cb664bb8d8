// The last-error value and its mapping from the system's errno.
#include "platform/errors.h"

#include <cerrno>

namespace {
thread_local DWORD g_last_error = ERROR_SUCCESS;
}

DWORD GetLastError() { return g_last_error; }
void SetLastError(DWORD error) { g_last_error = error; }

namespace platform {

DWORD error_from_errno(int error_number) {
  switch (error_number) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    default: return ERROR_INVALID_PARAMETER;
  }
}

DWORD set_last_error_from_errno() {
  const DWORD error = error_from_errno(errno);
  SetLastError(error);
  return error;
}

}  // namespace platform
