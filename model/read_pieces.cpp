// Reading a large OBJ text in pieces on several threads.
//
// A large text is cut at line starts into pieces, a few per thread, which
// the threads take in turn: pieces differ in cost (faces store more than
// coordinates), and a thread done early takes the next. Each piece is
// counted by lines (statement by statement where its lines cannot be
// counted so), noting its group, library and material lines; these
// are then taken in file order (creating the groups in the same order and
// reading the libraries), which gives every piece its first numbers in each
// array and in each group's list, and the group and material in force at
// its start. Each piece then stores its part straight into the model's
// arrays, which were allocated but not touched, so that their pages fault in
// on the thread that fills them. A piece that cannot be read alone (a count
// by lines gone wrong, a statement going on past its end, a group or
// material at its end other than the next piece assumed) sends the whole
// read back to one thread, which alone then decides the model or the error.
//
// Threads that cannot be started are done without, and the piece threads
// never call malloc or free (see PageAllocator): under a limit on the
// address space the read in pieces needs hardly more than the read by one
// thread, and what it held is given back before that read, if it comes.
#include "read_lex.h"
#include "read_scan.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace read_detail {
namespace {

// Pieces no smaller than this: below, threads cost more than they save.
constexpr size_t kSmallestPiece = size_t(2) << 20;
// Pieces per thread, when the text is large enough.
constexpr size_t kPiecesPerThread = 4;
constexpr GLuint kUnset = UINT32_MAX;  // no material index reaches this
// Room for a piece's group, library and material lines before its thread
// maps more: one page.
constexpr size_t kFirstMarks = 4096 / sizeof(LineMark);

std::atomic<unsigned> splitThreads{0};
std::atomic<size_t> splitSmallest{0};

// CELSHADE_READ_THREADS when it holds a positive number, else the CPUs the
// process may run on.
unsigned defaultThreads() {
  if (const char* env = getenv("CELSHADE_READ_THREADS")) {
    char* rest = nullptr;
    unsigned long n = strtoul(env, &rest, 10);
    if (rest != env && *rest == '\0' && n >= 1) return unsigned(std::min(n, 256ul));
  }
  return processorCount();
}

// A group's triangles within one piece: the first's place in its list, and
// how many.
struct GroupShare {
  GroupSlot* slot;
  uint64_t first, count;
};

struct Piece {
  const char* begin = nullptr;
  const char* stop = nullptr;
  bool ok = false;
  // Counted: vertices, normals, texture coordinates, triangles, and the
  // group, library and material lines.
  uint64_t counts[4] = {0, 0, 0, 0};
  LineMarks marks;
  // Placed: the numbers before the piece, the group and material in force
  // at its start, the groups it stores into.
  uint64_t first[4] = {0, 0, 0, 0};
  GroupSlot* group = nullptr;
  const char* use = nullptr;  // the material line in force at the start
  GLuint material = 0;
  std::vector<GroupShare> shares;
};

// The first line start at or after `at` (within the text, past its first
// byte). A mapped file is read with pread, not through the mapping: a page
// of the mapping faulted in can map a large piece of the file with it
// (a folio of the page cache), resident until its piece is read.
const char* lineStartFrom(const Text& text, const char* at) {
  char buffer[4096];
  for (const char* p = at - 1; p < text.end();) {
    const size_t n = text.readAt(p, buffer, sizeof buffer);
    if (const void* nl = memchr(buffer, '\n', n))
      return p + (static_cast<const char*>(nl) - buffer) + 1;
    p += n;
  }
  return text.end();
}

// Cuts the text at line starts into at most `count` pieces of about the
// same size.
std::vector<Piece> cutPieces(const Text& text, size_t count) {
  std::vector<Piece> pieces;
  const char* begin = text.data;
  for (size_t i = 1; i <= count && begin < text.end(); i++) {
    const char* stop = text.data + text.size / count * i + text.size % count * i / count;
    if (i == count) stop = text.end();
    if (stop <= begin) continue;
    stop = lineStartFrom(text, stop);
    pieces.emplace_back();
    pieces.back().begin = begin;
    pieces.back().stop = stop;
    begin = stop;
  }
  return pieces;
}

std::atomic<PieceRunner> pieceRunner{nullptr};

// Runs work(i) for every i < n on `threads` threads (a test's, or the
// reader's own), the caller's among them, each taking the next i in turn;
// on fewer when no more threads can be had.
template <class Work>
void runPieces(size_t n, size_t threads, Work work) {
  PieceRunner runner = pieceRunner.load();
  (runner ? runner : runOnThreads)(
      n, threads, [](void* context, size_t i) { (*static_cast<Work*>(context))(i); }, &work);
}

// The scan of one piece: a view of the text and an error of its own (a
// piece's failure only sends the read back to one thread). Its thread
// neither allocates nor frees through malloc (see PageAllocator): a scan
// that stores is made and unmade by the reading thread, which gives it all
// it reads from.
struct PieceScan {
  Text text;
  Failure error;
  ObjScan s;
  std::vector<GLMgroup> standIns;  // storing: the piece's parts of the groups' lists
  PieceScan(ObjScan& whole, const Piece& piece)
      : text(whole.text, piece.begin), s(whole.model, text, whole.mtl, error) {
    s.begin = piece.begin;
    s.stop = piece.stop;
    s.quiet = true;
  }
};

// Counts a piece by lines, noting its group, library and material lines;
// statement by statement where its lines cannot be counted so (an
// indented keyword, a lone carriage return, ...).
void countPiece(ObjScan& whole, Piece& piece) try {
  PieceScan scan(whole, piece);
  ObjScan& s = scan.s;
  s.lineMarks = &piece.marks;
  piece.ok = countLines(s);
  if (!piece.ok) {
    piece.marks.clear();
    piece.ok = countStatements(s);
    // Read through the mapping: its pages go back until the piece is
    // stored, so that the text is never resident as a whole.
    scan.text.releaseBefore(piece.stop);
  }
  const uint64_t counts[4] = {s.vertices, s.normals, s.texcoords, s.triangles};
  std::copy(counts, counts + 4, piece.counts);
} catch (const std::exception&) {
  piece.ok = false;
}

// Takes the pieces' noted lines in file order: creates the groups, reads
// the libraries, places every piece and sizes the model. False when a
// piece could not be counted by lines or a statement fails.
bool placePieces(ObjScan& s, std::vector<Piece>& pieces) {
  s.group = s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup) return s.failFile("out of memory");
  GroupSlot* group = s.group;
  const char* use = nullptr;
  uint64_t next[4] = {0, 0, 0, 0};
  for (Piece& piece : pieces) {
    if (!piece.ok) return false;
    piece.group = group;
    piece.use = use;
    for (int k = 0; k < 4; k++) piece.first[k] = next[k], next[k] += piece.counts[k];
    std::unordered_map<GroupSlot*, size_t> shareOf;
    for (const LineMark& mark : piece.marks) {
      auto found = shareOf.emplace(group, piece.shares.size());
      if (found.second) piece.shares.push_back(GroupShare{group, group->count, 0});
      piece.shares[found.first->second].count += mark.triangles;
      group->count += mark.triangles;
      if (!mark.keyword) break;
      const char* p = skipWord(mark.keyword, s.text.end());
      s.statement = mark.keyword;
      if (*mark.keyword == 'g') {
        if (!(group = countGroup(s, mark.keyword, p))) return false;
      } else if (*mark.keyword == 'm') {
        if (!countLibrary(s, mark.keyword, p)) return false;
      } else {
        use = mark.keyword;
      }
    }
  }
  s.statement = s.text.data;
  s.vertices = next[0];
  s.normals = next[1];
  s.texcoords = next[2];
  s.triangles = next[3];
  // Materials are found in the last library read, as the storing pass finds them.
  const char* const end = s.text.end();
  for (Piece& piece : pieces) {
    if (!piece.use) continue;
    const char* p = skipWord(piece.use, end);
    const char* stop = p < end ? s.lineEnd(p) : end;
    if (!s.findMaterial(firstWord(p, stop), piece.material)) piece.material = 0;
  }
  return sizeModel(s);
}

