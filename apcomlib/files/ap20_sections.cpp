// Section storage of the native container.
//
// Finds a section by its keys (type, key 2, key 3), reads it into a memory
// block or a caller's buffer, writes it (reusing a freed entry, taking space
// from the reservoir or appending, and growing a full directory), frees
// sections, walks and renumbers the members of a group file, and compacts a
// file. The operations take a header and directory given by the caller, or
// the copies that a file object holds while a native file is open through it
// (ap20_container.cpp). Bytes are never written where a live section lies,
// and a section is never read beyond the file or shorter than its type
// needs. The file object's dispatcher calls these; the spectrum section
// reader and writer and the native format classes build on them.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <unordered_map>
#include <vector>

#include <xmmintrin.h>

#include "files/files.h"
#include "platform/memory.h"

namespace {

// The piece in which the directory growth and the compaction move bytes.
constexpr uint32_t kMoveChunk = 16384;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;

// Lengths of the sections whose readers take a fixed layout: a shorter
// section would have them read past it. The longest form bounds a read into
// a caller's buffer (message 93), which is sized for the layout.
struct SectionLayout {
  uint16_t type;
  uint32_t shortest;
  uint32_t longest;
};

const SectionLayout kLayouts[] = {
    {AP20_SECTION_HEADER, 140, 140},
    {AP20_SECTION_HEADER_EXTENSION, 56, 56},
    {AP20_SECTION_HEADER_TEXTS, 128, 728},
    {AP20_SECTION_HISTORY_BITS, 10, 10},
    {AP20_SECTION_MEMBER, 256, 264},
    {100, 0, 24},  // interferogram descriptors, extended to 24 bytes when shorter
    {101, 0, 24},
    {AP20_SECTION_SIGNATURE, 1024, 1024},
};

// Reading a section back and moving bytes need both directions; a file open
// for writing only is opened for both while that lasts, and put back in its
// mode afterwards on every path. A file open for reading stays so: nothing
// may be written to it.
struct ReadWriteAccess {
  AP20_FILE* file;
  uint16_t former = 0;
  explicit ReadWriteAccess(AP20_FILE* open_file) : file(open_file) {
    if (file->mode != AP20_MODE_WRITE) return;
    former = file->mode;
    ap20_Reopen(file, AP20_MODE_READWRITE);
  }
  ~ReadWriteAccess() {
    if (former != 0) ap20_Reopen(file, former);
  }
  ReadWriteAccess(const ReadWriteAccess&) = delete;
  ReadWriteAccess& operator=(const ReadWriteAccess&) = delete;
};

uint32_t ap20b_stored_length(uint32_t length) { return (length + 3u) & ~3u; }

// The directory handle is passed by its address, which may be a field of a
// packed record (the file object's own copy): it is moved as bytes.
GU3_HANDLE ap20b_handle_at(const GU3_HANDLE* at) {
  GU3_HANDLE handle;
  std::memcpy(&handle, at, sizeof handle);
  return handle;
}

void ap20b_set_handle_at(GU3_HANDLE* at, GU3_HANDLE handle) { std::memcpy(at, &handle, sizeof handle); }

const SectionLayout* ap20b_layout(uint16_t type) {
  for (const SectionLayout& layout : kLayouts) {
    if (layout.type == type) return &layout;
  }
  return nullptr;
}

// The directory given with a header, or null when either cannot be used:
// the count must fit the directory, and the directory must be readable.
AP20_DIRENTRY* ap20b_directory(const AP20_FILEHEADER* header, AP20_DIRENTRY* directory) {
  const int32_t count = ap20a_EntryCount(header);
  if (count < 0 || IsBadReadPtr(directory, static_cast<uint32_t>(count) * sizeof(AP20_DIRENTRY))) return nullptr;
  return directory;
}

// The directory in a memory block, which must hold the whole directory the
// header describes, since a new entry is written into it.
AP20_DIRENTRY* ap20b_directory_block(const AP20_FILEHEADER* header, GU3_HANDLE block) {
  uint32_t after = 0;
  void* directory = GU3_GetPointer_MM(block, 0, &after, nullptr);
  if (directory == nullptr || ap20a_EntryCount(header) < 0) return nullptr;
  const uint64_t bytes = static_cast<uint64_t>(after + 1) * GU3_LenElements_MM(block);
  return bytes >= ap20a_DataStart(header) - sizeof(AP20_FILEHEADER) ? static_cast<AP20_DIRENTRY*>(directory) : nullptr;
}

// The index of a directory that a writer fills while it holds an
// ap20_indexed_directory: the entries in use by their keys and the free
// entries, each in directory order, so that a section write finds what it
// replaces and where it goes without a scan of every entry. Entries added
// behind its back are taken in when it is next used; any other change
// outside the writes makes it start again from the directory.
// Keys folded to the 32 bits of a hash, so that keys differing only in
// type or key 2 spread too.
struct KeysHash {
  size_t operator()(uint64_t keys) const { return static_cast<uint32_t>(keys ^ keys >> 32) * 2654435761u; }
};

struct DirectoryIndex {
  DirectoryIndex(GU3_HANDLE* directory_block, const AP20_FILEHEADER* for_header)
      : block_at(directory_block), header(for_header) {}
  GU3_HANDLE* block_at;
  const AP20_FILEHEADER* header;
  uint32_t covered = 0;  // entries [0, covered) are indexed
  std::unordered_map<uint64_t, std::vector<uint32_t>, KeysHash> in_use;
  std::set<uint32_t> free;
};
std::unique_ptr<DirectoryIndex> g_index;

uint64_t ap20b_keys(uint16_t type, uint16_t key2, uint32_t key3) {
  return static_cast<uint64_t>(type) << 48 | static_cast<uint64_t>(key2) << 32 | key3;
}

void ap20b_index_add(DirectoryIndex* index, const AP20_DIRENTRY& entry, uint32_t at) {
  if (entry.type == AP20_SECTION_FREE) {
    index->free.insert(at);
    return;
  }
  std::vector<uint32_t>& entries = index->in_use[ap20b_keys(entry.type, entry.key2, entry.key3)];
  entries.insert(std::upper_bound(entries.begin(), entries.end(), at), at);
}

void ap20b_index_remove(DirectoryIndex* index, const AP20_DIRENTRY& entry, uint32_t at) {
  if (entry.type == AP20_SECTION_FREE) {
    index->free.erase(at);
    return;
  }
  const auto found = index->in_use.find(ap20b_keys(entry.type, entry.key2, entry.key3));
  if (found == index->in_use.end()) return;
  std::vector<uint32_t>& entries = found->second;
  const auto position = std::lower_bound(entries.begin(), entries.end(), at);
  if (position != entries.end() && *position == at) entries.erase(position);
  if (entries.empty()) index->in_use.erase(found);
}

// Runs a change of the index; an index that cannot take it (memory ran
// out) is given up, and the scans serve again. False then.
template <class Change>
bool ap20b_index_change(Change change) {
  try {
    change();
    return true;
  } catch (const std::bad_alloc&) {
    g_index.reset();
    return false;
  }
}

// Every entry will be indexed afresh when the index is next used: for the
// changes made without it.
void ap20b_index_forget() {
  if (g_index == nullptr) return;
  g_index->covered = 0;
  g_index->in_use.clear();
  g_index->free.clear();
}

// The index kept for this header and directory, brought up to date; null
// when none is kept for them.
DirectoryIndex* ap20b_index_of(const AP20_FILEHEADER* header, const AP20_DIRENTRY* directory) {
  if (g_index == nullptr || g_index->header != header || directory == nullptr ||
      GU3_GetPointer_MM(ap20b_handle_at(g_index->block_at), 0, nullptr, nullptr) != directory) {
    return nullptr;
  }
  if (header->count < g_index->covered) ap20b_index_forget();
  const bool kept = ap20b_index_change([&] {
    for (; g_index->covered < header->count; ++g_index->covered) {
      ap20b_index_add(g_index.get(), directory[g_index->covered], g_index->covered);
    }
  });
  return kept ? g_index.get() : nullptr;
}

// Sets entry `at`, one in use or the one after them, keeping the index in
// step.
void ap20b_set_entry(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint32_t at, const AP20_DIRENTRY& entry) {
  DirectoryIndex* index = ap20b_index_of(header, directory);
  if (index != nullptr && at < header->count &&
      !ap20b_index_change([&] { ap20b_index_remove(index, directory[at], at); })) {
    index = nullptr;
  }
  directory[at] = entry;
  if (at == header->count) ++header->count;
  if (index != nullptr && ap20b_index_change([&] { ap20b_index_add(index, entry, at); })) {
    index->covered = std::max(index->covered, at + 1);
  }
}

void ap20b_free_entry(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint32_t at) {
  AP20_DIRENTRY freed = directory[at];
  freed.type = AP20_SECTION_FREE;
  freed.key2 = 0;
  freed.key3 = 0;
  ap20b_set_entry(header, directory, at, freed);
}

bool ap20b_matches(const AP20_DIRENTRY& entry, uint16_t type, uint16_t key2, uint32_t key3, bool any_key3) {
  return entry.type == type && entry.key2 == key2 && (any_key3 || entry.key3 == key3);
}

// The index of the first entry from `from` on with these keys, or kNoEntry.
uint32_t ap20b_find(const AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                    uint32_t key3, uint32_t from, bool any_key3) {
  AP20_DIRENTRY* entries = ap20b_directory(header, directory);
  if (entries == nullptr) return kNoEntry;
  if (DirectoryIndex* index = !any_key3 && type != AP20_SECTION_FREE ? ap20b_index_of(header, entries) : nullptr) {
    const auto found = index->in_use.find(ap20b_keys(type, key2, key3));
    if (found == index->in_use.end()) return kNoEntry;
    const auto first = std::lower_bound(found->second.begin(), found->second.end(), from);
    return first != found->second.end() ? *first : kNoEntry;
  }
  for (uint32_t index = from; index < header->count; ++index) {
    if (ap20b_matches(entries[index], type, key2, key3, any_key3)) return index;
  }
  return kNoEntry;
}

bool ap20b_holds_bytes(const AP20_DIRENTRY& entry) { return entry.type != AP20_SECTION_FREE && entry.length != 0; }

// True when bytes [start, start + length) lie after the directory and share
// no byte with any entry in use that holds bytes (the reservoir counts), the
// entry `except` aside.
bool ap20b_room_at(const AP20_FILEHEADER* header, const AP20_DIRENTRY* directory, uint32_t start, uint32_t length,
                   uint32_t except) {
  const uint64_t end = static_cast<uint64_t>(start) + length;
  if (start < ap20a_DataStart(header) || end > 0xFFFFFFFFull) return false;
  for (uint32_t index = 0; index < header->count; ++index) {
    const AP20_DIRENTRY& entry = directory[index];
    if (index == except || !ap20b_holds_bytes(entry)) continue;
    if (start < static_cast<uint64_t>(entry.offset) + entry.length && entry.offset < end) return false;
  }
  return true;
}

// Checks that a section lies inside the data of the file and is long
// enough for its type; sets the damage code otherwise.
bool ap20b_readable(AP20_FILE* file, const AP20_FILEHEADER* header, const AP20_DIRENTRY& entry) {
  const SectionLayout* layout = ap20b_layout(entry.type);
  const uint32_t file_size = ap20_GetFileSize(file);
  const uint64_t end = static_cast<uint64_t>(entry.offset) + entry.length;
  if (file_size == 0xFFFFFFFF) return false;
  if (entry.offset < ap20a_DataStart(header) || end > file_size ||
      (layout != nullptr && entry.length < layout->shortest)) {
    file->error = AP20_ERROR_DAMAGED;
    return false;
  }
  return true;
}

// Reads a section into a new block of 32-bit words, one word beyond the
// data for a comment text, which gets its NUL there.
GU3_HANDLE ap20b_read_entry(AP20_FILE* file, const AP20_FILEHEADER* header, const AP20_DIRENTRY& entry,
                            uint32_t* length) {
  if (!ap20_IsOpen(file)) {
    ap20_SetError(file, AP20_ERROR_NOT_OPEN);
    return nullptr;
  }
  if (!ap20b_readable(file, header, entry)) return nullptr;
  uint32_t words = entry.length / 4 + (entry.length % 4 != 0 ? 1 : 0);
  if (entry.type == AP20_SECTION_COMMENT && entry.length % 4 == 0) ++words;
  ap20_owned_block block(GU3_Allocate_MM(std::max(words, 1u), sizeof(uint32_t), GU3_KIND_GLOBAL));
  void* bytes = block.data();
  if (bytes == nullptr || (entry.length != 0 && !ap20_ReadAt(file, entry.offset, bytes, entry.length))) return nullptr;
  if (length != nullptr && !IsBadWritePtr(length, sizeof *length)) *length = entry.length;
  return block.release();
}

// Moves `length` bytes from `from` down to `to`, front first, so that an
// overlap of the two ranges loses nothing.
bool ap20b_move_down(AP20_FILE* file, uint32_t from, uint32_t to, uint32_t length, uint8_t* buffer) {
  for (uint32_t done = 0; done < length; done += kMoveChunk) {
    const uint32_t piece = std::min(kMoveChunk, length - done);
    if (!ap20_ReadAt(file, from + done, buffer, piece) || !ap20_WriteAt(file, to + done, buffer, piece)) return false;
  }
  return true;
}

// Directory growth by G blocks: the data after the directory moves G × 256
// bytes towards the end (whole chunks from the end backwards, then the rest
// at the front), every entry's offset with it, and a larger directory
// replaces the block.
bool ap20b_grow(AP20_FILE* file, AP20_FILEHEADER* header, GU3_HANDLE* directory_block) {
  const uint32_t growth = std::max(2u, file->growth_step / AP20_ENTRIES_PER_BLOCK);
  if (header->blocks + growth > AP20_MAX_BLOCKS) return false;
  const uint32_t shift = growth * AP20_BLOCK_BYTES;
  const uint32_t data_start = ap20a_DataStart(header);
  ReadWriteAccess access(file);
  const uint32_t file_end = ap20_GetFileSize(file);
  ap20_owned_block chunk(GU3_Allocate_MM(kMoveChunk, 1, GU3_KIND_GLOBAL));
  auto* buffer = static_cast<uint8_t*>(chunk.data());
  if (file_end == 0xFFFFFFFF || file_end < data_start || buffer == nullptr) return false;
  if (static_cast<uint64_t>(file_end) + shift > 0x7FFFFFFFull) return false;
  uint32_t position = file_end;
  for (; position - data_start >= kMoveChunk; position -= kMoveChunk) {
    if (!ap20_ReadAt(file, position - kMoveChunk, buffer, kMoveChunk) ||
        !ap20_WriteAt(file, position - kMoveChunk + shift, buffer, kMoveChunk))
      return false;
  }
  const uint32_t rest = position - data_start;
  if (rest != 0 && (!ap20_ReadAt(file, data_start, buffer, rest) || !ap20_WriteAt(file, data_start + shift, buffer, rest)))
    return false;

  const uint32_t entries = (header->blocks + growth) * AP20_ENTRIES_PER_BLOCK;
  ap20_owned_block grown(GU3_Allocate_MM(entries, sizeof(AP20_DIRENTRY), GU3_KIND_GLOBAL));
  auto* directory = static_cast<AP20_DIRENTRY*>(grown.data());
  GU3_HANDLE old_block = ap20b_handle_at(directory_block);
  const auto* old_directory = static_cast<const AP20_DIRENTRY*>(GU3_GetPointer_MM(old_block, 0, nullptr, nullptr));
  if (directory == nullptr || old_directory == nullptr) return false;
  std::memcpy(directory, old_directory, header->count * sizeof(AP20_DIRENTRY));
  for (uint32_t index = 0; index < header->count; ++index) directory[index].offset += shift;
  // The object's own copy follows; a caller's copy is the caller's to keep.
  const bool objects_copy = file->directory_block == old_block;
  GU3_HANDLE new_block = grown.release();
  ap20b_set_handle_at(directory_block, new_block);
  if (objects_copy) {
    file->directory_block = new_block;
    file->directory = directory;
  }
  GU3_Free_MM(old_block);
  header->blocks = static_cast<uint16_t>(header->blocks + growth);
  return ap20a_WriteDirectory(file, header, directory) != 0;
}

// Has the writer object write its own stream at the end of the file, takes
// the bytes back into a block padded to a multiple of 4 and cuts the file
// where it ended, so that the stream is placed like any other section and
// its entry records exactly the bytes stored.
GU3_HANDLE ap20b_capture_stream(AP20_FILE* file, void* writer, uint32_t* length) {
  ReadWriteAccess access(file);
  const uint32_t file_end = ap20_GetFileSize(file);
  if (file_end == 0xFFFFFFFF || !ap20_Seek(file, static_cast<int32_t>(file_end), FILE_BEGIN)) return nullptr;
  const uint32_t written = GU2_DoMethod_MSG(AP_MSG_WRITE, writer, file);
  const uint32_t stream_end = ap20_GetPosition(file);
  const uint32_t stream = stream_end != 0xFFFFFFFF && stream_end >= file_end ? stream_end - file_end : 0;
  ap20_owned_block block(GU3_Allocate_MM(std::max(ap20b_stored_length(stream) / 4, 1u), sizeof(uint32_t), GU3_KIND_GLOBAL));
  const bool taken = written != 0 && stream_end != 0xFFFFFFFF && block.data() != nullptr &&
                     (stream == 0 || ap20_ReadAt(file, file_end, block.data(), stream));
  const bool cut = ap20_Seek(file, static_cast<int32_t>(file_end), FILE_BEGIN) && ap20_Truncate(file);
  if (!taken || !cut) return nullptr;
  *length = stream;
  return block.release();
}

// The bytes a section is written from: as they stand in memory, or 4-byte
// values that go to the file last one first.
struct SectionBytes {
  const void* bytes;
  bool reversed;
};

// Values turned round pass through a buffer of this many at a time, so that
// a long spectrum needs no reversed copy of its own.
constexpr uint32_t kReversedPiece = 8192;

// `count` floats into `to`, last first, four at a time.
void ap20b_reverse_copy(const float* from, uint32_t count, float* to) {
  uint32_t done = 0;
  for (; done + 4 <= count; done += 4) {
    const __m128 four = _mm_loadu_ps(from + count - done - 4);
    _mm_storeu_ps(to + done, _mm_shuffle_ps(four, four, _MM_SHUFFLE(0, 1, 2, 3)));
  }
  for (; done < count; ++done) to[done] = from[count - done - 1];
}

bool ap20b_write_bytes(AP20_FILE* file, uint32_t offset, const SectionBytes& source, uint32_t stored) {
  if (!source.reversed) return ap20_WriteAt(file, offset, source.bytes, stored) != 0;
  if (!ap20_Seek(file, static_cast<int32_t>(offset), FILE_BEGIN)) return false;
  const auto* values = static_cast<const float*>(source.bytes);
  float piece[kReversedPiece];
  for (uint32_t left = stored / sizeof(float); left > 0;) {
    const uint32_t count = std::min(left, kReversedPiece);
    ap20b_reverse_copy(values + left - count, count, piece);
    if (ap20_Write(file, piece, count * sizeof(float)) != count * sizeof(float)) return false;
    left -= count;
  }
  return true;
}

// Places L bytes as the entry (type, key 2, key 3): in the first free entry
// long enough when replacing, else in a new entry, the directory grown first
// when it is full; a new entry's bytes come from the start of the reservoir
// when that has room, else from the end of the file.
uint16_t ap20b_place(AP20_FILE* file, AP20_FILEHEADER* header, GU3_HANDLE* directory_block, uint16_t type,
                     uint32_t stored, const SectionBytes& bytes, uint16_t key2, uint32_t key3, uint16_t replace) {
  AP20_DIRENTRY* directory = ap20b_directory_block(header, ap20b_handle_at(directory_block));
  if (directory == nullptr) return 0;
  uint32_t slot = kNoEntry;
  if (const DirectoryIndex* index = replace ? ap20b_index_of(header, directory) : nullptr) {
    for (uint32_t free : index->free) {
      if (directory[free].length >= stored) {
        slot = free;
        break;
      }
    }
  } else {
    for (uint32_t index = 0; replace && index < header->count; ++index) {
      if (directory[index].type == AP20_SECTION_FREE && directory[index].length >= stored) {
        slot = index;
        break;
      }
    }
  }
  if (slot != kNoEntry && !ap20b_room_at(header, directory, directory[slot].offset, stored, slot)) slot = kNoEntry;
  const uint32_t index = slot != kNoEntry ? slot : header->count;
  if (index >= header->blocks * AP20_ENTRIES_PER_BLOCK) {
    if (!file->may_grow || !ap20b_grow(file, header, directory_block)) return 0;
    directory = static_cast<AP20_DIRENTRY*>(GU3_GetPointer_MM(ap20b_handle_at(directory_block), 0, nullptr, nullptr));
  }
  AP20_DIRENTRY& reservoir = directory[0];
  const bool from_reservoir = slot == kNoEntry && header->count > 0 && reservoir.type == AP20_SECTION_RESERVOIR &&
                              ap20b_room_at(header, directory, reservoir.offset, stored, 0);
  // Appended bytes never go inside the directory, even of a file cut short.
  const uint32_t file_end = ap20_GetFileSize(file);
  uint32_t offset = file_end == 0xFFFFFFFF ? file_end : std::max(file_end, ap20a_DataStart(header));
  if (slot != kNoEntry) offset = directory[slot].offset;
  if (from_reservoir) offset = reservoir.offset;
  if (offset == 0xFFFFFFFF || (stored != 0 && !ap20b_write_bytes(file, offset, bytes, stored))) return 0;
  if (from_reservoir) {
    reservoir.offset += stored;
    reservoir.length = reservoir.length > stored ? reservoir.length - stored : 0;
  }
  ap20b_set_entry(header, directory, index, AP20_DIRENTRY{type, offset, stored, key2, key3});
  return 1;
}

}  // namespace

