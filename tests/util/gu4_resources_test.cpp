// Resource loaders over the resource modules, newest first; dialogs that
// cannot be shown; MDI children of a module's window class; and property
// sheets, seen through a stand-in for the sheet.
#include <cstring>

#include "dib_fixture.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

class Resources : public utiltest::Utilities {
 protected:
  void TearDown() override {
    platform::set_property_sheet_handler(nullptr);
    Utilities::TearDown();
  }
  // The text of a resource that a loader handed back as its data.
  template <typename Handle>
  static std::string text_of(Handle handle) {
    return handle != nullptr ? std::string(reinterpret_cast<const char*>(handle)) : "<none>";
  }
};

std::string text(const char* value) { return std::string(value, std::strlen(value) + 1); }

TEST_F(Resources, LoadersTakeTheNewestModuleThatHasTheResource) {
  utiltest::add_resource_module("base.dll", ModuleBuilder()
                                                .raw(RT_MENU, "MAIN", text("base menu"))
                                                .raw(RT_GROUP_ICON, "APP", text("base icon"))
                                                .raw(RT_GROUP_CURSOR, MAKEINTRESOURCEA(7), text("base cursor")));
  utiltest::add_resource_module("deu.dll", ModuleBuilder()
                                               .raw(RT_MENU, "MAIN", text("deu menu"))
                                               .raw(RT_ACCELERATOR, "KEYS", text("deu keys")));
  EXPECT_EQ(text_of(GU4_LoadMenu("main")), "deu menu");
  EXPECT_EQ(text_of(GU4_LoadIcon("APP")), "base icon");
  EXPECT_EQ(text_of(GU4_LoadCursor(MAKEINTRESOURCEA(7))), "base cursor");
  EXPECT_EQ(text_of(GU4_LoadAccelerators("KEYS")), "deu keys");
  EXPECT_EQ(GU4_LoadMenu("APP"), nullptr);  // an icon is no menu
  EXPECT_EQ(GU4_LoadIcon("ABSENT"), nullptr);  // nor has the system one
}

TEST_F(Resources, BitmapResourcesLoadAsBitmaps) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
    uint8_t rows[1][4];
  } dib{utiltest::info_header(3, 1, 1), {{0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0}}, {{0xA0, 0, 0, 0}}};
  const std::string bytes(reinterpret_cast<char*>(&dib), sizeof dib);
  utiltest::add_resource_module("pictures.dll", ModuleBuilder().raw(RT_BITMAP, "DOTS", bytes));
  const HBITMAP bitmap = GU4_LoadBitmap("DOTS");
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(utiltest::pixels_of(bitmap, 3, 1), (std::vector<COLORREF>{0xFFFFFF, 0, 0xFFFFFF}));
  DeleteObject(bitmap);
  // A bitmap resource shorter than its header says is refused.
  utiltest::add_resource_module("cut.dll",
                                ModuleBuilder().raw(RT_BITMAP, "CUT", bytes.substr(0, 44)));
  EXPECT_EQ(GU4_LoadBitmap("CUT"), nullptr);
}

INT_PTR unused_dialog_procedure(HWND, UINT, WPARAM, LPARAM) { return 0; }

TEST_F(Resources, DialogsCannotBeShownWithoutAScreen) {
  utiltest::add_resource_module("base.dll", ModuleBuilder().raw(RT_DIALOG, "ABOUT", text("template")));
  EXPECT_EQ(GU4_DialogBoxParam("ABOUT", nullptr, unused_dialog_procedure, 0), -1);
  EXPECT_EQ(GU4_CreateDialogParam("ABOUT", nullptr, unused_dialog_procedure, 0), nullptr);
}

TEST_F(Resources, MdiChildrenAreOwnedByTheModuleWithTheirClass) {
  const HMODULE base = utiltest::add_resource_module("base.dll", ModuleBuilder());
  utiltest::add_resource_module("deu.dll", ModuleBuilder());
  WNDCLASSA window_class{};
  window_class.hInstance = base;
  window_class.lpszClassName = "SpectrumView";
  ASSERT_NE(RegisterClassA(&window_class), 0);

  HINSTANCE owner = nullptr;
  const HWND child = reinterpret_cast<HWND>(0x5000);
  const HWND client = platform::create_window([&](HWND, UINT message, WPARAM, LPARAM lparam) -> LRESULT {
    if (message != WM_MDICREATE) return 0;
    owner = reinterpret_cast<const MDICREATESTRUCTA*>(lparam)->hOwner;
    return reinterpret_cast<LRESULT>(child);
  });
  MDICREATESTRUCTA create{"spectrumview", "Spectrum 1", nullptr, 0, 0, 100, 100, 0, 0};
  EXPECT_EQ(GU4_MDICreate(client, &create), child);
  EXPECT_EQ(owner, base);
  EXPECT_EQ(create.hOwner, base);

  owner = nullptr;
  MDICREATESTRUCTA unknown{"NoSuchClass", "x", nullptr, 0, 0, 1, 1, 0, 0};
  EXPECT_EQ(GU4_MDICreate(client, &unknown), nullptr);
  EXPECT_EQ(owner, nullptr);  // nothing sent
}

struct SeenSheet {
  DWORD size = 0, flags = 0;
  HWND parent = nullptr;
  HINSTANCE instance = nullptr;
  std::string caption;
  std::vector<std::string> templates, titles;
  std::vector<GU4_PAGEPARAM> parameters;
  std::vector<HINSTANCE> page_instances;
};

