// Native spectral files: the exported functions, on-disk records, object
// records, parameter blocks and message numbers of the AP20 FILE class, the
// accessory object through which the library reads and writes every file,
// and of the sectioned native container it keeps: a 304-byte file header, a
// directory of 16-byte entries and typed sections after it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/core.h"
#include "platform/crypt.h"
#include "platform/files.h"
#include "util/util.h"
#include "platform/wintypes.h"

// ---------------------------------------------------------------------------
// The native container on disk

constexpr uint16_t AP20_CLASS_ID = 20;

constexpr char AP20_MAGIC[] = "Spectral Data File\r\n";
constexpr uint32_t AP20_MAGIC_LENGTH = 20;
constexpr uint8_t AP20_EOF_MARK = 0x1A;
constexpr uint16_t AP20_VERSION = 521;
constexpr uint16_t AP20_FILE_SPECTRUM = 1;
constexpr uint16_t AP20_FILE_GROUP = 10;
constexpr uint32_t AP20_TITLE_SIZE = 256;

constexpr uint32_t AP20_BLOCK_BYTES = 256;
constexpr uint32_t AP20_ENTRIES_PER_BLOCK = 16;
// A directory of more blocks than this is not read: no file of the system
// comes near it, and a damaged size word must not make a 16 MB read.
constexpr uint16_t AP20_MAX_BLOCKS = 10000;

// File header, 304 bytes at offset 0, little-endian.
//    0  30  magic: "Spectral Data File\r\n", then NUL bytes
//   30 256  title, NUL-terminated: the spectrum title, or a group file's own name
//  286   1  0x1A
//  287   1  0
//  288   2  file type: 1 single spectrum, 10 group
//  290   2  format version (521 written)
//  292   2  directory size in blocks of 256 bytes (16 entries a block)
//  294   2  directory entries in use
//  296   4  collection time of the spectrum whose header was written last
//  300   4  header parameter 48 of that spectrum
#pragma pack(push, 2)
struct AP20_FILEHEADER {
  char magic[30];
  char title[AP20_TITLE_SIZE];
  uint8_t eof_mark;
  uint8_t zero;
  uint16_t file_type;
  uint16_t version;
  uint16_t blocks;
  uint16_t count;
  uint32_t collection_time;
  uint32_t parameter48;
};
#pragma pack(pop)
static_assert(sizeof(AP20_FILEHEADER) == 304);

// Directory entry, 16 bytes, little-endian; the directory starts at 304.
//   0  2  section type (1 = free)
//   2  4  file offset of the section
//   6  4  length in bytes, a multiple of 4
//  10  2  key 2: member number in a group file
//  12  4  key 3
#pragma pack(push, 2)
struct AP20_DIRENTRY {
  uint16_t type;
  uint32_t offset;
  uint32_t length;
  uint16_t key2;
  uint32_t key3;
};
#pragma pack(pop)
static_assert(sizeof(AP20_DIRENTRY) == 16);
static_assert(AP20_BLOCK_BYTES == AP20_ENTRIES_PER_BLOCK * sizeof(AP20_DIRENTRY));

// Section types the container itself interprets; the others belong to the
// spectrum sections and are carried as bytes.
constexpr uint16_t AP20_SECTION_FREE = 1;
constexpr uint16_t AP20_SECTION_HEADER = 2;
constexpr uint16_t AP20_SECTION_COMMENT = 4;
constexpr uint16_t AP20_SECTION_HISTORY_BITS = 105;
constexpr uint16_t AP20_SECTION_HEADER_EXTENSION = 106;
constexpr uint16_t AP20_SECTION_MEMBER = 107;
constexpr uint16_t AP20_SECTION_RESERVOIR = 113;  // entry 0 only
constexpr uint16_t AP20_SECTION_HEADER_TEXTS = 146;
constexpr uint16_t AP20_SECTION_SIGNATURE = 199;

// Key 2 that asks message 82 for the first member, and its "no more" answer.
constexpr uint16_t AP20_NO_KEY2 = 9999;

// ---------------------------------------------------------------------------
// The file object

constexpr uint32_t AP20_NAME_SIZE = 260;

// Open-mode codes.
constexpr uint16_t AP20_MODE_READ = 32;
constexpr uint16_t AP20_MODE_WRITE = 17;
constexpr uint16_t AP20_MODE_READWRITE = 18;
constexpr uint16_t AP20_MODE_CREATE = 4113;
constexpr uint16_t AP20_MODE_EXIST = 16384;
constexpr uint16_t AP20_MODE_PARSE = 256;

// Error codes kept on a file object besides the system's own error numbers.
constexpr uint32_t AP20_ERROR_NOT_OPEN = 6;        // a transfer on a closed file
constexpr uint32_t AP20_ERROR_NO_NAME = 2;         // a rename without a name
constexpr uint32_t AP20_ERROR_NOT_NATIVE = 11;     // the system's "bad format": no native header, or the wrong file type
constexpr uint32_t AP20_ERROR_SHORT_FILE = 38;     // the system's "end of file": header or directory cut short
constexpr uint32_t AP20_ERROR_DAMAGED = 1392;      // the system's "file corrupt": directory or section out of bounds
constexpr uint32_t AP20_ERROR_GAML_EXPORT = 400;   // set by the group-file class
constexpr uint32_t AP20_ERROR_DISK_FULL = 5000;    // not enough free disk space
constexpr uint32_t AP20_ERROR_INTERFEROGRAMS = 5001;  // set by the spectrum-file class

constexpr uint16_t AP20_DEFAULT_GROWTH_STEP = 32;

// File object, a 296-byte cell of the heap "AP20".
//    0   2  class id 20
//    2   4  AP2 part
//    6 260  full file name, NUL-terminated (empty = no name)
//  266   4  file handle (0 or all ones = not open)
//  270   2  open-mode code (0 when closed)
//  272   4  last error
//  276   2  directory-growth permission (0 = the directory never grows)
//  278   4  header copy: memory block
//  282   4  header copy: address
//  286   4  directory copy: memory block
//  290   4  directory copy: address
//  294   2  directory growth step in entries
#pragma pack(push, 2)
struct AP20_FILE {
  AP_OBJECT head;
  char name[AP20_NAME_SIZE];
  HANDLE handle;
  uint16_t mode;
  uint32_t error;
  uint16_t may_grow;
  GU3_HANDLE header_block;
  AP20_FILEHEADER* header;
  GU3_HANDLE directory_block;
  AP20_DIRENTRY* directory;
  uint16_t growth_step;
};
#pragma pack(pop)
static_assert(sizeof(AP20_FILE) == 296);

// ---------------------------------------------------------------------------
// Messages of AP20_Dispatcher_FILE besides the common protocol (core.h)

constexpr uint16_t AP20_MSG_DELETE = 38;
constexpr uint16_t AP20_MSG_RENAME = 39;
constexpr uint16_t AP20_MSG_REWIND = 40;
constexpr uint16_t AP20_MSG_SEEK = 41;
constexpr uint16_t AP20_MSG_SEEK_END = 42;
constexpr uint16_t AP20_MSG_READ = 43;
constexpr uint16_t AP20_MSG_WRITE = 44;
constexpr uint16_t AP20_MSG_TRUNCATE = 45;
constexpr uint16_t AP20_MSG_OPEN = 46;
constexpr uint16_t AP20_MSG_CLOSE = 47;
constexpr uint16_t AP20_MSG_EXISTS = 48;
constexpr uint16_t AP20_MSG_RESERVE = 49;
constexpr uint16_t AP20_MSG_COMPARE = 50;
constexpr uint16_t AP20_MSG_IS_OPEN = 51;
constexpr uint16_t AP20_MSG_LAST_ERROR = 52;
constexpr uint16_t AP20_MSG_SET_NAME = 53;
constexpr uint16_t AP20_MSG_READ_TOKEN = 54;
constexpr uint16_t AP20_MSG_GET_NAME = 55;
constexpr uint16_t AP20_MSG_FILE_SIZE = 56;
constexpr uint16_t AP20_MSG_POSITION = 57;
constexpr uint16_t AP20_MSG_OPEN_MODE = 58;
constexpr uint16_t AP20_MSG_FIND_FIRST = 59;
constexpr uint16_t AP20_MSG_FIND_NEXT = 60;
constexpr uint16_t AP20_MSG_REOPEN = 61;
constexpr uint16_t AP20_MSG_SPLIT_NAME = 68;
constexpr uint16_t AP20_MSG_DIRECTORY_EXISTS = 69;
constexpr uint16_t AP20_MSG_MAKE_DIRECTORIES = 70;
constexpr uint16_t AP20_MSG_READ_HEADER = 72;
constexpr uint16_t AP20_MSG_READ_DIRECTORY = 73;
constexpr uint16_t AP20_MSG_HAS_SECTION = 74;
constexpr uint16_t AP20_MSG_READ_SECTION = 75;
constexpr uint16_t AP20_MSG_INIT_HEADER = 76;
constexpr uint16_t AP20_MSG_WRITE_DIRECTORY = 77;
constexpr uint16_t AP20_MSG_WRITE_SECTION = 78;
constexpr uint16_t AP20_MSG_FREE_SECTION = 79;
constexpr uint16_t AP20_MSG_FREE_TYPE = 80;
constexpr uint16_t AP20_MSG_HIGHEST_KEY2 = 81;
constexpr uint16_t AP20_MSG_NEXT_KEY2 = 82;
constexpr uint16_t AP20_MSG_MEMBER_OFFSET = 84;
constexpr uint16_t AP20_MSG_FILE_PART = 85;
constexpr uint16_t AP20_MSG_SET_ERROR = 91;
constexpr uint16_t AP20_MSG_SECTION_OFFSET = 92;
constexpr uint16_t AP20_MSG_READ_SECTION_INTO = 93;
constexpr uint16_t AP20_MSG_SECTION_LENGTH = 99;
constexpr uint16_t AP20_MSG_SET_GROWTH = 100;
constexpr uint16_t AP20_MSG_CLASS_ERROR = 101;
constexpr uint16_t AP20_MSG_OPEN_NATIVE_READ = 102;
constexpr uint16_t AP20_MSG_OPEN_NATIVE = 103;
constexpr uint16_t AP20_MSG_CLOSE_NATIVE = 104;
constexpr uint16_t AP20_MSG_SAVE_NATIVE = 105;
constexpr uint16_t AP20_MSG_READ_OPEN_SECTION = 110;
constexpr uint16_t AP20_MSG_WRITE_OPEN_SECTION = 111;
constexpr uint16_t AP20_MSG_FORMAT_TEST = 112;
constexpr uint16_t AP20_MSG_WRITE_OPEN_DIRECTORY = 113;
constexpr uint16_t AP20_MSG_SET_GROWTH_STEP = 114;
constexpr uint16_t AP20_MSG_FREE_MEMBER = 115;
constexpr uint16_t AP20_MSG_RENUMBER = 116;
constexpr uint16_t AP20_MSG_WRITE_SECTION_CHOSEN = 118;
constexpr uint16_t AP20_MSG_COMPACT = 119;
constexpr uint16_t AP20_MSG_FIND_CLOSE = 120;
constexpr uint16_t AP20_MSG_WRITE_SECTION_FULL = 122;