ap20_indexed_directory::ap20_indexed_directory(const AP20_FILEHEADER* header, GU3_HANDLE* directory_block)
    : owner(g_index == nullptr && header != nullptr && directory_block != nullptr) {
  if (owner) g_index.reset(new (std::nothrow) DirectoryIndex(directory_block, header));
}

ap20_indexed_directory::~ap20_indexed_directory() {
  if (owner) g_index.reset();
}

// ---------------------------------------------------------------------------
// Look-ups

uint16_t ap20b_HasSection(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                          uint32_t key3, uint16_t* count) {
  AP20_DIRENTRY* entries = ap20b_directory(header, directory);
  if (entries == nullptr) return 0;
  if (count != nullptr && !IsBadWritePtr(count, sizeof *count)) {
    uint16_t of_type = 0;
    for (uint32_t index = 0; index < header->count; ++index) of_type += entries[index].type == type ? 1 : 0;
    *count = of_type;
  }
  return ap20b_find(header, entries, type, key2, key3, 0, false) != kNoEntry ? 1 : 0;
}

uint32_t ap20b_SectionOffset(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                             uint32_t key3) {
  const uint32_t index = ap20b_find(header, directory, type, key2, key3, 0, false);
  return index != kNoEntry ? directory[index].offset : 0;
}

