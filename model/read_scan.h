// Private to the OBJ reader: the state of a scan of OBJ text, and what its
// files share: the statements (read_obj.cpp), counting by lines
// (read_count.cpp), reading in pieces (read_pieces.cpp) and the entry
// points (read.cpp).
#ifndef CELSHADE_READ_SCAN_H
#define CELSHADE_READ_SCAN_H

#include "reader.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace read_detail {

// Memory for the lists the piece threads fill, mapped page by page straight
// from the system. A thread that calls malloc or free gets an arena of its
// own, 64 MiB of address space with glibc that it keeps after the thread
// ends, so that under a limit on the address space (ulimit -v) the arenas
// of a few threads leave too little for the model. The piece threads
// therefore never call malloc or free: what they fill grows in pages.
template <class T>
struct PageAllocator {
  using value_type = T;
  PageAllocator() = default;
  template <class U>
  PageAllocator(const PageAllocator<U>&) {}
  T* allocate(size_t n) {
    void* p = n <= SIZE_MAX / sizeof(T) ? mapPages(n * sizeof(T)) : nullptr;
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) { unmapPages(p, n * sizeof(T)); }
  friend bool operator==(PageAllocator, PageAllocator) { return true; }
  friend bool operator!=(PageAllocator, PageAllocator) { return false; }
};

// Bytes of a window: 256 KiB, small enough for the caches and for one per
// piece thread, unless setReadWindow says otherwise.
GLM_INTERNAL size_t windowBytes();
// Whether setReadWindow sets a window.
GLM_INTERNAL bool windowChosen();

// The bytes of a mapped file as a scan moving forward reads them: copied
// with pread into a buffer of its own, a window at a time, which costs a
// fraction of faulting the mapping's pages in. Made on a piece's thread, it
// maps its buffer straight from the system (see PageAllocator).
class Window {
 public:
  // A window for `text` when `wanted` and the text is a mapped file, or
  // any text while setReadWindow sets a window (tests reach its edges so);
  // else reads go to the text itself.
  explicit Window(const Text& text, bool wanted = true) : text_(text) {
    if (wanted && (text.fd >= 0 || windowChosen()))
      buffer_ = static_cast<char*>(mapPages(capacity_));
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() { unmapPages(buffer_, capacity_); }

  // The `need` (<= 768) bytes at p, which lie within the text: a
  // copy in the window, read in when it does not hold them; p itself
  // without a window.
  const char* at(const char* p, size_t need) {
    if (!buffer_) return p;
    if (p < from_ || p + need > from_ + length_) {
      from_ = p;
      length_ = text_.readAt(p, buffer_, capacity_);
    }
    return buffer_ + (p - from_);
  }
  // After at() gave a copy: where the copy ends, as a place in the text; the
  // copy of the place p in the text that the window holds; the place in the
  // text of c in the copy.
  const char* end() const { return from_ + length_; }
  const char* copyOf(const char* p) const { return buffer_ + (p - from_); }
  const char* textOf(const char* c) const { return from_ + (c - buffer_); }

 private:
  const Text& text_;
  const size_t capacity_ = windowBytes();
  char* buffer_ = nullptr;
  const char* from_ = nullptr;  // the text's bytes [from_, from_ + length_) are in the buffer
  size_t length_ = 0;
};

struct GroupSlot {
  GLMgroup* group;
  uint64_t count;  // triangles counted by the first pass
};

// A group, library or material line met by counting a piece of the text by
// lines, with the triangles counted since the one before; a null keyword
// closes the piece.
struct LineMark {
  const char* keyword;
  uint64_t triangles;
};
using LineMarks = std::vector<LineMark, PageAllocator<LineMark>>;

// What a lenient read passes over, told once the read is done: the
// statements of keywords it does not know, counted by keyword in the order
// first met, and the first face naming normals, or texture coordinates, of
// a file that has none. The storing pass fills it, on a piece's thread too
// (so it grows in pages); a read in pieces adds up the pieces' in order.
struct GLM_INTERNAL PassedOver {
  struct Keyword {
    std::string_view word;  // in the text
    uint64_t count;
  };
  std::vector<Keyword, PageAllocator<Keyword>> keywords;
  // Open addressing over a power-of-two table: index + 1 into keywords (0:
  // empty); 16 slots or more once a keyword is met.
  std::vector<size_t, PageAllocator<size_t>> slots;
  const char* normals = nullptr;
  const char* texcoords = nullptr;