// Native open results: messages 102 and 103 answer 0 for success.
constexpr uint32_t AP20_NATIVE_OPENED = 0;
constexpr uint32_t AP20_NATIVE_FAILED = 1;

// ---------------------------------------------------------------------------
// Parameter blocks, packed to 2

#pragma pack(push, 2)
// Message 41.
struct AP20_SEEKPARM {
  int32_t offset;
  uint16_t origin;  // 0 start, 1 current position, 2 end
};
// Messages 43 and 44.
struct AP20_TRANSFERPARM {
  void* buffer;
  uint32_t count;
};
// Message 46; the two words after the mode are not read.
struct AP20_OPENPARM {
  uint16_t mode;
  uint32_t unused1;
  uint32_t unused2;
};
// Message 53; the name alone when the directory is null.
struct AP20_NAMEPARM {
  const char* directory;
  const char* name;
};
// Message 54: delimiters (null: blank, tab, line feed), the most bytes to read.
struct AP20_TOKENPARM {
  const char* delimiters;
  uint16_t size;
  char* buffer;
};
// Messages 61 (mode), 91 (error code), 100 (growth permission), 114 (growth
// step), 115 (key 2).
struct AP20_WORDPARM {
  uint16_t word;
};
// Messages 102 and 103.
struct AP20_NATIVEPARM {
  const char* name;
  uint16_t expected_entries;
  uint16_t file_type;
};
// Message 49; the byte before the size is not read.
struct AP20_RESERVEPARM {
  uint8_t unused;
  uint32_t size;
  uint16_t extend;  // an existing closed file is extended only with this set
};
// Message 50.
struct AP20_COMPAREPARM {
  void* other;
  uint32_t* position;  // where the first file stands after the first difference
};
// Message 59.
struct AP20_FINDFIRSTPARM {
  const char* pattern;
  GU4_FINDDATA* found;
};
// Message 68: the name and its parts, each optional (MAX_PATH, 3, 256, 256,
// 256 bytes).
struct AP20_SPLITPARM {
  char* name;
  char* drive;
  char* directory;
  char* base;
  char* extension;
};
// Message 112.
struct AP20_FORMATPARM {
  const char* name;
  uint16_t* file_type;
  uint32_t* error;
};
// Message 73.
struct AP20_DIRECTORYPARM {
  void* object;
  AP20_FILEHEADER* header;
};
// Message 74; messages 92 and 99 read the first 16 bytes.
struct AP20_FINDPARM {
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t type;
  uint16_t key2;
  uint32_t key3;
  uint16_t* count;  // optional: the number of entries of the type
};
// Message 75; message 79 reads the first 20 bytes.
struct AP20_OBJECTFINDPARM {
  void* object;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t type;
  uint16_t key2;
  uint32_t key3;
  uint32_t* length;  // optional: the stored length
};
// Message 76.
struct AP20_INITHEADERPARM {
  AP20_FILEHEADER* header;
  uint16_t file_type;
  uint16_t blocks;
};
// Message 77.
struct AP20_WRITEDIRECTORYPARM {
  void* object;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
};
// Message 122; message 78 reads the first 30 bytes (replace taken as 1),
// message 118 the first 32.
struct AP20_WRITESECTIONPARM {
  void* object;
  AP20_FILEHEADER* header;
  GU3_HANDLE* directory;  // the directory block, replaced when the directory grows
  uint16_t type;
  uint32_t length;
  GU3_HANDLE data;
  uint16_t keyed;
  uint16_t key2;
  uint32_t key3;
  uint16_t replace;
  void* writer;  // an object that writes its own stream (message 18), or null
};
// Message 80; message 81 is the same without the object.
struct AP20_FREETYPEPARM {
  void* object;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t type;
};
struct AP20_TYPEPARM {
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t type;
};
// Message 82; message 84 reads the first 12 bytes.
struct AP20_NEXTKEYPARM {
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t type;
  uint16_t key2;
  uint16_t* next;
};
// Message 93.
struct AP20_READINTOPARM {
  void* object;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t type;
  uint16_t key2;
  uint32_t key3;
  uint32_t unused;
  void* buffer;
  uint16_t* index;  // in: the directory index to start at; out: the index found
};
// Message 110.
struct AP20_OPENSECTIONPARM {
  uint16_t type;
  uint16_t key2;
  uint32_t key3;
  uint32_t* length;
};
// Message 111.
struct AP20_WRITEOPENPARM {
  uint16_t type;
  uint32_t length;
  GU3_HANDLE data;
  uint16_t keyed;
  uint16_t key2;
  uint32_t key3;
};
#pragma pack(pop)
static_assert(sizeof(AP20_DIRECTORYPARM) == 8);
static_assert(sizeof(AP20_FINDPARM) == 20);
static_assert(sizeof(AP20_OBJECTFINDPARM) == 24);
static_assert(sizeof(AP20_INITHEADERPARM) == 8);
static_assert(sizeof(AP20_WRITEDIRECTORYPARM) == 12);
static_assert(sizeof(AP20_WRITESECTIONPARM) == 36);
static_assert(offsetof(AP20_WRITESECTIONPARM, replace) == 30);
static_assert(offsetof(AP20_WRITESECTIONPARM, writer) == 32);
static_assert(sizeof(AP20_FREETYPEPARM) == 14);
static_assert(sizeof(AP20_TYPEPARM) == 10);
static_assert(sizeof(AP20_NEXTKEYPARM) == 16);
static_assert(sizeof(AP20_READINTOPARM) == 32);
static_assert(sizeof(AP20_OPENSECTIONPARM) == 12);
static_assert(sizeof(AP20_WRITEOPENPARM) == 18);
static_assert(sizeof(AP20_SEEKPARM) == 6);
static_assert(sizeof(AP20_TRANSFERPARM) == 8);
static_assert(sizeof(AP20_OPENPARM) == 10);
static_assert(sizeof(AP20_NAMEPARM) == 8);
static_assert(sizeof(AP20_TOKENPARM) == 10);
static_assert(sizeof(AP20_WORDPARM) == 2);
static_assert(sizeof(AP20_NATIVEPARM) == 8);
static_assert(sizeof(AP20_FORMATPARM) == 12);
static_assert(sizeof(AP20_RESERVEPARM) == 8);
static_assert(sizeof(AP20_COMPAREPARM) == 8);
static_assert(sizeof(AP20_FINDFIRSTPARM) == 8);
static_assert(sizeof(AP20_SPLITPARM) == 20);

// ---------------------------------------------------------------------------
// A memory block freed when the scope ends, on every path, unless it is
// released to a new owner.
struct ap20_owned_block {
  GU3_HANDLE handle;
  explicit ap20_owned_block(GU3_HANDLE block) : handle(block) {}
  ~ap20_owned_block() { GU3_Free_MM(handle); }
  ap20_owned_block(const ap20_owned_block&) = delete;
  ap20_owned_block& operator=(const ap20_owned_block&) = delete;
  void* data() const { return GU3_GetPointer_MM(handle, 0, nullptr, nullptr); }
  GU3_HANDLE release() {
    GU3_HANDLE block = handle;
    handle = nullptr;
    return block;
  }
};

// While it lives, the section look-ups and writes of one directory, whose
// handle is kept at `directory_block`, go through an index of its keys and
// free entries instead of scanning every entry: for a writer that puts many
// sections into a directory that only section writes change meanwhile. One
// directory at a time: a scope opened inside another does nothing.
struct ap20_indexed_directory {
  bool owner;
  ap20_indexed_directory(const AP20_FILEHEADER* header, GU3_HANDLE* directory_block);
  ~ap20_indexed_directory();
  ap20_indexed_directory(const ap20_indexed_directory&) = delete;
  ap20_indexed_directory& operator=(const ap20_indexed_directory&) = delete;
};

// One begin and one end change of an object (messages 10 and 11), the end
// on every path; nothing is changed when the begin is refused.
struct ap20_change_bracket {
  void* object;
  bool begun;
  explicit ap20_change_bracket(void* changed)
      : object(changed), begun(GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, changed, nullptr) != 0) {}
  ~ap20_change_bracket() {
    if (begun) GU2_DoMethod_MSG(AP_MSG_END_CHANGE, object, nullptr);
  }
  ap20_change_bracket(const ap20_change_bracket&) = delete;
  ap20_change_bracket& operator=(const ap20_change_bracket&) = delete;
};

// ---------------------------------------------------------------------------
// Exported functions and the primitives other classes call directly