uint32_t ap20b_SectionLength(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                             uint32_t key3) {
  const uint32_t index = ap20b_find(header, directory, type, key2, key3, 0, false);
  return index != kNoEntry ? directory[index].length : 0;
}

uint32_t ap20b_MemberOffset(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2) {
  const uint32_t index = ap20b_find(header, directory, type, key2, 0, 0, true);
  return index != kNoEntry ? directory[index].offset : 0;
}

uint16_t ap20b_HighestKey2(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type) {
  AP20_DIRENTRY* entries = ap20b_directory(header, directory);
  uint16_t highest = 0;
  for (uint32_t index = 0; entries != nullptr && index < header->count; ++index) {
    if (entries[index].type == type) highest = std::max(highest, entries[index].key2);
  }
  return highest;
}

// The key 2 of the entry of the type that follows the one with key 2
// (the first one for 9999); 9999 and 0 when there is none.
uint16_t ap20b_NextKey2(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                        uint16_t* next) {
  if (IsBadWritePtr(next, sizeof *next)) return 0;
  *next = AP20_NO_KEY2;
  AP20_DIRENTRY* entries = ap20b_directory(header, directory);
  bool after_current = key2 == AP20_NO_KEY2;
  for (uint32_t index = 0; entries != nullptr && index < header->count; ++index) {
    if (entries[index].type != type) continue;
    if (after_current) {
      *next = entries[index].key2;
      return 1;
    }
    after_current = entries[index].key2 == key2;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Reading

GU3_HANDLE ap20b_ReadSection(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                             uint16_t key2, uint32_t key3, uint32_t* length) {
  uint16_t index = 0;
  return ap20b_ReadSectionFrom(object, header, directory, type, key2, key3, &index, length);
}

GU3_HANDLE ap20b_ReadSectionFrom(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                                 uint16_t key2, uint32_t key3, uint16_t* index, uint32_t* length) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || IsBadWritePtr(index, sizeof *index)) return nullptr;
  const uint32_t found = ap20b_find(header, directory, type, key2, key3, *index, false);
  if (found == kNoEntry) return nullptr;
  *index = static_cast<uint16_t>(found);
  return ap20b_read_entry(file, header, directory[found], length);
}