// The scan that stores a piece into the model's arrays, ready to run: its
// groups are stand-ins that point into the real groups' lists at the
// piece's places.
std::unique_ptr<PieceScan> storingScan(ObjScan& whole, const Piece& piece) {
  auto scan = std::make_unique<PieceScan>(whole, piece);
  ObjScan& s = scan->s;
  scan->standIns.reserve(piece.shares.size());
  for (const GroupShare& share : piece.shares) {
    GLMgroup* g = share.slot->group;
    scan->standIns.push_back(GLMgroup{g->name, 0, g->triangles + share.first, kUnset, nullptr});
    s.groups.emplace(std::string_view(g->name), GroupSlot{&scan->standIns.back(), share.count});
  }
  s.group = &s.groups.find(piece.group->group->name)->second;
  s.material = piece.material;
  std::copy(piece.first, piece.first + 4, s.first);
  s.vertices = piece.first[0] + piece.counts[0];
  s.normals = piece.first[1] + piece.counts[1];
  s.texcoords = piece.first[2] + piece.counts[2];
  s.triangles = piece.first[3] + piece.counts[3];
  for (const LineMark& mark : piece.marks)
    if (mark.keyword && *mark.keyword != 'u') s.marks.push_back(mark.keyword);
  s.indexMaterials();
  return scan;
}