// A stand-in for the sheet that notes what it was given and answers 5.
void watch_sheets(SeenSheet* seen) {
  platform::set_property_sheet_handler([seen](const PROPSHEETHEADERA* header) -> INT_PTR {
    seen->size = header->dwSize;
    seen->flags = header->dwFlags;
    seen->parent = header->hwndParent;
    seen->instance = header->hInstance;
    seen->caption = header->pszCaption;
    for (UINT i = 0; i < header->nPages; ++i) {
      const PROPSHEETPAGEA& page = header->ppsp[i];
      seen->templates.push_back(page.pszTemplate);
      seen->titles.push_back(page.dwFlags & PSP_USETITLE ? page.pszTitle : "");
      seen->parameters.push_back(*reinterpret_cast<const GU4_PAGEPARAM*>(page.lParam));
      seen->page_instances.push_back(page.hInstance);
    }
    return 5;
  });
}

TEST_F(Resources, PropertySheetsTakeTheirPagesFromTheModuleWithTheFirstOne) {
  utiltest::add_resource_module("base.dll", ModuleBuilder().raw(RT_DIALOG, "PAGE1", text("one")));
  const HMODULE deu = utiltest::add_resource_module("deu.dll", ModuleBuilder().raw(RT_DIALOG, "PAGE1", text("eins")));
  const HWND owner = platform::create_window([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  const char* const pages[] = {"PAGE1", "PAGE2", "PAGE3"};
  EXPECT_EQ(GU4_CreateTabbedDlg(owner, "Options", pages, 3, unused_dialog_procedure, 77), -1);  // no sheet on this machine

  SeenSheet tabbed;
  watch_sheets(&tabbed);
  EXPECT_EQ(GU4_CreateTabbedDlg(owner, "Options", pages, 3, unused_dialog_procedure, 77), 5);
  EXPECT_EQ(tabbed.size, sizeof(PROPSHEETHEADERA));  // no old common controls installed
  EXPECT_EQ(tabbed.flags, PSH_NOAPPLYNOW | PSH_PROPSHEETPAGE);
  EXPECT_EQ(tabbed.parent, owner);
  EXPECT_EQ(tabbed.instance, deu);
  EXPECT_EQ(tabbed.caption, "Options");
  EXPECT_EQ(tabbed.templates, (std::vector<std::string>{"PAGE1", "PAGE2", "PAGE3"}));
  EXPECT_EQ(tabbed.titles, (std::vector<std::string>(3, "Options")));
  EXPECT_EQ(tabbed.page_instances, (std::vector<HINSTANCE>(3, deu)));
  ASSERT_EQ(tabbed.parameters.size(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(tabbed.parameters[i].page, i);
    EXPECT_EQ(tabbed.parameters[i].user_data, 77u);
  }

  SeenSheet wizard;
  watch_sheets(&wizard);
  EXPECT_EQ(GU4_CreateWizardDlg("Set-up", pages, 2, unused_dialog_procedure, 1), 5);
  EXPECT_EQ(wizard.flags, PSH_WIZARD | PSH_NOAPPLYNOW | PSH_PROPSHEETPAGE);
  EXPECT_EQ(wizard.parent, nullptr);
  EXPECT_EQ(wizard.templates.size(), 2u);
}

TEST_F(Resources, PropertySheetsRefuseWhatTheyCannotHold) {
  SeenSheet seen;
  watch_sheets(&seen);
  const char* pages[GU4_MAX_SHEET_PAGES];
  for (const char*& page : pages) page = "PAGE";
  EXPECT_EQ(GU4_InitMultiDlg(nullptr, nullptr, pages, 1, 0, unused_dialog_procedure, 0), 0);
  EXPECT_EQ(GU4_InitMultiDlg(nullptr, "x", pages, GU4_MAX_SHEET_PAGES, 0, unused_dialog_procedure, 0), 0);
  EXPECT_EQ(GU4_InitMultiDlg(nullptr, "x", pages, 0, 0, unused_dialog_procedure, 0), 0);
  EXPECT_EQ(GU4_InitMultiDlg(nullptr, "x", pages, 1, 0, nullptr, 0), 0);
  EXPECT_TRUE(seen.caption.empty());
  EXPECT_EQ(GU4_InitMultiDlg(nullptr, "x", pages, GU4_MAX_SHEET_PAGES - 1, 0, unused_dialog_procedure, 0), 5);
}

TEST_F(Resources, OldCommonControlsGetTheShortSheetHeader) {
  VS_FIXEDFILEINFO fixed{};
  fixed.dwSignature = VS_FFI_SIGNATURE;
  fixed.dwFileVersionMS = 4u << 16 | 70;
  ModuleBuilder().raw(RT_VERSION, MAKEINTRESOURCEA(1), std::string(reinterpret_cast<char*>(&fixed), sizeof fixed) + '\0')
      .install("comctl32.dll");
  SeenSheet seen;
  watch_sheets(&seen);
  const char* const pages[] = {"PAGE1"};
  EXPECT_EQ(GU4_CreateTabbedDlg(nullptr, "Options", pages, 1, unused_dialog_procedure, 0), 5);
  EXPECT_EQ(seen.size, 40u);
}

}  // namespace