// Reads into a buffer that the caller sized for the section's type: a
// section longer than its type's layout is refused.
uint16_t ap20b_ReadSectionInto(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                               uint16_t key2, uint32_t key3, void* buffer, uint16_t* index) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || IsBadWritePtr(index, sizeof *index)) return 0;
  const uint32_t found = ap20b_find(header, directory, type, key2, key3, *index, false);
  if (found == kNoEntry) return 0;
  const AP20_DIRENTRY& entry = directory[found];
  const SectionLayout* layout = ap20b_layout(type);
  if (!ap20b_readable(file, header, entry)) return 0;
  if ((layout != nullptr && entry.length > layout->longest) || IsBadWritePtr(buffer, entry.length)) {
    file->error = AP20_ERROR_DAMAGED;
    return 0;
  }
  *index = static_cast<uint16_t>(found);
  return entry.length == 0 || ap20_ReadAt(file, entry.offset, buffer, entry.length) ? 1 : 0;
}

GU3_HANDLE ap20b_ReadOpenSection(AP20_FILE* file, uint16_t type, uint16_t key2, uint32_t key3, uint32_t* length) {
  if (file == nullptr || file->header == nullptr) return nullptr;
  return ap20b_ReadSection(file, file->header, file->directory, type, key2, key3, length);
}