APEXPORT uint32_t AP20_Dispatcher_FILE(void* object, uint16_t message, void* parameter);
// The messages of the file class that the objects built on a file part
// (the spectrum-file and group-file classes and their format objects) pass
// to that part unchanged: 39 to 44, 49 to 58, 61 and 68.
bool ap20_IsFilePartMessage(uint16_t message);
// A message sent on to a file part; 0 without one.
uint32_t ap20_ToFilePart(AP20_FILE* file, uint16_t message, void* parameter);
// The common object messages that the file object and the objects built on
// a file part answer through the file part's root part (1, 3, 6, 8, 10, 11,
// 12, 15 and 16), and the sending of one there; 0 without a root part.
bool ap20_IsRootPartMessage(uint16_t message);
uint32_t ap20_ToRootPart(AP20_FILE* file, uint16_t message, void* parameter);
// 1 when the file exists (a file object named with it answers message 48).
APEXPORT uint16_t AP20_DoesFileExist(const char* name);
// 1 when the native file of that type holds the section (type, key 2, key 3).
APEXPORT uint16_t AP20_DoesSectionExist(const char* name, uint16_t file_type, uint16_t section_type, uint16_t key2,
                                        uint32_t key3);
uint16_t ap20_InitClass(uint16_t class_id);
uint16_t ap20_TermClass(uint16_t class_id);

// Primitives on a file object, each 0 for a null object or one of another
// class. Read and write clear the error word first and set 6 on a closed file.
uint16_t ap20_IsOpen(void* file);
uint32_t ap20_Read(void* file, void* buffer, uint32_t count);
uint32_t ap20_Write(void* file, const void* buffer, uint32_t count);
// Reads one token at the current position (message 54).
uint16_t ap20_GetFileName(void* file, const char* delimiters, int16_t size, char* buffer);
// Names the file, the directory optional (message 53).
int16_t ap20_SetFileName(void* file, const char* directory, const char* name);
void ap20_SetError(void* file, uint32_t code);
// The class-wide error word, -1 when the class has none.
int32_t ap20_GetClassError();

// The format classes registered on a file class (the spectrum-file and
// group-file classes), a list kept in that class's record: append one (the
// list is made on first use), ask whether one is there, and free the list
// with the class. Class ids of 250 and more are refused.
uint16_t ap20_AddFormatClass(uint16_t file_class, uint16_t format_class);
uint16_t ap20_IsFormatClass(uint16_t file_class, uint16_t format_class);
// The registered format class at a position of the list, 0 past its end.
uint16_t ap20_GetFormatClass(uint16_t file_class, uint32_t position);
void ap20_FreeFormatClasses(uint16_t file_class);

// ---------------------------------------------------------------------------
// Operations of the class's modules, as the messages named beside them

// The object as a file object, or null.
AP20_FILE* ap20_file(void* object);
// The file object of an accessory object: the object itself when it is one,
// else the first class-20 part found by following the parent-part references.
AP20_FILE* ap20_FindFile(void* object);
// The root part of a file object, null for a null one.
AP2_OBJECT* ap20_RootPart(AP20_FILE* file);
// Destroys an accessory object by message 5, with no window.
void ap20_DestroyObject(void* object);

AP20_FILE* ap20_Create(AP_OBJECT* outer);                            // 2
uint32_t ap20_Destroy(AP20_FILE* file, HWND window);                 // 5
uint32_t ap20_GetSize(AP20_FILE* file);                              // 7
uint16_t ap20_GetClassName(AP20_FILE* file, char* buffer);           // 9
uint16_t ap20_WriteObject(AP20_FILE* file, void* target);            // 18
uint16_t ap20_Seek(AP20_FILE* file, int32_t offset, uint16_t origin);  // 40-42
uint16_t ap20_Truncate(AP20_FILE* file);                             // 45
uint16_t ap20_Open(AP20_FILE* file, uint16_t mode);                  // 46
uint16_t ap20_Close(AP20_FILE* file);                                // 47
uint16_t ap20_Exists(AP20_FILE* file);                               // 48
uint32_t ap20_GetError(AP20_FILE* file);                             // 52, all ones without an object
uint16_t ap20_CopyFileName(AP20_FILE* file, char* buffer);           // 55
uint32_t ap20_GetFileSize(AP20_FILE* file);                          // 56, all ones on failure
uint32_t ap20_GetPosition(AP20_FILE* file);                          // 57, all ones on failure
uint16_t ap20_GetOpenMode(AP20_FILE* file);                          // 58
uint16_t ap20_Reopen(AP20_FILE* file, uint16_t mode);                // 61
uint16_t ap20_SetFileError(AP20_FILE* file, uint16_t code);          // 91
uint16_t ap20_SetGrowth(AP20_FILE* file, uint16_t may_grow);         // 100
uint16_t ap20_SetGrowthStep(AP20_FILE* file, uint16_t entries);      // 114
// The mode in which to open a file again: create (4113) becomes write (17)
// when the file exists, so that reopening never truncates it.
uint16_t ap20_ModeToReopen(AP20_FILE* file, uint16_t mode);
// Frees the header and directory copies of a native file.
void ap20_DropCopies(AP20_FILE* file);
// Seek and transfer of exactly that many bytes; 0 otherwise, with the
// system's error or, for a read that found the end, error 38.
uint16_t ap20_ReadAt(AP20_FILE* file, uint32_t offset, void* buffer, uint32_t count);
uint16_t ap20_WriteAt(AP20_FILE* file, uint32_t offset, const void* buffer, uint32_t count);
// A system handle on a file, opened through the redirection hook with the
// access of a mode code; null with the system's error in *error.
HANDLE ap20_OpenHandle(const char* name, uint16_t mode, uint32_t* error);

// The native container (ap20_container.cpp).
uint16_t ap20a_FormatTest(AP20_FILE* file, const char* name, uint16_t* file_type, uint32_t* error);  // 112
GU3_HANDLE ap20a_ReadHeader(void* object);                                                            // 72
GU3_HANDLE ap20a_ReadDirectory(void* object, const AP20_FILEHEADER* header);                          // 73
uint16_t ap20a_InitHeader(AP20_FILEHEADER* header, uint16_t file_type, uint16_t blocks);              // 76
uint16_t ap20a_WriteDirectory(void* object, const AP20_FILEHEADER* header, const AP20_DIRENTRY* directory);  // 77
uint32_t ap20a_OpenNative(AP20_FILE* file, const char* name, uint16_t expected_entries, uint16_t file_type,
                          uint16_t message);                                                           // 102, 103
uint16_t ap20a_CloseNative(AP20_FILE* file);                                                           // 104
uint16_t ap20a_SaveNative(AP20_FILE* file);                                                            // 105
uint16_t ap20a_SaveOpenDirectory(AP20_FILE* file);                                                     // 113
// Section storage (ap20_sections.cpp).
uint16_t ap20b_HasSection(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                          uint32_t key3, uint16_t* count);                                             // 74
GU3_HANDLE ap20b_ReadSection(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                             uint16_t key2, uint32_t key3, uint32_t* length);                          // 75
// The first section with those keys at or after the directory index *index,
// which receives the index found.
GU3_HANDLE ap20b_ReadSectionFrom(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                                 uint16_t key2, uint32_t key3, uint16_t* index, uint32_t* length);
uint16_t ap20b_WriteSection(void* object, AP20_FILEHEADER* header, GU3_HANDLE* directory_block, uint16_t type,
                            uint32_t length, GU3_HANDLE data, uint16_t keyed, uint16_t key2, uint32_t key3,
                            uint16_t replace, void* writer);                                           // 78, 118, 122
// Writes `count` floats last one first as the section (type, key 2, key 3),
// placed and replacing as ap20b_WriteSection does, without a reversed copy.
uint16_t ap20b_WriteReversedSection(void* object, AP20_FILEHEADER* header, GU3_HANDLE* directory_block,
                                    uint16_t type, const float* values, uint32_t count, uint16_t keyed,
                                    uint16_t key2, uint32_t key3, uint16_t replace);
uint16_t ap20b_FreeSection(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                           uint16_t key2, uint32_t key3);                                              // 79
uint16_t ap20b_FreeType(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type);  // 80
uint16_t ap20b_HighestKey2(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type);         // 81
uint16_t ap20b_NextKey2(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                        uint16_t* next);                                                               // 82
uint32_t ap20b_MemberOffset(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2);  // 84
uint32_t ap20b_SectionOffset(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                             uint32_t key3);                                                           // 92
uint16_t ap20b_ReadSectionInto(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type,
                               uint16_t key2, uint32_t key3, void* buffer, uint16_t* index);           // 93
uint32_t ap20b_SectionLength(AP20_FILEHEADER* header, AP20_DIRENTRY* directory, uint16_t type, uint16_t key2,
                             uint32_t key3);                                                           // 99
GU3_HANDLE ap20b_ReadOpenSection(AP20_FILE* file, uint16_t type, uint16_t key2, uint32_t key3, uint32_t* length);  // 110
uint16_t ap20b_WriteOpenSection(AP20_FILE* file, uint16_t type, uint32_t length, GU3_HANDLE data, uint16_t keyed,
                                uint16_t key2, uint32_t key3);                                         // 111
uint16_t ap20b_FreeMember(AP20_FILE* file, uint16_t key2);                                             // 115
uint16_t ap20b_Renumber(AP20_FILE* file);                                                              // 116
uint16_t ap20b_Compact(AP20_FILE* file);                                                               // 119

// The file as a whole (ap20_wholefile.cpp).
uint16_t ap20c_Copy(AP20_FILE* file, void* target, HWND window);                                      // 22
uint16_t ap20c_Delete(AP20_FILE* file);                                                                // 38
uint16_t ap20c_Rename(AP20_FILE* file, const char* directory, const char* name);                       // 39
uint16_t ap20c_Reserve(AP20_FILE* file, uint32_t size, uint16_t extend);                               // 49
uint16_t ap20c_Compare(AP20_FILE* file, void* other, uint32_t* position);                              // 50
uint16_t ap20c_FindFirst(const char* pattern, GU4_FINDDATA* found);                                    // 59
uint16_t ap20c_FindNext(GU4_FINDDATA* found);                                                          // 60
uint16_t ap20c_FindClose();                                                                            // 120
uint16_t ap20c_SplitName(AP20_FILE* file, char* name, char* drive, char* directory, char* base, char* extension);  // 68
uint16_t ap20c_DirectoryExists(const char* path);                                                      // 69
uint16_t ap20c_MakeDirectories(const char* path);                                                      // 70

