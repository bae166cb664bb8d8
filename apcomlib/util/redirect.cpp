// File-open redirection. A host may install one object through which the
// native file layer opens and closes every file (to serve files from a store
// of its own, or to audit access); without one the calls go to the system.
// The file object opens and closes its handles only through these two calls.
#include "util/util.h"

namespace {
// The installed object, holding one reference of the library's own.
IVlRedirectFileAccess* g_redirection = nullptr;
}  // namespace

// Installing the object already installed releases it once and adds a
// reference again, so the caller's own reference carries it across the call.
APEXPORT uint16_t APX_TurnonFileRedirection(IVlRedirectFileAccess* object) {
  if (g_redirection != nullptr) g_redirection->Release();
  g_redirection = object;
  if (g_redirection != nullptr) g_redirection->AddRef();
  return 1;
}

APEXPORT HANDLE APX_RedirectCreateFile(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                       DWORD disposition, DWORD flags, HANDLE template_file) {
  if (g_redirection != nullptr)
    return g_redirection->CreateFile(name, access, share, security, disposition, flags, template_file);
  return CreateFileA(name, access, share, security, disposition, flags, template_file);
}

APEXPORT BOOL APX_RedirectCloseHandle(HANDLE file) {
  if (g_redirection != nullptr) return g_redirection->CloseHandle(file);
  return CloseHandle(file);
}