// ---------------------------------------------------------------------------
// Writing and freeing

namespace {

// Frees what a new section (type, key 2, key 3) takes the place of: every
// section of the type when it is not keyed, the one with its keys when it
// replaces. False when the directory cannot be written.
bool ap20b_free_replaced(AP20_FILE* file, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                         uint16_t keyed, uint16_t key2, uint32_t key3, uint16_t replace) {
  bool freed = false;
  if (!keyed) {
    for (uint32_t index = 0; index < header->count; ++index) {
      if (directory[index].type != type) continue;
      ap20b_free_entry(header, directory, index);
      freed = true;
    }
  } else if (replace) {
    const uint32_t index = ap20b_find(header, directory, type, key2, key3, 0, false);
    if (index != kNoEntry) {
      ap20b_free_entry(header, directory, index);
      freed = true;
    }
  }
  // A pre-deletion reaches the disk before its space can be taken again.
  // Without one the disk copy may lag until it is written back: writing the
  // whole directory before every section of a new file of many members
  // would cost time in the square of their number.
  return !freed || ap20a_WriteDirectory(file, header, directory) != 0;
}

}  // namespace

uint16_t ap20b_WriteSection(void* object, AP20_FILEHEADER* header, GU3_HANDLE* directory_block, uint16_t type,
                            uint32_t length, GU3_HANDLE data, uint16_t keyed, uint16_t key2, uint32_t key3,
                            uint16_t replace, void* writer) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || IsBadWritePtr(directory_block, sizeof(GU3_HANDLE))) return 0;
  AP20_DIRENTRY* directory = ap20b_directory_block(header, ap20b_handle_at(directory_block));
  if (directory == nullptr) return 0;
  uint32_t after = 0;
  const void* bytes = GU3_GetPointer_MM(data, 0, &after, nullptr);
  const uint64_t data_bytes = bytes != nullptr ? static_cast<uint64_t>(after + 1) * GU3_LenElements_MM(data) : 0;
  if (writer == nullptr && length > data_bytes) return 0;
  if (!ap20b_free_replaced(file, header, directory, type, keyed, key2, key3, replace)) return 0;

  ap20_owned_block staged(nullptr);
  if (writer != nullptr) {
    staged.handle = ap20b_capture_stream(file, writer, &length);
    if (staged.handle == nullptr) return 0;
  } else if (length % 4 != 0) {
    staged.handle = GU3_Allocate_MM(ap20b_stored_length(length) / 4, sizeof(uint32_t), GU3_KIND_GLOBAL);
    if (staged.data() == nullptr) return 0;
    std::memcpy(staged.data(), bytes, length);
  }
  if (staged.handle != nullptr) bytes = staged.data();
  return ap20b_place(file, header, directory_block, type, ap20b_stored_length(length), SectionBytes{bytes, false},
                     key2, key3, replace);
}