// The entries in use of a header whose directory is sound in shape (1 to
// 10000 blocks, no more entries in use than it holds); -1 otherwise.
int32_t ap20a_EntryCount(const AP20_FILEHEADER* header);
// The end of the directory: the first byte a section may use.
uint32_t ap20a_DataStart(const AP20_FILEHEADER* header);

// ---------------------------------------------------------------------------
// Spectrum header blocks (ap20_headerblocks.cpp)
//
// A spectrum's header record (class 41) is stored as three sections: the
// header block, the header extension block and, when one of its texts is
// set, the header texts. pn below is header parameter n.

struct AP41_SPECTRALHEADER;

// Spectrum section types beside the container's own.
constexpr uint16_t AP20_SECTION_YDATA = 3;
constexpr uint16_t AP20_SECTION_HISTORY_TEXT = 27;
constexpr uint16_t AP20_SECTION_SAMPLE_DESCRIPTOR = 100;
constexpr uint16_t AP20_SECTION_BACKGROUND_DESCRIPTOR = 101;
constexpr uint16_t AP20_SECTION_SAMPLE_DATA = 102;
constexpr uint16_t AP20_SECTION_BACKGROUND_DATA = 103;
constexpr uint16_t AP20_SECTION_ANNOTATIONS = 104;
constexpr uint16_t AP20_SECTION_ATTACHED = 130;
constexpr uint16_t AP20_SECTION_ANNOTATIONS_EXTENDED = 187;

// Order of the X values in a header block: first X first (interferograms),
// last X first for a single beam, last X first for any other spectrum.
constexpr uint32_t AP20_ORDER_FIRST_X_FIRST = 1;
constexpr uint32_t AP20_ORDER_SINGLE_BEAM = 2;
constexpr uint32_t AP20_ORDER_LAST_X_FIRST = 3;

// Bit that a written header block sets in p46.
constexpr uint32_t AP20_P46_WRITTEN = 0x8000;
// The scan error words of a header block are read from this version on.
constexpr uint16_t AP20_VERSION_SCAN_ERRORS = 220;
// A DetectorID that the translation does not know.
constexpr uint32_t AP20_UNKNOWN_DETECTOR = 20000;

// Header block, section type 2, 140 bytes, little-endian.
//    0  4  order of the X values (above)
//    4  4  p3 points
//    8  4  p4 X-unit code
//   12  4  p5 Y-unit code
//   16  4  X value A: first X with order 1, else last X (f32)
//   20  4  X value B: last X with order 1, else first X (f32)
//   24  4  p39 (f32); derived on reading when 0 or NaN
//   28  4  p21 NumScanPts
//   32  4  p22 FinalPeakPos
//   36  4  p23 NumScans
//   40  4  p30 (f32)
//   44  4  p31 NumTransformPts
//   48  4  p47 NumPostPeakPts
//   52  4  p32 BKNumScans
//   56  4  p33 BKGain (f32)
//   60  4  p34 ApodID
//   64  4  p35 (f32)
//   68  4  p37 Duration
//   72  4  p38 (f32)
//   76  4  p43 PhaseCorrID
//   80  4  p29 LaserFreq (f32)
//   84  4  p12 SSP (f32)
//   88  4  p41 (f32)
//   92  4  p25 Aperture (f32)
//   96  4  p44 (f32)
//  100 12  p26, p27, p28
//  112  4  p46, written with bit 15 set
//  116  8  zero, not mapped
//  124  4  p55 BadScans        } read only from version 220 on
//  128  4  p57 BKBadScans      }
//  132  4  p56 CollectErrorMap }
//  136  4  p58 BKCollectErrorMap
#pragma pack(push, 2)
struct AP20_HEADERBLOCK {
  uint32_t order;
  uint32_t points;
  uint32_t x_units;
  uint32_t y_units;
  float x_a;
  float x_b;
  float p39;
  uint32_t NumScanPts;
  uint32_t FinalPeakPos;
  uint32_t NumScans;
  float p30;
  uint32_t NumTransformPts;
  uint32_t NumPostPeakPts;
  uint32_t BKNumScans;
  float BKGain;
  uint32_t ApodID;
  float p35;
  uint32_t Duration;
  float p38;
  uint32_t PhaseCorrID;
  float LaserFreq;
  float SSP;
  float p41;
  float Aperture;
  float p44;
  uint32_t p26;
  uint32_t p27;
  uint32_t p28;
  uint32_t p46;
  uint8_t unmapped[8];
  uint32_t BadScans;
  uint32_t BKBadScans;
  uint32_t CollectErrorMap;
  uint32_t BKCollectErrorMap;
};
#pragma pack(pop)
static_assert(sizeof(AP20_HEADERBLOCK) == 140);
static_assert(offsetof(AP20_HEADERBLOCK, p39) == 24);
static_assert(offsetof(AP20_HEADERBLOCK, p26) == 100);
static_assert(offsetof(AP20_HEADERBLOCK, p46) == 112);
static_assert(offsetof(AP20_HEADERBLOCK, BadScans) == 124);

// Header extension block, section type 106, 56 bytes, little-endian.
//    0  4  p9 BenchID
//    4  4  p10 DetectorID, translated
//    8  4  p11 BeamSplitterID, translated
//   12  4  p45 SourceID
//   16  4  p13 ADBits
//   20  4  p14 HPF (f32)
//   24  4  p15 LPF (f32)
//   28 16  p16, p17, p18, p19
//   44  4  p20 Gain (f32)
//   48  4  p24 Velocity (f32)
//   52  4  p40
#pragma pack(push, 2)
struct AP20_HEADEREXTENSION {
  uint32_t BenchID;
  uint32_t DetectorID;
  uint32_t BeamSplitterID;
  uint32_t SourceID;
  uint32_t ADBits;
  float HPF;
  float LPF;
  uint32_t p16;
  uint32_t p17;
  uint32_t p18;
  uint32_t p19;
  float Gain;
  float Velocity;
  uint32_t p40;
};
#pragma pack(pop)
static_assert(sizeof(AP20_HEADEREXTENSION) == 56);
static_assert(offsetof(AP20_HEADEREXTENSION, Gain) == 44);

// Header texts, section type 146, 728 bytes (older files: the first 128),
// each text NUL-terminated in its field.
//    0  64  p49
//   64  64  p50
//  128 150  p51
//  278 150  p52
//  428 150  p53
//  578 150  p54
#pragma pack(push, 2)
struct AP20_HEADERTEXTS {
  char p49[64];
  char p50[64];
  char p51[150];
  char p52[150];
  char p53[150];
  char p54[150];
};
#pragma pack(pop)
static_assert(sizeof(AP20_HEADERTEXTS) == 728);
constexpr uint32_t AP20_OLD_HEADER_TEXTS = 128;

constexpr uint16_t AP20_MSG_MAP_HEADER = 71;

// Directions of message 71.
constexpr uint16_t AP20_HEADER_TO_BLOCKS = 0;
constexpr uint16_t AP20_BLOCKS_TO_HEADER = 1;

// Message 71, 18 bytes.
#pragma pack(push, 2)
struct AP20_HEADERMAPPARM {
  AP41_SPECTRALHEADER* header;
  AP20_FILEHEADER* file_header;
  AP20_HEADERBLOCK* block;
  AP20_HEADEREXTENSION* extension;
  uint16_t direction;  // 0 header to blocks, any other value blocks to header
};
#pragma pack(pop)
static_assert(sizeof(AP20_HEADERMAPPARM) == 18);

// Message 71: the header record to the blocks and the two file-header words
// (collection time, p48), or back. Reading rewrites an interferogram block
// of the older form in place before it maps it. 1, or 0 for a missing
// pointer or a header that is not one.
uint16_t ap20d_MapHeader(AP41_SPECTRALHEADER* header, AP20_FILEHEADER* file_header, AP20_HEADERBLOCK* block,
                         AP20_HEADEREXTENSION* extension, uint16_t direction);

// ---------------------------------------------------------------------------
// Spectrum file I/O (ap20_spectrum.cpp, ap20_attached.cpp)
//
// One spectrum between memory and the sections of a native file, under the
// keys (key 2, key 3) of a single spectrum (0, 0) or a group member. The
// operations take the header and directory the caller holds; "object" is
// any object whose chain of parts reaches the file object, and message 71
// goes to it, so that a format class adds what it keeps in the file header.

struct AP7_SPECTRUM;

// Interferogram descriptor, sections 100 (sample) and 101 (background),
// 24 bytes; a shorter one reads as if filled with zeros.
//    0  4  points
//    4  4  NumScans
//    8  4  p39 (f32)
//   12  4  p30 (f32)
//   16  4  FinalPeakPos
//   20  4  LaserFreq (f32)
#pragma pack(push, 2)
struct AP20_IFGDESCRIPTOR {
  uint32_t points;
  uint32_t NumScans;
  float p39;
  float p30;
  uint32_t FinalPeakPos;
  float LaserFreq;
};
#pragma pack(pop)
static_assert(sizeof(AP20_IFGDESCRIPTOR) == 24);

// Member record, section 107, 264 bytes (older files: the title alone).
//    0 256  title (p8), NUL-terminated
//  256   4  p2 collection time
//  260   4  p48
#pragma pack(push, 2)
struct AP20_MEMBERRECORD {
  char title[AP20_TITLE_SIZE];
  uint32_t collection_time;
  uint32_t parameter48;
};
#pragma pack(pop)
static_assert(sizeof(AP20_MEMBERRECORD) == 264);

