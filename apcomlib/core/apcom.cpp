// Class registration at load and release at unload.
//
// Owns the table of the library's accessory classes in their registration
// order, with each class's parent, initialisation, termination and
// dispatcher, and the order in which unload terminates them. The shared
// module's start-up calls apcom_RegisterClasses and its end
// apcom_UnregisterClasses; both may also be called directly. The same table
// gives the library module's export table, through which GU2_SetDispatcher
// finds a dispatcher by name. CApClassRegistrar registers one class for the
// life of an object.
#include <clocale>
#include <cstddef>
#include <iterator>

#include "array/array.h"
#include "core/core.h"
#include "exchange/exchange.h"
#include "files/files.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"
#include "util/util.h"
#include "platform/modules.h"

namespace {

struct ClassRegistration {
  uint16_t class_id;
  uint16_t parent_id;
  AP_CLASSFN init;
  AP_CLASSFN term;
  AP_DISPATCHER dispatcher;
  const char* dispatcher_name;
};

// The classes in the order they are registered, each after its parent. The
// full order, with parents: 2 OBJECT, 4 ARRAY (2), 7 SPECTRUM (4),
// 9 DATAPAIR (2), 13 PARAMS (2), 20 FILE (2), 21 SPECTRUM_FILE (2),
// 23 JCAMP_FILE (21), 25 X-Y PAIRS_FILE (21), 34 ANNOTATION (2), 40 LLIST (2),
// 41 SPECTRALHEADER (13), 43 TITLE (13), 45 COMBINED_FILE (21), 48 TEXT (2),
// 51 GROUP_FILE (20), 52 SPG_FILE (51), 63 VELMARAN_FILE (21), 120 SQ (13),
// 121 SQR (13). A class takes its row here, at its place, once it is built.
const ClassRegistration kRegistrations[] = {
    {AP2_CLASS_ID, 0, ap2_InitClass, ap2_TermClass, AP2_Dispatcher_OBJ, "AP2_Dispatcher_OBJ"},
    {AP4_CLASS_ID, AP2_CLASS_ID, ap4_InitClass, ap4_TermClass, AP4_Dispatcher_ARRAY, "AP4_Dispatcher_ARRAY"},
    {AP7_CLASS_ID, AP4_CLASS_ID, ap7a_InitClass, ap7b_TermClass, AP7_Dispatcher_SPECTRUM, "AP7_Dispatcher_SPECTRUM"},
    {AP9_CLASS_ID, AP2_CLASS_ID, ap9_InitClass, ap9_TermClass, AP9_Dispatcher_DATAPAIR, "AP9_Dispatcher_DATAPAIR"},
    {AP13_CLASS_ID, AP2_CLASS_ID, ap13_InitClass_PARAMS, ap13_TermClass_PARAMS, AP13_Dispatcher_PARAMS,
     "AP13_Dispatcher_PARAMS"},
    {AP20_CLASS_ID, AP2_CLASS_ID, ap20_InitClass, ap20_TermClass, AP20_Dispatcher_FILE, "AP20_Dispatcher_FILE"},
    {AP21_CLASS_ID, AP2_CLASS_ID, ap21_InitClass, ap21_TermClass, AP21_Dispatcher_SPECFL, "AP21_Dispatcher_SPECFL"},
    {AP23_CLASS_ID, AP21_CLASS_ID, ap23_InitClass, ap23_TermClass, AP23_Dispatcher_JCAMP, "AP23_Dispatcher_JCAMP"},
    {AP25_CLASS_ID, AP21_CLASS_ID, ap25_InitClass, ap25_TermClass, AP25_Dispatcher_XYPAIRS,
     "AP25_Dispatcher_XYPAIRS"},
    {AP34_CLASS_ID, AP2_CLASS_ID, ap34_InitClass_ANTATN, ap34_TermClass_ANTATN, AP34_Dispatcher_ANTATN,
     "AP34_Dispatcher_ANTATN"},
    {AP40_CLASS_ID, AP2_CLASS_ID, ap40_InitClass, ap40_TermClass, AP40_Dispatcher_LLIST, "AP40_Dispatcher_LLIST"},
    {AP41_CLASS_ID, AP13_CLASS_ID, ap41_InitClass_SH, ap41_TermClass_SH, AP41_Dispatcher_SH, "AP41_Dispatcher_SH"},
    {AP43_CLASS_ID, AP13_CLASS_ID, ap43_InitClass_TITLE, ap43_TermClass_TITLE, AP43_Dispatcher_TITLE,
     "AP43_Dispatcher_TITLE"},
    {AP45_CLASS_ID, AP21_CLASS_ID, ap45_InitClass, ap45_TermClass, AP45_Dispatcher_COMBINE,
     "AP45_Dispatcher_COMBINE"},
    {AP48_CLASS_ID, AP2_CLASS_ID, ap48_InitClass, ap48_TermClass, AP48_Dispatcher_TEXT, "AP48_Dispatcher_TEXT"},
    {AP51_CLASS_ID, AP20_CLASS_ID, ap51_InitClass, ap51_TermClass, AP51_Dispatcher_GROUP, "AP51_Dispatcher_GROUP"},
    {AP52_CLASS_ID, AP51_CLASS_ID, ap52_InitClass, ap52_TermClass, AP52_Dispatcher_SPG, "AP52_Dispatcher_SPG"},
    {AP63_CLASS_ID, AP21_CLASS_ID, ap63_InitClass, ap63_TermClass, AP63_Dispatcher_VELMARAN,
     "AP63_Dispatcher_VELMARAN"},
    {AP120_CLASS_ID, AP13_CLASS_ID, ap120_InitClass_SQ, ap120_TermClass_SQ, AP120_Dispatcher_SQ,
     "AP120_Dispatcher_SQ"},
    {AP121_CLASS_ID, AP13_CLASS_ID, ap121_InitClass_SQR, ap121_TermClass_SQR, AP121_Dispatcher_SQR,
     "AP121_Dispatcher_SQR"},
};

// The order in which unload terminates the classes; ids without a row above
// are passed over.
const uint16_t kTerminationOrder[] = {4, 34, 40, 45, 48, 21, 23, 25, 20, 13, 9, 2, 63, 120, 121, 7, 41, 43, 51, 52};

HINSTANCE g_module_instance = nullptr;
bool g_registered = false;

const ClassRegistration* apcom_registration(uint16_t class_id) {
  for (const ClassRegistration& registration : kRegistrations) {
    if (registration.class_id == class_id) return &registration;
  }
  return nullptr;
}

}  // namespace