// Stores a piece into the model's arrays.
void storePiece(PieceScan& scan, Piece& piece) try {
  piece.ok = glmSecondPass(scan.s);
  // The piece's text is not read again: hand its pages back now, not when
  // the last piece is done, so that the text is never resident as a whole.
  scan.text.releaseBefore(piece.stop);
} catch (const std::exception&) {
  piece.ok = false;
}

// Checks that every piece stored what was counted and ended in the group
// and material the next one assumed; then completes the groups, gives them
// the materials the pieces found and gathers what the pieces passed over
// and the materials not found, in file order.
bool finishPieces(ObjScan& s, std::vector<Piece>& pieces,
                  const std::vector<std::unique_ptr<PieceScan>>& scans, Unfound& missing) {
  for (size_t k = 0; k < pieces.size(); k++) {
    if (!pieces[k].ok) return false;
    const ObjScan& end = scans[k]->s;
    if (k + 1 < pieces.size() && (end.group->group->name != pieces[k + 1].group->group->name ||
                                  end.material != pieces[k + 1].material))
      return false;
  }
  for (auto& named : s.groups) named.second.group->trianglecount = GLuint(named.second.count);
  for (size_t k = 0; k < pieces.size(); k++) {
    const PieceScan& scan = *scans[k];
    for (size_t i = 0; i < scan.standIns.size(); i++)
      if (scan.standIns[i].material != kUnset)
        pieces[k].shares[i].slot->group->material = scan.standIns[i].material;
    missing.materials.insert(missing.materials.end(), scan.s.missingMaterials.begin(),
                             scan.s.missingMaterials.end());
    s.passedOver.add(scan.s.passedOver);
  }
  missing.libraries = std::move(s.missingLibraries);
  s.passedOver.describe(s.model->path, s.text, missing.passedOver);
  return true;
}

}  // namespace

Split splitFor(size_t size) {
  const unsigned threads = splitThreads.load() ? splitThreads.load() : defaultThreads();
  const size_t smallest = splitSmallest.load() ? splitSmallest.load() : kSmallestPiece;
  const size_t pieces = std::min<size_t>(threads * kPiecesPerThread, size / smallest);
  if (threads < 2 || pieces < 2) return Split{1, 1};
  return Split{std::min<size_t>(threads, pieces), pieces};
}

GLMmodel* readPieces(const char* path, Text& text, const MtlSource& mtl, Split split,
                     Unfound& missing) {
  Failure error;
  GLMmodel* model = newModel(path, error);
  if (!model) return nullptr;
  bool ok = false;
  try {
    std::vector<Piece> pieces = cutPieces(text, split.pieces);
    ObjScan scan{model, text, mtl, error};
    scan.statement = text.data;
    for (Piece& piece : pieces) piece.marks.reserve(kFirstMarks);
    runPieces(pieces.size(), split.threads, [&](size_t i) { countPiece(scan, pieces[i]); });
    // What faults mapped across the pieces' ends goes back before storing.
    text.releaseAll();
    ok = placePieces(scan, pieces) && allocateArrays(scan);
    std::vector<std::unique_ptr<PieceScan>> scans;
    for (size_t i = 0; ok && i < pieces.size(); i++) scans.push_back(storingScan(scan, pieces[i]));
    // Pieces done on both sides of a cut: the second to finish hands back
    // what faults near the cut mapped on either side.
    std::vector<std::atomic<int>> sidesDone(pieces.size());
    auto sideDone = [&](size_t cut) {
      if (sidesDone[cut].fetch_add(1) == 1) text.releaseAround(pieces[cut].begin);
    };
    if (ok)
      runPieces(pieces.size(), split.threads, [&](size_t i) {
        storePiece(*scans[i], pieces[i]);
        if (i > 0) sideDone(i);
        if (i + 1 < pieces.size()) sideDone(i + 1);
      });
    ok = ok && finishPieces(scan, pieces, scans, missing);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  text.releaseAll();
  if (ok) return model;
  glmDelete(model);
  missing = Unfound{};
  return nullptr;
}

}  // namespace read_detail

void setPieceRunner(PieceRunner runner) { read_detail::pieceRunner = runner; }

void setReadSplit(unsigned threads, size_t smallest) {
  read_detail::splitThreads = threads;
  read_detail::splitSmallest = smallest;
}