// History bits, section 105, 10 bytes: u16 number of words (2), then the
// two words of p36.
constexpr uint16_t AP20_HISTORY_WORDS = 2;
constexpr uint32_t AP20_HISTORY_BITS_SIZE = 10;

// Annotation sections: a u32 record count, then the records. Short form
// (104): u16 flags (only in files of a version above 100), f32 x, f32 text
// x, f32 y, the label and its NUL. Extended form (187): u16 record length,
// then the short record, then f32 x2, y2 with flag 64 and f32 x3, y3 with
// flag 128 or 256. Y values are stored in Y-unit code 23.
constexpr uint16_t AP20_VERSION_ANNOTATION_FLAGS = 100;
constexpr uint32_t AP20_ANNOTATION_FIXED = 16;  // an extended record before its label

// Attached objects of a spectrum are sections 130, 182, 183, ... one type
// per object; written one by one (messages 88, 90, 109) they are sections
// of type 130 whose key 3 carries the class id times 65536 plus a sub-kind.
constexpr uint16_t AP20_SECTION_ATTACHED_NEXT = 182;
constexpr uint32_t AP20_ATTACHED_HEAD = 6;  // u16 class id, u32 data size

// Messages of the spectrum sections.
constexpr uint16_t AP20_MSG_ATTACHED_CLASSES = 86;
constexpr uint16_t AP20_MSG_READ_ATTACHED_NTH = 87;
constexpr uint16_t AP20_MSG_WRITE_ATTACHED = 88;
constexpr uint16_t AP20_MSG_READ_ATTACHED_ALL = 89;
constexpr uint16_t AP20_MSG_WRITE_ATTACHED_LIST = 90;
constexpr uint16_t AP20_MSG_WRITE_DATA = 94;
constexpr uint16_t AP20_MSG_WRITE_HEADER = 95;
constexpr uint16_t AP20_MSG_READ_DATA = 96;
constexpr uint16_t AP20_MSG_READ_HEADER_SECTIONS = 97;
constexpr uint16_t AP20_MSG_READ_SPECTRUM = 106;
constexpr uint16_t AP20_MSG_WRITE_SPECTRUM = 107;
constexpr uint16_t AP20_MSG_READ_ATTACHED_KEYED = 108;
constexpr uint16_t AP20_MSG_WRITE_ATTACHED_KEYED = 109;
constexpr uint16_t AP20_MSG_SPECTRUM_PART = 117;

// Message 117: the operation and the part.
constexpr uint16_t AP20_PART_READ = 1;
constexpr uint16_t AP20_PART_WRITE = 2;
constexpr uint16_t AP20_PART_HISTORY = 1;
constexpr uint16_t AP20_PART_COMMENT = 2;
constexpr uint16_t AP20_PART_INTERFEROGRAM = 3;
constexpr uint16_t AP20_PART_ANNOTATIONS = 4;
constexpr uint16_t AP20_PART_YDATA = 5;
constexpr uint16_t AP20_PART_LENGTH_AT = 6;

// Parameter blocks, packed to 2.
#pragma pack(push, 2)
// Message 94, 22 bytes.
struct AP20_DATAWRITEPARM {
  AP_OBJECT* spectrum;
  AP20_FILEHEADER* header;
  GU3_HANDLE* directory;
  uint16_t key2;
  uint32_t key3;
  uint16_t keyed;
  uint16_t replace;
};
// Message 95, 20 bytes: a spectrum or a header.
struct AP20_HEADERWRITEPARM {
  AP_OBJECT* object;
  AP20_FILEHEADER* header;
  GU3_HANDLE* directory;
  uint16_t key2;
  uint32_t key3;
  uint16_t keyed;
};
// Message 96, 22 bytes.
struct AP20_DATAREADPARM {
  AP_OBJECT* spectrum;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t key2;
  uint32_t key3;
  uint16_t name_flag1;
  uint16_t name_flag2;
};
// Message 97, 18 bytes.
struct AP20_HEADERREADPARM {
  uint32_t unused;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t key2;
  uint32_t key3;
};
// Message 106, 10 bytes.
struct AP20_SPECTRUMREADPARM {
  uint16_t key2;
  uint32_t key3;
  uint16_t name_flag1;
  uint16_t name_flag2;
};
// Message 107, 14 bytes.
struct AP20_SPECTRUMWRITEPARM {
  AP_OBJECT* spectrum;
  uint16_t key2;
  uint32_t key3;
  uint16_t keyed;
  uint16_t replace;
};
// Message 117, 42 bytes.
struct AP20_PARTPARM {
  AP_OBJECT* object;
  AP_OBJECT* spectrum;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
  uint16_t key2;
  uint32_t key3;
  uint16_t keyed;
  GU3_HANDLE* directory_block;
  uint16_t part;
  uint16_t operation;
  uint16_t sample;
  uint16_t name_flag1;
  uint16_t name_flag2;
  uint16_t* index;
};
// Message 87, 14 bytes; null header and directory are read from the file.
struct AP20_ATTACHEDNTHPARM {
  uint16_t class_id;
  uint16_t sub_kind;
  uint16_t n;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
};
// Messages 88 (an object) and 90 (a list), 14 bytes.
struct AP20_ATTACHEDWRITEPARM {
  AP_OBJECT* object;
  AP20_FILEHEADER* header;
  GU3_HANDLE* directory;
  uint16_t take_sub_kind;
};
// Message 89, 8 bytes; a null list asks for a new one.
struct AP20_ATTACHEDALLPARM {
  uint16_t class_id;
  uint16_t sub_kind;
  AP_OBJECT* list;
};
// Message 108, 6 bytes.
struct AP20_KEYSPARM {
  uint16_t key2;
  uint32_t key3;
};
// Message 109, 10 bytes.
struct AP20_ATTACHEDKEYEDPARM {
  AP_OBJECT* object;
  uint16_t key2;
  uint32_t key3;
};
#pragma pack(pop)
static_assert(sizeof(AP20_DATAWRITEPARM) == 22);
static_assert(sizeof(AP20_HEADERWRITEPARM) == 20);
static_assert(sizeof(AP20_DATAREADPARM) == 22);
static_assert(sizeof(AP20_HEADERREADPARM) == 18);
static_assert(sizeof(AP20_SPECTRUMREADPARM) == 10);
static_assert(sizeof(AP20_SPECTRUMWRITEPARM) == 14);
static_assert(sizeof(AP20_PARTPARM) == 42);
static_assert(sizeof(AP20_ATTACHEDNTHPARM) == 14);
static_assert(sizeof(AP20_ATTACHEDWRITEPARM) == 14);
static_assert(sizeof(AP20_ATTACHEDALLPARM) == 8);
static_assert(sizeof(AP20_KEYSPARM) == 6);
static_assert(sizeof(AP20_ATTACHEDKEYEDPARM) == 10);

// A new spectrum whose header comes from sections 2 (required), 106 and
// 146; null on any failure.
APEXPORT AP7_SPECTRUM* AP20_HeaderRead_FILE(void* object, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                                            uint16_t key2, uint32_t key3);
// Sections 2, 106 and, when one of p49 to p54 is set, 146 from a spectrum
// or header; 1 when every write succeeded.
APEXPORT uint16_t AP20_HeaderWrite_FILE(void* object, AP_OBJECT* spectrum_or_header, AP20_FILEHEADER* header,
                                        GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed);
// The Y values of section 3 given to the spectrum, stored last point first
// unless the Y unit is 22; with a name flag the spectrum takes the file's
// name first.
APEXPORT uint16_t AP20_DataRead_FILE(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header,
                                     AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3, uint16_t name_flag1,
                                     uint16_t name_flag2);
APEXPORT uint16_t AP20_DataWriteEx_FILE(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header,
                                        GU3_HANDLE* directory, uint16_t key2, uint32_t key3, uint16_t keyed,
                                        uint16_t replace);
// The history bits (section 105) and text (27); 1 whenever the spectrum has
// a header.
APEXPORT uint16_t AP20_HistoryRead_FILE(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header,
                                        AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3);

// The other parts of a spectrum, each 1 or 0 (ap20_spectrum.cpp).
uint16_t ap20e_WriteHistory(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                            uint16_t key2, uint32_t key3, uint16_t keyed);
// The comment text's lines, each line break (CR LF, LF or CR) one NUL.
uint16_t ap20e_ReadComment(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                           uint16_t key2, uint32_t key3);
uint16_t ap20e_WriteComment(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                            uint16_t key2, uint32_t key3, uint16_t keyed);
// Section 104, else 187; a section whose records do not fit it is refused
// whole (error 1392) before any record is taken.
uint16_t ap20e_ReadAnnotations(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header,
                               AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3);
uint16_t ap20e_WriteAnnotations(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                                uint16_t key2, uint32_t key3, uint16_t keyed);
// The next section 3 at or after the directory index *index, which
// receives the index found.
uint16_t ap20e_ReadDataFrom(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                            uint16_t key2, uint32_t key3, uint16_t name_flag1, uint16_t name_flag2,
                            uint16_t* index);
AP7_SPECTRUM* ap20e_ReadSpectrum(AP20_FILE* file, uint16_t key2, uint32_t key3, uint16_t name_flag1,
                                 uint16_t name_flag2);                                                  // 106
uint16_t ap20e_WriteSpectrum(AP20_FILE* file, AP_OBJECT* spectrum, uint16_t key2, uint32_t key3, uint16_t keyed,
                             uint16_t replace);                                                          // 107
uint32_t ap20e_SpectrumPart(const AP20_PARTPARM* block);                                                 // 117

// Stored interferograms and attached objects (ap20_attached.cpp).
// Sections 102 or 103 (values, first point first) and 100 or 101 (the
// descriptor) of the interferogram spectrum, on a header and directory read
// afresh from the file and written back after.
uint16_t ap20f_WriteInterferogram(void* object, AP_OBJECT* interferogram, uint16_t sample, uint16_t key2,
                                  uint32_t key3);