HMODULE apcom_LibraryModule() {
  static platform::ModuleExport exports[std::size(kRegistrations)];
  for (size_t row = 0; row < std::size(kRegistrations); ++row)
    exports[row] = {kRegistrations[row].dispatcher_name, reinterpret_cast<FARPROC>(kRegistrations[row].dispatcher)};
  return platform::register_builtin_module("gaml2kov.dll", exports, std::size(exports));
}

// A second registration would make every class's heaps again and lose the
// first ones with the objects in them: it does nothing.
APEXPORT uint8_t apcom_RegisterClasses(HINSTANCE instance) {
  if (g_registered) return 1;
  g_registered = true;
  if (instance != nullptr) {
    g_module_instance = instance;
    GU4_AddDLLInst("talvosea.dll", instance, 1);
    GU4_AddDLLInst("talvo_ap.dll", instance, 1);
    GU4_AddResourceInstance(instance);
  }
  // The user's locale, except for numbers: the library writes and reads them
  // with its own decimal character.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  GUX_InitInternationalChars();
  for (const ClassRegistration& registration : kRegistrations) {
    const uint16_t state = registration.init(registration.class_id);
    APX_SetClassState(registration.class_id, static_cast<int16_t>(state));
    if (state != 0 && APX_GetClassParentID(registration.class_id) == 0)
      APX_SetClassParentID(registration.class_id, registration.parent_id);
    GU2_ImmedSetDispatcher(registration.class_id, registration.dispatcher);
  }
  return 1;
}

// Without a registration there is nothing to release, and the memory that
// objects of a framework host still use stays.
APEXPORT bool apcom_UnregisterClasses() {
  if (!g_registered) return true;
  g_registered = false;
  if (g_module_instance != nullptr) {
    // Every entry registration made for the module goes, so none is left
    // naming a module that is being unloaded.
    while (GU4_RemoveDLLInst(g_module_instance) != 0) {
    }
    g_module_instance = nullptr;
  }
  for (uint16_t class_id : kTerminationOrder) {
    if (const ClassRegistration* registration = apcom_registration(class_id)) registration->term(class_id);
  }
  GU3_Unregister();
  return true;
}

CApClassRegistrar::CApClassRegistrar(uint16_t class_id, AP_DISPATCHER dispatcher, AP_CLASSFN init, AP_CLASSFN term,
                                     AP_SETDISPATCHERFN set_dispatcher, AP_CLASSINFOFN class_info)
    : class_id_(class_id),
      dispatcher_(dispatcher),
      init_(init),
      term_(term),
      set_dispatcher_(set_dispatcher),
      class_info_(class_info) {
  if (init_ != nullptr && set_dispatcher_ != nullptr && init_(class_id_) == 1) set_dispatcher_(class_id_, dispatcher_);
}

CApClassRegistrar::~CApClassRegistrar() {
  if (term_ == nullptr || set_dispatcher_ == nullptr) return;
  set_dispatcher_(class_id_, nullptr);
  term_(class_id_);
}
