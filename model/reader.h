// Private to the OBJ/MTL reader: the text being read, where material
// libraries come from, the reader's errors and the MTL reader's entry.
#ifndef CELSHADE_READER_H
#define CELSHADE_READER_H

#include "glm_internal.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace read_detail {

// Mapped pages behind the scan position are handed back in steps of this
// size, so a large file never stays resident as a whole.
constexpr size_t kReleaseStep = size_t(16) << 20;

// A byte span to scan: a read-only file mapping, a heap copy (pipes and
// other unmappable files) or a borrowed buffer. Never NUL-terminated.
struct GLM_INTERNAL Text {
  const char* data = nullptr;
  size_t size = 0;
  void* map = nullptr;
  size_t mapped = 0;  // bytes of the mapping, which starts at or before data
  char* heap = nullptr;
  size_t released = 0;  // mapped bytes before this offset were handed back
  // The mapped file, open for reading with pread (-1 for anything else): a
  // pass that only looks at the text once reads it through a small buffer
  // of its own, which is much cheaper than faulting the mapping's pages in.
  int fd = -1;
  bool owner = true;  // unmaps, closes and frees on destruction
  // Which text this is, when that can be told without reading it: device,
  // inode, size and modification time of a regular file; address and
  // length of a caller's buffer. All zero when unknown (a pipe).
  uint64_t identity[4] = {0, 0, 0, 0};

  Text() = default;
  // A view of `whole` for a scan that starts at `from` and runs beside
  // others: it hands back the mapped pages it passes, never those before
  // `from`, and leaves the mapping and the file to `whole`.
  Text(const Text& whole, const char* from);
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text();
  const char* end() const { return data + size; }

  // Hands back whole steps of mapped pages before p.
  void release(const char* p);
  // Hands back every mapped page wholly before p not handed back yet: a
  // view's scan is done up to p.
  void releaseBefore(const char* p);
  // Hands back every mapped page; the next pass faults them in again.
  void releaseAll();
  // Hands back the mapped pages of the 2 MiB step that holds p, where one
  // fault may have mapped a piece of the page cache (a folio, up to 1 MiB
  // of a mapping off the 2 MiB grid) beyond what the scan that faulted it
  // hands back: once no scan will read there again (a long run has passed
  // it, the pieces on both sides of a cut are done). Safe beside other
  // scans: a page handed back that one still reads is faulted in again.
  void releaseAround(const char* p) const;
  // Copies up to `bytes` bytes of the text from p on into `into` (fewer
  // only where the text ends), with pread from a mapped file, through the
  // mapping only where pread fails; how many.
  size_t readAt(const char* p, char* into, size_t bytes) const;
};

enum class Load { Ok, CantOpen, NoMemory };

// Maps a regular file, or reads anything else (a pipe) into the heap.
GLM_INTERNAL Load loadFile(const char* name, Text& text);
// The identity loadFile would give the file `name`, without loading it;
// false when it has none (no such file, not a regular file).
GLM_INTERNAL bool fileIdentity(const char* name, uint64_t identity[4]);

// Where material libraries come from: files, or the caller's callback.
struct MtlSource {
  GLMmtlsource callback = nullptr;  // null: read files
  void* user = nullptr;

  // A library that cannot be opened is a warning, collected in the scan,
  // instead of an error (GLM_READ_OPTIONAL_LIBRARIES).
  bool optional = false;
  // Files as other tools write them (GLM_READ_LENIENT): the OBJ and MTL
  // readers match keywords whole, mtllib names a list of libraries whose
  // materials add up, and a lone carriage return ends a line.
  bool lenient = false;