// Fills the target spectrum as the stored sample or background
// interferogram; the target is destroyed on failure.
AP7_SPECTRUM* ap20f_ReadInterferogram(void* object, AP7_SPECTRUM* target, uint16_t sample, AP20_FILEHEADER* header,
                                      AP20_DIRENTRY* directory, uint16_t key2, uint32_t key3);
// The members of the spectrum's object list as sections 130, 182, 183, ...
// and back.
uint16_t ap20f_WriteAttached(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                             uint16_t key2, uint32_t key3);
uint16_t ap20f_ReadAttached(void* object, AP_OBJECT* spectrum, AP20_FILEHEADER* header, AP20_DIRENTRY* directory,
                            uint16_t key2, uint32_t key3);
// An object made by its class's own reader (message 17) from the section
// at the offset, whose first word names the class; null for a class
// without a dispatcher or a failed read.
AP_OBJECT* ap20f_ReadObjectAt(AP20_FILE* file, uint32_t offset);
// An item read from a file goes into the spectrum's object list; one the
// spectrum cannot take (no list, or the add fails) is destroyed.
void ap20f_AttachItem(AP7_SPECTRUM* spectrum, AP_OBJECT* item);
// An object's saved data as a section: u16 class id, u32 length L of the
// data (message 56), the L bytes at the address message 57 gives. Null
// when the object answers no data.
GU3_HANDLE ap20f_ItemStream(AP_OBJECT* item, uint32_t* length);
GU3_HANDLE ap20f_AttachedClasses(AP20_FILE* file);                                                       // 86
AP_OBJECT* ap20f_ReadAttachedNth(AP20_FILE* file, uint16_t class_id, uint16_t sub_kind, uint16_t n,
                                 AP20_FILEHEADER* header, AP20_DIRENTRY* directory);                     // 87
uint16_t ap20f_WriteAttachedObject(void* object, AP_OBJECT* item, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                                   uint16_t take_sub_kind);                                              // 88
AP_OBJECT* ap20f_ReadAttachedAll(AP20_FILE* file, uint16_t class_id, uint16_t sub_kind, AP_OBJECT* list);  // 89
uint16_t ap20f_WriteAttachedList(void* object, AP_OBJECT* list, AP20_FILEHEADER* header, GU3_HANDLE* directory,
                                 uint16_t take_sub_kind);                                                // 90
AP_OBJECT* ap20f_ReadAttachedKeyed(AP20_FILE* file, uint16_t key2, uint32_t key3);                       // 108
uint16_t ap20f_WriteAttachedKeyed(AP20_FILE* file, AP_OBJECT* item, uint16_t key2, uint32_t key3);       // 109

// ---------------------------------------------------------------------------
// Spectrum file class AP21 SPECTRUM_FILE (ap21.cpp)
//
// The file object through which one spectrum is read from or written to a
// file of any format: a file part (class 20) paired with a format object of
// the class that knows the file's layout, found by probing.

constexpr uint16_t AP21_CLASS_ID = 21;

// Spectrum file object, a 10-byte cell of the heap "AP21".
//   0  2  class id 21
//   2  4  its file part (class 20), whose outer object is this object
//   6  4  the format object, 0 while the file is not open
#pragma pack(push, 2)
struct AP21_SPECTRUM_FILE {
  AP_OBJECT head;
  AP_OBJECT* format;
};
#pragma pack(pop)
static_assert(sizeof(AP21_SPECTRUM_FILE) == 10);

// Result codes of open and detection, stored through the caller's pointer.
constexpr uint16_t AP21_OPEN_FAILED = 0xFFFC;    // the open in the mode asked, or the format object, failed
constexpr uint16_t AP21_NOT_RECOGNISED = 0xFFFD;  // no class recognises the file, or the class is not accepted
constexpr uint16_t AP21_NO_CLASS = 0xFFFE;        // no class named for a write, or only a "maybe"
constexpr uint16_t AP21_NO_FILE = 0xFFFF;         // the file does not exist

// Answers of a format object to the format test (message 48).
constexpr uint32_t AP21_FORMAT_MINE = 1;
constexpr uint32_t AP21_FORMAT_MAYBE = 0xFFFFFFFF;

// Format classes this system knows by number.
constexpr uint16_t AP21_FORMAT_JCAMP = 23;
constexpr uint16_t AP21_FORMAT_XYPAIRS = 25;
constexpr uint16_t AP21_FORMAT_NO_INTERFEROGRAMS = 139;

// Messages of AP21_Dispatcher_SPECFL beyond the common protocol; the file
// messages 39 to 44, 49, 51 to 58, 61 and 68 go to the file part, and 91 and
// 101 are the file class's.
constexpr uint16_t AP21_MSG_READ = 36;
constexpr uint16_t AP21_MSG_WRITE = 37;
constexpr uint16_t AP21_MSG_DELETE = 38;
constexpr uint16_t AP21_MSG_OPEN = 46;
constexpr uint16_t AP21_MSG_CLOSE = 47;
constexpr uint16_t AP21_MSG_DETECT = 48;
constexpr uint16_t AP21_MSG_COMPARE = 50;
constexpr uint16_t AP21_MSG_READ_INTERFEROGRAM = 64;
constexpr uint16_t AP21_MSG_TITLE = 67;
constexpr uint16_t AP21_MSG_REGISTER_FORMAT = 83;
constexpr uint16_t AP21_MSG_WRITE_RANGE = 146;
constexpr uint16_t AP21_MSG_WRITE_HEADER = 147;
constexpr uint16_t AP21_MSG_WRITE_DATA = 148;

// The format protocol: messages a spectrum-file object sends its format
// object. Message 4 goes to the format class with the owning spectrum-file
// object as its parameter.
constexpr uint16_t AP21_FORMAT_READ = 36;
constexpr uint16_t AP21_FORMAT_WRITE = 37;
constexpr uint16_t AP21_FORMAT_TEST = 48;
constexpr uint16_t AP21_FORMAT_READ_INTERFEROGRAM = 64;
constexpr uint16_t AP21_FORMAT_WRITE_INTERFEROGRAM = 65;
constexpr uint16_t AP21_FORMAT_HAS_INTERFEROGRAM = 66;
constexpr uint16_t AP21_FORMAT_TITLE = 67;

// Which stored interferogram: the sample or the background.
constexpr uint16_t AP21_SAMPLE = 1;
constexpr uint16_t AP21_BACKGROUND = 0;

// Parameter blocks, packed to 2.
#pragma pack(push, 2)
// Message 46, 10 bytes.
struct AP21_OPENPARM {
  uint16_t mode;
  uint16_t* class_id;  // in: the format class, 0 to detect; out: the class detected
  uint16_t* result;    // the result code
};
// Message 48, 8 bytes.
struct AP21_DETECTPARM {
  uint16_t* class_id;
  uint16_t* result;
};
// Messages 22 and 50, 8 bytes: the other spectrum-file object.
struct AP21_OTHERPARM {
  AP21_SPECTRUM_FILE* other;
  uint32_t value;
};
// Message 64 of both classes, 6 bytes.
struct AP21_WHICHPARM {
  uint16_t which;
  uint32_t stored;  // the word message 66 gave; not read by class 45
};
// Format message 65, 6 bytes.
struct AP21_WRITEIFGPARM {
  uint16_t which;
  AP_OBJECT* spectrum;
};
// Format message 66, 6 bytes.
struct AP21_HASIFGPARM {
  uint16_t which;
  uint32_t* stored;
};
// Message 146, 12 bytes.
struct AP21_RANGEPARM {
  AP_OBJECT* spectrum;
  float x1;
  float x2;
};
// Message 147, 8 bytes.
struct AP21_HEADERPARM {
  AP_OBJECT* spectrum;
  float value;
};
#pragma pack(pop)
static_assert(sizeof(AP21_OPENPARM) == 10);
static_assert(sizeof(AP21_DETECTPARM) == 8);
static_assert(sizeof(AP21_OTHERPARM) == 8);
static_assert(sizeof(AP21_WHICHPARM) == 6);
static_assert(sizeof(AP21_WRITEIFGPARM) == 6);
static_assert(sizeof(AP21_HASIFGPARM) == 6);
static_assert(sizeof(AP21_RANGEPARM) == 12);
static_assert(sizeof(AP21_HEADERPARM) == 8);

APEXPORT uint32_t AP21_Dispatcher_SPECFL(void* object, uint16_t message, void* parameter);
uint16_t ap21_InitClass(uint16_t class_id);
uint16_t ap21_TermClass(uint16_t class_id);

// The object when it is a spectrum-file object, else null.
AP21_SPECTRUM_FILE* ap21_spectrum_file(const void* object);

// Operations, as the messages named beside them.
AP21_SPECTRUM_FILE* ap21_Create(AP_OBJECT* outer);                                            // 2
uint32_t ap21_Destroy(AP21_SPECTRUM_FILE* spectrum_file, HWND window);                        // 5
AP_OBJECT* ap21_Read(AP21_SPECTRUM_FILE* spectrum_file);                                       // 36
uint16_t ap21_Write(AP21_SPECTRUM_FILE* spectrum_file, AP_OBJECT* spectrum);                   // 37
uint16_t ap21_DeleteFile(AP21_SPECTRUM_FILE* spectrum_file);                                   // 38
uint16_t ap21_Open(AP21_SPECTRUM_FILE* spectrum_file, uint16_t mode, uint16_t* class_id, uint16_t* result);  // 46
uint16_t ap21_Close(AP21_SPECTRUM_FILE* spectrum_file);                                        // 47
uint16_t ap21_Detect(AP21_SPECTRUM_FILE* spectrum_file, uint16_t* class_id, uint16_t* result);  // 48
AP_OBJECT* ap21_ReadInterferogram(AP21_SPECTRUM_FILE* spectrum_file, uint16_t which);          // 64
uint32_t ap21_SetRange(AP21_SPECTRUM_FILE* spectrum_file, AP_OBJECT* spectrum, float x1, float x2);  // 146

