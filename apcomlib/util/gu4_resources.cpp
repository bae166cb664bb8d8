// Loaders of the user-interface resources over the resource modules of the
// DLL table, newest first (so a language DLL's menus, icons and dialogs win
// over the module's own): accelerators, menus, bitmaps, cursors, icons,
// dialogs, MDI children of a module's window class, and property sheets
// (wizard or tabbed) whose pages come from one module.
//
// Called by the hosts' user interface.
#include <vector>

#include "util/util.h"

namespace {

// Common controls older than 4.71 know only the 40-byte sheet header.
constexpr uint16_t kNewSheetMajor = 4;
constexpr uint16_t kNewSheetMinor = 71;
constexpr DWORD kOldSheetHeaderSize = 40;
constexpr uint32_t kWizardFlags = PSH_WIZARD | PSH_NOAPPLYNOW;

template <typename Handle>
Handle gu4_load(Handle (*loader)(HINSTANCE, LPCSTR), const char* name) {
  int16_t index = GU4_DLL_TABLE_SIZE;
  while (HINSTANCE instance = gu4_NextResourceModule(&index)) {
    if (Handle loaded = loader(instance, name)) return loaded;
  }
  return loader(nullptr, name);  // the system's own
}

DWORD gu4_sheet_header_size() {
  char folder[MAX_PATH], path[MAX_PATH];
  const DWORD length = GetSystemDirectoryA(folder, sizeof folder);
  uint16_t major = 0, minor = 0;
  if (length == 0 || length >= sizeof folder || !gux_JoinPath(path, sizeof path, folder, "comctl32.dll", "", "") ||
      !GU4_GetFileVersion_ByFilename(path, &major, &minor, nullptr, nullptr))
    return sizeof(PROPSHEETHEADERA);
  const bool older = major < kNewSheetMajor || (major == kNewSheetMajor && minor < kNewSheetMinor);
  return older ? kOldSheetHeaderSize : sizeof(PROPSHEETHEADERA);
}

}  // namespace

APEXPORT HACCEL GU4_LoadAccelerators(const char* name) { return gu4_load(LoadAcceleratorsA, name); }

APEXPORT HMENU GU4_LoadMenu(const char* name) { return gu4_load(LoadMenuA, name); }

APEXPORT HBITMAP GU4_LoadBitmap(const char* name) { return gu4_load(LoadBitmapA, name); }

APEXPORT HCURSOR GU4_LoadCursor(const char* name) { return gu4_load(LoadCursorA, name); }

APEXPORT HICON GU4_LoadIcon(const char* name) { return gu4_load(LoadIconA, name); }

APEXPORT HWND GU4_CreateDialogParam(const char* dialog, HWND parent, DLGPROC procedure, LPARAM parameter) {
  int16_t index = GU4_DLL_TABLE_SIZE;
  while (HINSTANCE instance = gu4_NextResourceModule(&index)) {
    if (HWND window = CreateDialogParamA(instance, dialog, parent, procedure, parameter)) return window;
  }
  return nullptr;
}

APEXPORT INT_PTR GU4_DialogBoxParam(const char* dialog, HWND parent, DLGPROC procedure, LPARAM parameter) {
  int16_t index = GU4_DLL_TABLE_SIZE;
  while (HINSTANCE instance = gu4_NextResourceModule(&index)) {
    const INT_PTR result = DialogBoxParamA(instance, dialog, parent, procedure, parameter);
    if (result != -1) return result;
  }
  return -1;
}

APEXPORT HWND GU4_MDICreate(HWND mdi_client, MDICREATESTRUCTA* create) {
  if (create == nullptr) return nullptr;
  int16_t index = GU4_DLL_TABLE_SIZE;
  while (HINSTANCE instance = gu4_NextResourceModule(&index)) {
    if (!GetClassInfoA(instance, create->szClass, nullptr)) continue;
    create->hOwner = instance;
    return reinterpret_cast<HWND>(SendMessageA(mdi_client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(create)));
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Property sheets

APEXPORT INT_PTR GU4_InitMultiDlg(HWND parent, const char* caption, const char* const* templates, uint16_t count,
                                  uint32_t flags, DLGPROC procedure, uint32_t user_data) {
  if (caption == nullptr || templates == nullptr || count == 0 || count >= GU4_MAX_SHEET_PAGES ||
      procedure == nullptr)
    return 0;
  const HINSTANCE module = GU4_FindTranslatedResource(templates[0], RT_DIALOG);
  std::vector<GU4_PAGEPARAM> parameters(count);
  std::vector<PROPSHEETPAGEA> pages(count);
  for (uint16_t page = 0; page < count; ++page) {
    parameters[page] = GU4_PAGEPARAM{page, user_data};
    pages[page] = PROPSHEETPAGEA{sizeof(PROPSHEETPAGEA),
                                 PSP_USETITLE,
                                 module,
                                 templates[page],
                                 nullptr,
                                 caption,
                                 procedure,
                                 reinterpret_cast<LPARAM>(&parameters[page]),
                                 nullptr,
                                 nullptr};
  }
  PROPSHEETHEADERA header{};
  header.dwSize = gu4_sheet_header_size();
  header.dwFlags = flags | PSH_PROPSHEETPAGE;
  header.hwndParent = parent;
  header.hInstance = module;
  header.pszCaption = caption;
  header.nPages = count;
  header.ppsp = pages.data();
  return PropertySheetA(&header);
}

// The process's wizard parent window is never set: wizards have no parent.
APEXPORT INT_PTR GU4_CreateWizardDlg(const char* caption, const char* const* templates, uint16_t count,
                                     DLGPROC procedure, uint32_t user_data) {
  return GU4_InitMultiDlg(nullptr, caption, templates, count, kWizardFlags, procedure, user_data);
}

APEXPORT INT_PTR GU4_CreateTabbedDlg(HWND parent, const char* caption, const char* const* templates, uint16_t count,
                                     DLGPROC procedure, uint32_t user_data) {
  return GU4_InitMultiDlg(parent, caption, templates, count, PSH_NOAPPLYNOW, procedure, user_data);
}