  Load load(const char* name, Text& text) const {
    if (!callback) return loadFile(name, text);
    size_t length = 0;
    const char* data = callback(user, name, &length);
    if (!data) {
      errno = ENOENT;  // the caller has no such library
      return Load::CantOpen;
    }
    text.data = data;
    text.size = length;
    bufferIdentity(data, length, text.identity);
    return Load::Ok;
  }
  // The identity of what load would give, without loading it; false when
  // it has none.
  bool identify(const char* name, uint64_t identity[4]) const {
    if (!callback) return fileIdentity(name, identity);
    size_t length = 0;
    const char* data = callback(user, name, &length);
    if (data) bufferIdentity(data, length, identity);
    return data != nullptr;
  }

 private:
  // A caller's buffer is known by its address and length (never all zero).
  static void bufferIdentity(const char* data, size_t length, uint64_t identity[4]) {
    identity[0] = uintptr_t(data);
    identity[1] = length;
    identity[2] = 1;
    identity[3] = 0;
  }
};

// Line of p in the text that starts at base, counted from 1 (1 without a
// text).
GLM_INTERNAL size_t lineOf(const char* base, const char* p);

// Bytes from a file as a message shows them: printable ASCII and
// well-formed UTF-8 characters as they are, every other byte (control
// characters, DEL, C1 controls, bytes of no well-formed character) as \xNN
// with two lower-case hex digits. Every name, keyword or statement a
// message takes from a file goes through here, so that no message puts raw
// bytes on a terminal.
GLM_INTERNAL std::string printable(std::string_view bytes);
// The statement at p up to its line end (p <= end), for a message: at most
// 80 bytes, printable(), "..." after when cut.
GLM_INTERNAL std::string quote(const char* p, const char* end);

// Fills `error` and gives false. The message names the file (printable()),
// then the line of `at` in `text` when given, then `what`, then (when
// `quoted`) the statement at `at` up to its line end: "file:line: what:
// `statement`" for a statement, "file: what" for the file as a whole.
GLM_INTERNAL bool fail(Failure& error, std::string_view file, std::string_view what,
                       const Text* text = nullptr, const char* at = nullptr, bool quoted = true);
// A file that could not be loaded: "file: <cantOpen>" as `kind`, with the
// file (printable()) as the subject and errno as the code, or "file: out of
// memory".
// Gives false.
GLM_INTERNAL bool failLoad(Failure& error, Load load, std::string_view file, Fail kind,
                           const char* cantOpen);

// What a read did not find, reported once the read is done: the warnings
// for optional libraries that could not be opened, then those for what a
// lenient read passed over (statements it does not know, indices naming
// nothing), then the names of materials no library defines
// (glmFindMaterial's message each).
struct GLM_INTERNAL Unfound {
  std::vector<std::string> libraries;
  std::vector<std::string> passedOver;
  std::vector<std::string> materials;
  void report() const;
};

// Refuses UTF-16 text: "file: UTF-16 text, ..." in `error`, false. Skips a
// UTF-8 byte-order mark.
GLM_INTERNAL bool startText(Text& text, Failure& error, std::string_view file);

// The material libraries one read of a model has read, so that a library
// named again is not read again. The model owns the materials it holds;
// this owns the others and frees them when it ends.
struct GLM_INTERNAL Libraries {
  struct Library {
    uint64_t identity[4];
    std::string folder;      // where its maps are found from
    GLMmaterial* materials;  // null once they are the model's (read leniently)
    GLuint count;
  };
  GLMmodel* model;
  std::vector<Library> read;

  explicit Libraries(GLMmodel* m) : model(m) {}
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;
  ~Libraries();
};

// Reads the library `name` (relative to the model's directory) into the
// model's materials, replacing those of an earlier library; one that is
// the same file (or buffer) as a library in `libraries` gives its
// materials without being read again. Read leniently (mtl.lenient), the
// library's materials follow the model's instead (its material 0 only when
// the model has none), and one read before adds nothing. False (with
// `error` filled) when it cannot be read.
GLM_INTERNAL bool glmReadMTL(GLMmodel* model, std::string_view name, const MtlSource& mtl,
                             Failure& error, Libraries& libraries);

}  // namespace read_detail

#endif  // CELSHADE_READER_H