  // Counts `n` statements of `word`.
  void skipped(std::string_view word, uint64_t n = 1);
  // Adds what a read of the text after this one's passed over.
  void add(const PassedOver& later);
  // The warnings, one per line, for the file `path` whose text is `text`.
  void describe(std::string_view path, const Text& text, std::vector<std::string>& lines) const;
};

struct GLM_INTERNAL ObjScan {
  GLMmodel* model;
  Text& text;
  const MtlSource& mtl;
  Failure& error;
  std::unordered_map<std::string_view, GroupSlot> groups;
  GroupSlot* defaultGroup = nullptr;
  const char* statement = nullptr;  // keyword of the statement being read
  // The statements read are those whose keywords lie in [begin, stop): the
  // whole text, or a piece of it read beside others.
  const char* begin = text.data;
  const char* stop = text.end();
  // In force at begin: the group, the material and the numbers already
  // taken by vertices, normals, texture coordinates and triangles. Storing
  // leaves here the group and material in force at the end.
  GroupSlot* group = nullptr;
  GLuint material = 0;
  uint64_t first[4] = {0, 0, 0, 0};
  // Counted (the numbers at stop, for storing): vertices, normals, texture
  // coordinates, triangles.
  uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
  // Counting a piece by lines: its group, library and material lines are
  // noted here, to be taken in order once every piece is counted.
  LineMarks* lineMarks = nullptr;
  bool byLines = false;  // the counting pass counts lines, not statements
  // Fails without a message: a piece's failure only sends the read back to
  // one thread, and a piece's thread formats nothing (see PageAllocator).
  bool quiet = false;
  // Keywords of the group and library statements the counting pass took, in
  // order; the storing pass must meet exactly these.
  std::vector<const char*> marks;
  size_t nextMark = 0;
  // Names of the materials not found, reported once the read is done.
  std::vector<std::string_view, PageAllocator<std::string_view>> missingMaterials;
  std::vector<std::string> missingLibraries;  // warnings, reported once the read is done
  Libraries libraries;
  // First index of each material name, for the materials it was built for:
  // open addressing over a power-of-two table, each slot the name's hash in
  // its high half and index + 1 in its low half (0: empty). One allocation,
  // and mostly one cache miss per look-up besides the name itself.
  std::vector<uint64_t> materialSlots;
  const GLMmaterial* indexed = nullptr;

  // Keywords are matched whole, a lone carriage return ends a line (see
  // MtlSource::lenient); what the read passes over is noted here.
  const bool lenient;
  PassedOver passedOver;

  ObjScan(GLMmodel* m, Text& t, const MtlSource& source, Failure& e)
      : model(m), text(t), mtl(source), error(e), libraries(m), lenient(source.lenient) {}

  // End of the line at p, just past it, as the read's mode ends lines.
  const char* lineEnd(const char* p) const;

  // Fails with "file:line: what: `statement`".
  bool fail(const char* what) {
    return !quiet && read_detail::fail(error, model->path, what, &text, statement);
  }
  // Fails with "file: what", for the file as a whole.
  bool failFile(const char* what) { return !quiet && read_detail::fail(error, model->path, what); }
  // Fails with "file:line: unknown token "keyword"" for the keyword
  // [keyword, end) of the statement being read.
  bool unknownToken(const char* keyword, const char* end);
  // The storing pass found something the counting pass did not count.
  // Counting statement by statement this never happens; counting by lines
  // it sends the read back to count statement by statement.
  bool disagreeing() { return fail("internal error: the passes disagree"); }
  // The storing pass meets a group or library statement at `keyword`.
  bool takeMark(const char* keyword) {
    return nextMark < marks.size() && marks[nextMark++] == keyword;
  }
  // The index of the first material named `name`, when there is one: what
  // glmFindMaterial finds, in expected constant time.
  bool findMaterial(std::string_view name, GLuint& index);
  // Builds the table findMaterial looks in for the model's materials (else
  // built when first needed), the first of equal names taking the slot.
  void indexMaterials();