uint16_t ap20b_WriteReversedSection(void* object, AP20_FILEHEADER* header, GU3_HANDLE* directory_block,
                                    uint16_t type, const float* values, uint32_t count, uint16_t keyed,
                                    uint16_t key2, uint32_t key3, uint16_t replace) {
  AP20_FILE* file = ap20_FindFile(object);
  if (file == nullptr || IsBadWritePtr(directory_block, sizeof(GU3_HANDLE)) || count > 0xFFFFFFFF / sizeof(float) ||
      (count != 0 && IsBadReadPtr(values, count * sizeof(float)))) {
    return 0;
  }
  AP20_DIRENTRY* directory = ap20b_directory_block(header, ap20b_handle_at(directory_block));
  if (directory == nullptr || !ap20b_free_replaced(file, header, directory, type, keyed, key2, key3, replace)) return 0;
  return ap20b_place(file, header, directory_block, type, count * static_cast<uint32_t>(sizeof(float)),
                     SectionBytes{values, true}, key2, key3, replace);
}

uint16_t ap20b_WriteOpenSection(AP20_FILE* file, uint16_t type, uint32_t length, GU3_HANDLE data, uint16_t keyed,
                                uint16_t key2, uint32_t key3) {
  if (file == nullptr || file->header == nullptr) return 0;
  return ap20b_WriteSection(file, file->header, &file->directory_block, type, length, data, keyed, key2, key3, 1,
                            nullptr);
}

