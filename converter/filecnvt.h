// The FileCnvt class: its registration script and the creator the module's
// class factory calls. The object itself (filecnvt.cpp) is reached only
// through IFileCnvt, IDispatch and ISupportErrorInfo.
#pragma once
#include <iterator>

#include "converter/module.h"

namespace converter {

// The class's registration script, under HKEY_CLASSES_ROOT.
inline constexpr ScriptKey kFileCnvtScript[] = {
    {"GAML2KOV.FileCnvt.1", "FileCnvt Class", nullptr, nullptr, KeyRemoval::kWhenEmpty},
    {"GAML2KOV.FileCnvt.1\\CLSID", "{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}", nullptr, nullptr,
     KeyRemoval::kWhenEmpty},
    {"GAML2KOV.FileCnvt", "FileCnvt Class", nullptr, nullptr, KeyRemoval::kWhenEmpty},
    {"GAML2KOV.FileCnvt\\CLSID", "{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}", nullptr, nullptr, KeyRemoval::kWhenEmpty},
    {"GAML2KOV.FileCnvt\\CurVer", "GAML2KOV.FileCnvt.1", nullptr, nullptr, KeyRemoval::kWhenEmpty},
    {"CLSID", nullptr, nullptr, nullptr, KeyRemoval::kNever},
    {"CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}", "FileCnvt Class", nullptr, nullptr, KeyRemoval::kWholeTree},
    {"CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\ProgID", "GAML2KOV.FileCnvt.1", nullptr, nullptr,
     KeyRemoval::kWhenEmpty},
    {"CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\VersionIndependentProgID", "GAML2KOV.FileCnvt", nullptr,
     nullptr, KeyRemoval::kWhenEmpty},
    {"CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\Programmable", nullptr, nullptr, nullptr,
     KeyRemoval::kWholeTree},
    {"CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\InprocServer32", "%MODULE%", "ThreadingModel", "Apartment",
     KeyRemoval::kWhenEmpty},
    {"CLSID\\{3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}\\TypeLib", "{C41E07B9-2D58-4F3A-9B6E-A8172F50D4C6}", nullptr,
     nullptr, KeyRemoval::kWhenEmpty},
};
inline constexpr size_t kFileCnvtScriptKeys = std::size(kFileCnvtScript);

// A new FileCnvt, locked on the module, as the interface asked for.
HRESULT CreateFileCnvt(REFIID iid, void** object);

}  // namespace converter