 private:
  uint64_t* findSlot(std::string_view name, GLuint& found);
};

// ---- The statements (read_obj.cpp) ------------------------------------------

// Creates the group `name` at the head of the model's list. Null when out
// of memory.
GLM_INTERNAL GroupSlot* newGroup(ObjScan& s, std::string_view name);
// Counting: the group statement whose keyword is at `keyword`, with its line
// rest at p (moved past the line end). Finds or creates the group, which
// becomes current; null when out of memory.
GLM_INTERNAL GroupSlot* countGroup(ObjScan& s, const char* keyword, const char*& p);
// Counting: the library statement whose keyword is at `keyword`, with its
// line rest at p (moved past the line end). Takes the name and reads the
// library.
GLM_INTERNAL bool countLibrary(ObjScan& s, const char* keyword, const char*& p);
// A lenient read's library statement whose keyword is at `keyword`, with its
// line rest [rest, stop): every name on it is a library, read in order (see
// GLM_READ_LENIENT in glm.h). False when one cannot be read, or when one
// cannot be opened and libraries are not optional.
GLM_INTERNAL bool readLibraryList(ObjScan& s, const char* keyword, const char* rest,
                                  const char* stop);
// Notes the warning for the optional library `name` of the library
// statement at `keyword`, which could not be opened (errno `code`).
GLM_INTERNAL void missingLibrary(ObjScan& s, const char* keyword, std::string_view name, int code);
// Takes the counts into the model and gives every group its index array.
GLM_INTERNAL bool sizeModel(ObjScan& s);
// Counts everything, creates the groups, reads the material libraries, and
// gives every group its index array.
GLM_INTERNAL bool glmFirstPass(ObjScan& s);
// Stores everything into the arrays sized by the first pass.
GLM_INTERNAL bool glmSecondPass(ObjScan& s);
// Reads everything in one pass, the arrays growing as they fill; false
// when one pass cannot settle the text as two would (see ObjPass), or on
// any error.
GLM_INTERNAL bool glmOnePass(ObjScan& s);
// Allocates the model's arrays at the sizes the first pass counted.
GLM_INTERNAL bool allocateArrays(ObjScan& s);
// An empty model read from `path`; null (with `error` filled) when out of
// memory.
GLM_INTERNAL GLMmodel* newModel(const char* path, Failure& error);

// The counting pass statement by statement over a piece [s.begin, s.stop)
// of the text, its group, library and material statements noted in
// s.lineMarks as countLines notes them; false when a statement fails or
// goes on past s.stop.
GLM_INTERNAL bool countStatements(ObjScan& s);

// ---- Counting by lines (read_count.cpp) -------------------------------------

// The counting pass by lines, over [s.begin, s.stop); false when the text
// does not look like one statement per line (nothing is reported: the read
// starts over) or a group or library statement fails. With s.lineMarks set
// the group, library and material lines are only noted there.
GLM_INTERNAL bool countLines(ObjScan& s);

// ---- Reading in pieces (read_pieces.cpp) ------------------------------------

// How many threads read a text, and in how many pieces.
struct Split {
  size_t threads, pieces;
};
// The split for a text of `size` bytes: one thread and one piece when the
// text is too small for two pieces.
GLM_INTERNAL Split splitFor(size_t size);
// Reads the model from `text` in `split.pieces` pieces; null (with nothing
// reported) when a piece cannot be read alone or anything fails: the read
// by one thread then decides.
GLM_INTERNAL GLMmodel* readPieces(const char* path, Text& text, const MtlSource& mtl, Split split,
                                  Unfound& missing);

}  // namespace read_detail

#endif  // CELSHADE_READ_SCAN_H