uint16_t ap20b_FreeSection(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                           uint16_t key2, uint32_t key3) {
  const uint32_t index = ap20b_find(header, directory, type, key2, key3, 0, false);
  if (index != kNoEntry) ap20b_free_entry(header, directory, index);
  return ap20b_directory(header, directory) != nullptr ? ap20a_WriteDirectory(object, header, directory) : 0;
}

uint16_t ap20b_FreeType(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type) {
  AP20_DIRENTRY* entries = ap20b_directory(header, directory);
  if (entries == nullptr) return 0;
  for (uint32_t index = 0; index < header->count; ++index) {
    if (entries[index].type == type) ap20b_free_entry(header, entries, index);
  }
  return ap20a_WriteDirectory(object, header, entries);
}

// In memory only; the file is written when the native file is closed.
uint16_t ap20b_FreeMember(AP20_FILE* file, uint16_t key2) {
  if (file == nullptr || file->header == nullptr) return 0;
  AP20_DIRENTRY* entries = ap20b_directory(file->header, file->directory);
  uint16_t freed = 0;
  for (uint32_t index = 0; entries != nullptr && index < file->header->count; ++index) {
    if (entries[index].type == AP20_SECTION_FREE || entries[index].key2 != key2) continue;
    ap20b_free_entry(file->header, entries, index);
    freed = 1;
  }
  return freed;
}

