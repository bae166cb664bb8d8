// Fuzz target of the group-file class: arbitrary bytes as a file that a
// group-file object opens read-only, finding its format by probing. When a
// format takes it, the member count is read, then every member alone, its
// title and its stored interferograms, and all members as one list; a list
// read is saved as a new group file, which must open again with as many
// members. The library is loaded and released around each input, so every
// object, block and handle is given back. Seeds: fuzz/group_file_seeds.py.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "fuzz/file_objects.h"
#include "fuzz/input_file.h"
#include "fuzz/library.h"
#include "spectrum/spectrum.h"

namespace {

using fuzz::check;
using fuzz::destroy;

const fuzz::InputFile g_input("group_file", ".spg");
const fuzz::InputFile g_copy("group_file_copy", ".spg");

uint32_t send(uint16_t message, void* object, void* parameter = nullptr) {
  return GU2_DoMethod_MSG(message, object, parameter);
}

void destroy_list(AP_OBJECT* list) {
  if (list != nullptr) ap40_Destroy_LLIST(reinterpret_cast<AP40_LLIST*>(list), nullptr, 1);
}

AP51_GROUP_FILE* opened(const std::string& name, uint16_t mode, uint16_t class_id) {
  return fuzz::opened<AP51_GROUP_FILE>(AP51_CLASS_ID, name, mode, class_id);
}

AP_OBJECT* read_all(AP51_GROUP_FILE* group_file) {
  AP51_RANGEPARM whole{0xFFFF, 0};
  return ap_result_object<AP_OBJECT>(send(AP51_MSG_READ_RANGE, group_file, &whole));
}

// The list is saved as a new group file (a failed save deletes it), which
// must hold as many members as the list.
void round_trip(AP_OBJECT* list) {
  const uint32_t count = send(AP40_MSG_COUNT, list);
  AP51_GROUP_FILE* writer = opened(g_copy.path(), AP20_MODE_CREATE, AP52_CLASS_ID);
  check(writer != nullptr);
  const bool saved = send(AP51_MSG_SAVE_GROUP, writer, list) != 0;
  if (!saved) send(AP21_MSG_DELETE, writer);
  destroy(writer);
  if (!saved) return;
  AP51_GROUP_FILE* reader = opened(g_copy.path(), AP20_MODE_READ, 0);
  check(reader != nullptr && reader->format->class_id == AP52_CLASS_ID);
  check(send(AP51_MSG_MEMBER_COUNT, reader) == count);
  AP_OBJECT* again = read_all(reader);
  check(again != nullptr && send(AP40_MSG_COUNT, again) == count);
  destroy_list(again);
  destroy(reader);
}

// Every member alone, with its title and stored interferograms, then all
// of them at once: the whole read succeeds exactly when every member does.
void read_members(AP51_GROUP_FILE* group_file) {
  const uint32_t count = send(AP51_MSG_MEMBER_COUNT, group_file);
  bool every_member_read = count > 0;
  for (uint32_t member = 0; member < count; ++member) {
    char title[AP20_TITLE_SIZE];
    AP51_TITLEPARM titling{title, static_cast<uint16_t>(member)};
    send(AP51_MSG_TITLE, group_file, &titling);
    for (uint16_t which : {AP21_SAMPLE, AP21_BACKGROUND}) {
      AP51_IFGPARM stored{which, static_cast<uint16_t>(member), 0};
      destroy(ap_result_object<AP_OBJECT>(send(AP51_MSG_READ_INTERFEROGRAM, group_file, &stored)));
    }
    auto* spectrum = ap_result_object<AP_OBJECT>(
        send(AP51_MSG_READ_MEMBER, group_file, reinterpret_cast<void*>(static_cast<uintptr_t>(member))));
    every_member_read = every_member_read && spectrum != nullptr;
    destroy(spectrum);
  }
  check(send(AP51_MSG_READ_MEMBER, group_file, reinterpret_cast<void*>(static_cast<uintptr_t>(count))) == 0);
  AP_OBJECT* list = read_all(group_file);
  check((list != nullptr) == every_member_read);
  check(list == nullptr || send(AP40_MSG_COUNT, list) == count);
  ap51_Close(group_file);
  if (list != nullptr) round_trip(list);
  destroy_list(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_input.write(data, size);
  check(fuzz::load_library());
  if (AP51_GROUP_FILE* group_file = opened(g_input.path(), AP20_MODE_READ, 0)) {
    read_members(group_file);
    destroy(group_file);
  }
  for (uint16_t class_id : {AP7_CLASS_ID, AP20_CLASS_ID, AP21_CLASS_ID, AP51_CLASS_ID, AP52_CLASS_ID})
    check(APX_GetClassTable()->classes[class_id].live == 0);
  fuzz::release_library();
  return 0;
}