// Spectrum messages 18 and 17 with a spectrum-file object: the whole
// spectrum written through the format object (message 37), or read (message
// 36) and copied into the spectrum.
// With create set the spectrum read is answered; else it is copied into the
// spectrum given, which is answered (null on failure).
uint16_t ap21_WriteSpectrum(AP_OBJECT* spectrum, void* spectrum_file);
AP_OBJECT* ap21_ReadIntoSpectrum(void* spectrum, void* spectrum_file, uint16_t create);

// True when two names lead to one file: both open, as the same file of the
// same volume, so that links, "." and ".." are resolved. A name that opens
// and one that does not name two files; names of which neither opens so
// are compared as full paths without regard to case.
bool ap21_IsSameFile(const char* name, const char* other);

// A file class that pairs its file part with a format object (classes 21
// and 51) shares the open, the detection and the close: its format
// classes are the detection table in probing order, the classes an open
// accepts by name, and those registered on the file class.
struct AP21_FORMATS {
  uint16_t file_class;
  const uint16_t* detection;
  uint32_t detection_count;
  const uint16_t* accepted;
  uint32_t accepted_count;
};
// The object that owns the format object, the slot that holds it (a field
// of a packed record, so reached byte-wise), and the file part.
struct AP21_PAIR {
  AP_OBJECT* owner;
  void* format;
  AP20_FILE* file;
  const AP21_FORMATS* formats;
};
// The format test of the native formats: the magic, without regard to
// letter case and ended by its NUL, and the file type.
uint16_t ap21_IsNativeOfType(AP20_FILE* file, uint16_t file_type);
uint16_t ap21_OpenPair(const AP21_PAIR& pair, uint16_t mode, uint16_t* class_id, uint16_t* result);
uint16_t ap21_IdentifyPair(const AP21_PAIR& pair, uint16_t* class_id, uint16_t* result);
uint16_t ap21_ClosePair(const AP21_PAIR& pair);
// Messages 9, 7 and 18 of such a class: its name with the format's after
// " : ", the sizes of the file part, the format object and its own cell,
// and the file part's stream followed by the format object's.
uint16_t ap21_PairClassName(const AP21_PAIR& pair, const char* class_name, char* buffer);
uint32_t ap21_PairSize(const AP21_PAIR& pair, uint32_t own_size);
uint16_t ap21_PairWriteObject(const AP21_PAIR& pair, void* target);
// Messages 2 and 5 of such a class: the object with a new file part whose
// outer object is `outer` (the object itself when null) and no format
// object, or null; and the file part destroyed and, when it went, the
// format object and the cell. The caller fills the rest of a new cell.
AP_OBJECT* ap21_CreatePaired(uint16_t class_id, AP_OBJECT* outer);
uint32_t ap21_DestroyPair(const AP21_PAIR& pair, HWND window);
// Message 38: the file removed, then the format object destroyed.
uint16_t ap21_DeletePair(const AP21_PAIR& pair);

// The format objects of the native formats (classes 45 and 52) hold no
// more than their owner, the spectrum-file or group-file object that opened
// the file, and every file operation goes to the owner's file part. Their
// classes' heaps have cells of 8 bytes, 10 to a block.
constexpr uint16_t AP21_FORMAT_CELL_BYTES = 8;
constexpr uint32_t AP21_FORMAT_CELLS_PER_BLOCK = 10;
// The object when it is one of the class, else null; the owner's file part,
// null for a null format object.
AP_OBJECT* ap21_FormatOfClass(const void* object, uint16_t class_id);
AP20_FILE* ap21_FormatFile(const void* format);
// The messages such a format object answers as every other one does (its
// dispatcher's default): the common object protocol through the root part
// of the owner's file part, the messages passed to that file part, create
// and new with the owner in the parameter, init, destroy, size and class
// name, and delete through the owner. `format` is null for create and new.
uint32_t ap21_FormatMessage(void* format, uint16_t class_id, const char* class_name, uint16_t message,
                            void* parameter);

// Cuts the member suffix (";" and a number) from a reference name and
// answers the number, -1 when there is none.
int32_t ap21_CutMember(char* reference);
// Stored interferograms read from another file.
struct AP21_STORED {
  AP7_SPECTRUM* background = nullptr;
  AP7_SPECTRUM* sample = nullptr;
};
// The stored interferograms asked for, read from the file named through a
// new object opened read-only with detection: a group-file object for a
// group member (0 or more), a spectrum-file object otherwise. Those not
// found stay null.
AP21_STORED ap21_ReadStored(const char* name, int32_t member, bool background, bool sample);

// The group-file class (class 51) as the spectrum-file class and the
// spectrum's save reach it, by message: it opens (46), closes (47) and
// deletes (38) like class 21, saves a list of spectra (63) and reads a
// member's stored interferogram (64).
constexpr uint16_t AP51_CLASS_ID = 51;
constexpr uint16_t AP51_MSG_SAVE_GROUP = 63;
// Format classes of the group save.
constexpr uint16_t AP52_CLASS_ID = 52;
#pragma pack(push, 2)
// Message 64 of class 51, 8 bytes.
struct AP51_IFGPARM {
  uint16_t which;
  uint16_t member;
  uint32_t key3;
};
#pragma pack(pop)
static_assert(sizeof(AP51_IFGPARM) == 8);

// Configuration key that asks for debugging copies of the stored
// interferograms beside a saved spectrum.
constexpr char AP21_DEBUG_SECTION[] = "DEBUG";
constexpr char AP21_DEBUG_COPIES_KEY[] = "WRITEIFGS";

// ---------------------------------------------------------------------------
// Single-spectrum format AP45 COMBINED_FILE (ap45.cpp)
//
// The format object of the native single-spectrum file (file type 1). It
// never opens a file: every file operation goes to its owner's file part.

constexpr uint16_t AP45_CLASS_ID = 45;

// Format object, a cell of 8 bytes of the heap "AP45".
//   0  2  class id 45
//   2  4  the owning spectrum-file object
#pragma pack(push, 2)
struct AP45_COMBINED_FILE {
  AP_OBJECT head;
};
#pragma pack(pop)
static_assert(sizeof(AP45_COMBINED_FILE) == 6);

// Messages an attached item of class 130 receives after it is read (304)
// or written (303) by the single-spectrum format.
constexpr uint16_t AP45_MSG_ITEM_WRITTEN = 303;
constexpr uint16_t AP45_MSG_ITEM_READ = 304;

#pragma pack(push, 2)
// Messages 303 and 304, 12 bytes.
struct AP45_ITEMPARM {
  AP45_COMBINED_FILE* format;
  AP20_FILEHEADER* header;
  AP20_DIRENTRY* directory;
};
#pragma pack(pop)
static_assert(sizeof(AP45_ITEMPARM) == 12);

APEXPORT uint32_t AP45_Dispatcher_COMBINE(void* object, uint16_t message, void* parameter);
uint16_t ap45_InitClass(uint16_t class_id);
uint16_t ap45_TermClass(uint16_t class_id);

// ---------------------------------------------------------------------------
// Group file class AP51 GROUP_FILE (ap51.cpp)
//
// The file object through which a list of spectra is saved as one group
// file and its members are read back: a file part (class 20) paired with a
// format object (class 52 here), found by probing; a group saved under a
// ".GAML" name is handed to the GAML export converter.

// The group format of the detection table that this system does not build.
constexpr uint16_t AP51_FORMAT_OTHER_GROUP = 58;

// Group-file object, a cell of 36 bytes of the heap "AP51".
//   0  2  class id 51
//   2  4  its file part (class 20), whose outer object is this object
//   6  4  the format object, 0 while the file is not open
//  10 12  three f32 values a format object fills (message 179)
#pragma pack(push, 2)
struct AP51_GROUP_FILE {
  AP_OBJECT head;
  AP_OBJECT* format;
  float values[3];
};
#pragma pack(pop)
static_assert(sizeof(AP51_GROUP_FILE) == 22);

// Messages of AP51_Dispatcher_GROUP beyond those it shares with class 21
// (36 to 58, 83, 91, 101 as there); messages 64 and 66 take AP51_IFGPARM.
constexpr uint16_t AP51_MSG_READ_RANGE = 62;
constexpr uint16_t AP51_MSG_READ_INTERFEROGRAM = 64;
constexpr uint16_t AP51_MSG_WRITE_INTERFEROGRAM = 65;
constexpr uint16_t AP51_MSG_HAS_INTERFEROGRAM = 66;
constexpr uint16_t AP51_MSG_TITLE = 67;
constexpr uint16_t AP51_MSG_WRITE_DIRECTORY = 77;
constexpr uint16_t AP51_MSG_READ_MEMBER = 121;
constexpr uint16_t AP51_MSG_MEMBER_COUNT = 146;
constexpr uint16_t AP51_MSG_GET_VALUES = 179;

// The group messages 147 to 188 belong to group formats other than class 52
// (which answers none of them): the class forwards them, adding what these
// need. A spectrum a format returns for 147, 151 or 176 is marked saved and
// given the file as its path; 150 writes a spectrum with its stored
// interferograms; 152 and 184 open a closed file around the forward.
constexpr uint16_t AP51_MSG_GROUP_FIRST = 147;
constexpr uint16_t AP51_MSG_GROUP_LAST = 188;
constexpr uint16_t AP51_MSG_READ_SPECTRUM = 147;       // {u32 value}
constexpr uint16_t AP51_MSG_WRITE_SPECTRUM = 150;      // AP51_SPECTRUMPARM
constexpr uint16_t AP51_MSG_READ_WITH_VALUES = 151;    // AP51_WORDVALUEPARM
constexpr uint16_t AP51_MSG_OPENS_READWRITE = 152;     // {u16}
constexpr uint16_t AP51_MSG_READ_SPECTRUM_AT = 176;    // {u32, u32, u32}
constexpr uint16_t AP51_MSG_NEEDS_FIRST_FIELD = 181;   // refused when its first u32 is 0
constexpr uint16_t AP51_MSG_OPENS_OTHER_GROUP = 184;   // a closed file opens as class 58