// Gives the members consecutive numbers from 0 in directory order: each run
// of entries sharing a key 2 takes the next number. In memory only.
uint16_t ap20b_Renumber(AP20_FILE* file) {
  if (file == nullptr || file->header == nullptr) return 0;
  AP20_DIRENTRY* entries = ap20b_directory(file->header, file->directory);
  if (entries == nullptr || file->header->count == 0) return 0;
  ap20b_index_forget();
  uint16_t remembered = entries[0].key2;
  uint16_t counter = 0;
  for (uint32_t index = 0; index < file->header->count; ++index) {
    if (entries[index].type == AP20_SECTION_FREE) continue;
    if (entries[index].key2 != remembered) {
      remembered = entries[index].key2;
      ++counter;
    }
    entries[index].key2 = counter;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Compaction

// Drops the free and empty entries, then closes the gaps between the
// sections in the order they lie in the file: the first stays, each next
// one moves down to the end of the one before it, and its new offset is on
// disk at once. The file is cut after the last section.
uint16_t ap20b_Compact(AP20_FILE* file) {
  if (file == nullptr || file->header == nullptr || !ap20_IsOpen(file)) return 0;
  AP20_FILEHEADER* header = file->header;
  AP20_DIRENTRY* directory = ap20b_directory(header, file->directory);
  if (directory == nullptr) return 0;
  ap20b_index_forget();
  uint32_t kept = 0;
  for (uint32_t index = 0; index < header->count; ++index) {
    if (ap20b_holds_bytes(directory[index])) directory[kept++] = directory[index];
  }
  std::memset(directory + kept, 0, (header->count - kept) * sizeof(AP20_DIRENTRY));
  header->count = static_cast<uint16_t>(kept);
  ReadWriteAccess access(file);
  if (!ap20a_WriteDirectory(file, header, directory)) return 0;

  ap20_owned_block order_block(GU3_Allocate_MM(std::max(kept, 1u), sizeof(uint32_t), GU3_KIND_GLOBAL));
  ap20_owned_block chunk(GU3_Allocate_MM(kMoveChunk, 1, GU3_KIND_GLOBAL));
  auto* order = static_cast<uint32_t*>(order_block.data());
  auto* buffer = static_cast<uint8_t*>(chunk.data());
  if (order == nullptr || buffer == nullptr) return 0;
  for (uint32_t index = 0; index < kept; ++index) order[index] = index;
  std::sort(order, order + kept,
            [directory](uint32_t a, uint32_t b) { return directory[a].offset < directory[b].offset; });
  uint32_t end = kept != 0 ? directory[order[0]].offset + directory[order[0]].length : ap20a_DataStart(header);
  for (uint32_t position = 1; position < kept; ++position) {
    AP20_DIRENTRY& entry = directory[order[position]];
    if (entry.offset < end) return 0;  // overlapping sections: nothing is moved over them
    if (entry.offset > end) {
      const uint32_t field = sizeof(AP20_FILEHEADER) + order[position] * sizeof(AP20_DIRENTRY) + 2;
      if (!ap20b_move_down(file, entry.offset, end, entry.length, buffer) || !ap20_WriteAt(file, field, &end, 4))
        return 0;
      entry.offset = end;
    }
    end = entry.offset + entry.length;
  }
  if (!ap20a_WriteDirectory(file, header, directory)) return 0;
  return ap20_Seek(file, static_cast<int32_t>(end), FILE_BEGIN) && ap20_Truncate(file) ? 1 : 0;
}