// The outside GAML export converter: class, its interface, and the class
// context it is created in (in-process server and handler, local server).
constexpr char AP51_GAML_EXTENSION[] = ".GAML";
constexpr char AP51_TEMP_PREFIX[] = "~tv";
constexpr char AP51_NATIVE_FORMAT[] = "KOV_TLVO";
constexpr char AP51_GAML_FORMAT[] = "GAML";

#pragma pack(push, 2)
// Messages 62 of both classes, 4 bytes.
struct AP51_RANGEPARM {
  uint16_t first;
  uint16_t last;
};
// Message 65 of class 52, 12 bytes.
struct AP51_WRITEIFGPARM {
  uint16_t which;
  AP_OBJECT* spectrum;
  uint16_t member;
  uint32_t key3;
};
// Message 67 of both classes, 6 bytes: a buffer of 256 bytes.
struct AP51_TITLEPARM {
  char* buffer;
  uint16_t member;
};
// Message 179, 12 bytes: where the three values go.
struct AP51_VALUESPARM {
  float* first;
  float* second;
  float* third;
};
// Message 150, 8 bytes: the spectrum and key 3 of its interferograms.
struct AP51_SPECTRUMPARM {
  AP_OBJECT* spectrum;
  uint32_t value;
};
// Message 151, 6 bytes.
struct AP51_WORDVALUEPARM {
  uint16_t word;
  uint32_t value;
};
#pragma pack(pop)
static_assert(sizeof(AP51_SPECTRUMPARM) == 8);
static_assert(sizeof(AP51_WORDVALUEPARM) == 6);
static_assert(sizeof(AP51_RANGEPARM) == 4);
static_assert(sizeof(AP51_WRITEIFGPARM) == 12);
static_assert(sizeof(AP51_TITLEPARM) == 6);
static_assert(sizeof(AP51_VALUESPARM) == 12);

APEXPORT uint32_t AP51_Dispatcher_GROUP(void* object, uint16_t message, void* parameter);
uint16_t ap51_InitClass(uint16_t class_id);
uint16_t ap51_TermClass(uint16_t class_id);

// The object when it is a group-file object, else null.
AP51_GROUP_FILE* ap51_group_file(const void* object);

AP51_GROUP_FILE* ap51_Create(AP_OBJECT* outer);                                                        // 2
uint32_t ap51_Destroy(AP51_GROUP_FILE* group_file, HWND window);                                       // 5
uint16_t ap51_DeleteFile(AP51_GROUP_FILE* group_file);                                                 // 38
uint16_t ap51_Open(AP51_GROUP_FILE* group_file, uint16_t mode, uint16_t* class_id, uint16_t* result);  // 46
uint16_t ap51_Close(AP51_GROUP_FILE* group_file);                                                      // 47
uint16_t ap51_IdentifyFormat(AP51_GROUP_FILE* group_file, uint16_t* class_id, uint16_t* result);       // 48
uint16_t ap51_SaveGroup(AP51_GROUP_FILE* group_file, AP_OBJECT* list);                                 // 63
// The last step of a group save: a file whose name ends in ".GAML" (any
// letter case) is closed, copied to a temporary file and converted from
// there onto its own name by the GAML export converter. 1 when nothing was
// to be done or the conversion succeeded; 0 with error 400 on the file when
// the converter cannot be made or fails.
uint16_t ap51_ExportGaml(AP51_GROUP_FILE* group_file);

// ---------------------------------------------------------------------------
// Group format AP52 SPG_FILE (ap52.cpp)
//
// The format object of the native group file (file type 10). Every member's
// sections carry key 2 = its member number.

// Format object, a cell of 8 bytes of the heap "AP52".
//   0  2  class id 52
//   2  4  the owning group-file object
#pragma pack(push, 2)
struct AP52_SPG_FILE {
  AP_OBJECT head;
};
#pragma pack(pop)
static_assert(sizeof(AP52_SPG_FILE) == 6);

// Member record, section type 107, 264 bytes (older files 256), little-endian.
//    0 256  the member's title, NUL-terminated
//  256   4  header parameter 2, the collection time
//  260   4  header parameter 48
#pragma pack(push, 2)
struct AP52_MEMBERRECORD {
  char title[AP20_TITLE_SIZE];
  uint32_t time;
  uint32_t p48;
};
#pragma pack(pop)
static_assert(sizeof(AP52_MEMBERRECORD) == 264);
constexpr uint32_t AP52_OLD_MEMBER_RECORD = 256;

// The bytes and directory entries the sizing counts for a member beside
// its texts, data and items: the header block, its extension, the member
// record, the history flags (rounded to 12), and the header texts when the
// member has one.
constexpr uint32_t AP52_SIZE_HISTORY_BITS = 12;
constexpr uint32_t AP52_SIZE_ANNOTATION_RECORD = 54;
constexpr uint32_t AP52_SIZE_INTERFEROGRAM_DESCRIPTOR = 24;

// What the sizing found: the bytes and entries of the whole file and the
// directory blocks that hold the entries.
struct AP52_SIZING {
  uint64_t bytes;
  uint32_t entries;
  uint32_t blocks;
};

APEXPORT uint32_t AP52_Dispatcher_SPG(void* object, uint16_t message, void* parameter);
uint16_t ap52_InitClass(uint16_t class_id);
uint16_t ap52_TermClass(uint16_t class_id);

// Sizes the group file of the list of spectra, counting in 64 bits, against
// the free bytes of the target's disk. 0 when the file would not fit (or a
// directory of more than AP20_MAX_BLOCKS blocks would be needed).
uint16_t ap52_SizeGroup(AP_OBJECT* list, uint64_t free_bytes, AP52_SIZING* sizing);
// The member count of an open group file: the type-2 sections, 0 when the
// keys of the first entry name none.
uint32_t ap52_MemberCount(void* format);

// ---------------------------------------------------------------------------
// The file wrapper (cap20)

// The wrapper over one AP20 FILE object, which it creates and destroys: one
// member per file message, true when the message answered 1 (texts pass as
// UTF-16 strings, which must fit 255 ANSI characters), and the operations
// the workstation's electronic-signature component needs on a native file.
// The native operations answer 0 for success and 1 for failure, as the
// native open messages do.
class CApFile : public CApObjectBase {
 public:
  CApFile();
  // A duplicate of the other's file object (a named file's content goes to
  // a new temporary file), with its native-open state.
  CApFile(const CApFile& other);
  CApFile& operator=(const CApFile& other);
  // Closes a native file left open, then destroys the file object.
  ~CApFile() override;

  AP20_FILE* GetFile() const { return ap20_file(object_); }

  bool SetUserWord(uint16_t word);
  bool GetSize(uint32_t* bytes) const;
  bool GetClassName(std::u16string& name) const;
  bool BeginChange();
  bool EndChange();
  bool GetChangeState(int16_t* state) const;
  bool AddDependentWindow(HWND window, uint16_t kind);
  bool RemoveDependent(HWND window);
  bool Delete();
  bool Rename(const std::u16string& name);
  bool Rewind();
  bool Seek(int32_t offset, uint16_t origin);
  bool SeekToEnd();
  // True when the whole count was transferred; `transferred` takes the count.
  bool Read(void* buffer, uint32_t count, uint32_t* transferred);
  bool Write(const void* buffer, uint32_t count, uint32_t* transferred);
  bool Truncate();
  bool Open(uint16_t mode);
  bool Close();
  bool Exists() const;
  bool Reserve(uint32_t size, bool extend);
  // True when both open files hold the same bytes; otherwise `position`
  // takes where this file stands, just after the first byte that differs.
  bool Compare(const CApFile& other, uint32_t* position);
  bool IsOpen() const;
  bool GetLastError(uint32_t* code) const;
  bool SetName(const std::u16string& name);
  bool GetName(std::u16string& name) const;
  bool GetFileSize(uint32_t* bytes) const;
  bool GetPosition(uint32_t* position) const;
  bool GetOpenMode(uint16_t* mode) const;
  bool Reopen(uint16_t mode);
  // The name's parts; each is written only when given.
  bool SplitName(std::u16string* drive, std::u16string* directory, std::u16string* base,
                 std::u16string* extension) const;
  bool SetError(uint16_t code);
  bool GetClassError(int32_t* code) const;
  // Whether the file at the path is native; `file_type` takes its type.
  bool FormatTest(const std::u16string& path, uint16_t* file_type) const;
  static bool FindFirst(const std::u16string& pattern, GU4_FINDDATA* found);
  static bool FindNext(GU4_FINDDATA* found);
  static bool FindClose();
  static bool DirectoryExists(const std::u16string& path);
  static bool MakeDirectories(const std::u16string& path);

  // Opens the native file read-only (102) or for reading and writing (103).
  uint16_t OpenNative(const std::u16string& path, uint16_t message);
  // Closes it, writing header and directory back when open for writing.
  uint16_t CloseNative();
  // Writes a zero-filled signature section for the member (0 when negative),
  // in place of that member's earlier one only, and leaves the file open
  // and positioned at it for the caller to write the signature and close.
  uint16_t CreateSignatureBlock(const std::u16string& path, int32_t member);
  // Opens the file read-only positioned at the member's signature section.
  uint16_t OpenSignatureBlock(const std::u16string& path, int32_t member);
  // Feeds the live sections of the file to the caller's hash, in directory
  // order (those of one member when `member` is 0 or more), leaving out the
  // signature sections and those of type 181. Free entries and the reservoir
  // hold no data: compacting a file does not change its hash.
  static uint16_t HashFile(HCRYPTHASH hash, const std::u16string& path, int32_t member);

 private:
  uint32_t Send(uint16_t message, void* parameter) const;
  bool SendText(uint16_t message, const std::u16string& text);
  uint16_t native_state_ = 0;
};
