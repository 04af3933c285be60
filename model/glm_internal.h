// Internal to the model library: what two or more of its files share, and the
// hooks the tests reach. Never installed.
#ifndef CELSHADE_GLM_INTERNAL_H
#define CELSHADE_GLM_INTERNAL_H

#include "glm.h"

#include <stddef.h>
#include <stdio.h>

#include <string>
#include <string_view>

#define GLM_INTERNAL __attribute__((visibility("hidden")))

// ---- Assertions -------------------------------------------------------------

// Caller errors abort in every build type, Release included. The report has
// the C library's shape and names the library's source as glm.cpp, then the
// file and line within it: "prog: glm.cpp: draw.cpp:57: glmDraw: Assertion
// `model' failed."
[[noreturn]] GLM_INTERNAL void assertionFailed(const char* expression, const char* file,
                                               unsigned line, const char* function) noexcept;
#define GLM_ASSERT(expr) \
  ((expr) ? (void)0 : assertionFailed(#expr, __FILE_NAME__, __LINE__, __func__))

// ---- Allocation and strings -------------------------------------------------

// malloc(count * size) that never returns null: an overflowing size or a
// failed allocation prints "glm: out of memory" with the size on standard
// error and ends the process with exit status 1.
GLM_INTERNAL void* allocArray(size_t count, size_t size);
// A malloc'ed C string holding `name`; null when out of memory.
GLM_INTERNAL char* copyName(std::string_view name);
// The same, never null (allocArray rules).
GLM_INTERNAL char* copyString(const char* s);
// The directory part of `path`: cut just after its last '/', or empty when
// it has none ("models/cow.obj" gives "models/").
GLM_INTERNAL std::string glmDirName(const char* path);
// `name` in the directory of `path`: glmDirName(path) followed by name.
GLM_INTERNAL std::string pathBeside(const char* path, std::string_view name);

// b when b > a, else a (ties give a).
GLM_INTERNAL GLfloat glmMax(GLfloat a, GLfloat b);
// -f when f < 0, else f.
GLM_INTERNAL GLfloat glmAbs(GLfloat f);

// ---- Texture maps -----------------------------------------------------------

// True for the keywords of statements that name an image after their
// options: map_Kd, map_Ka, map_Bump and every other "map_" keyword but
// map_aat, and bump, disp, decal, norm, refl.
GLM_INTERNAL bool isMapKeyword(std::string_view keyword);
// Splits the rest of a map statement after its keyword: the options (-s,
// -o, -t with one to three numbers, -mm with one or two, -bm, -boost with
// one, -clamp, -blendu, -blendv, -cc, -texres, -imfchan, -type with one
// word), as written, and the image name after them up to the line's end,
// trailing blanks left out, backslashes turned into '/' and leading "./"
// dropped.
// False when no name follows the options.
GLM_INTERNAL bool splitMapStatement(std::string_view rest, std::string_view& options,
                                    std::string& image);
// The image name as a program opens it: absolute names as they are, others
// in the folder of the MTL file `library` (as they are without one).
GLM_INTERNAL std::string resolveMapName(const char* library, const std::string& image);
// The name that finds `path` (relative to the working folder, or absolute)
// from `folder` (the same; "" is the working folder): a relative one, with
// ".." where it climbs, unless the two share no folder but the root (and
// are not both relative); then `path` made absolute. Folders are told by
// their names, not by where links lead.
GLM_INTERNAL std::string nameFromFolder(const std::string& folder, const std::string& path);
// True when the two folder names name the same folder by the same rule.
GLM_INTERNAL bool sameFolder(const std::string& a, const std::string& b);

// ---- Messages ---------------------------------------------------------------

// Formats one warning line (no newline) and hands it to the message handler,
// or prints it with its newline on `stream` when there is none.
GLM_INTERNAL void emitMessage(FILE* stream, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// ---- Failures ---------------------------------------------------------------

// Why a read or a write failed. A file that cannot be opened and an unknown
// keyword keep the classic messages that glmReadOBJ and glmWriteOBJ print
// before ending the process; every other failure prints its message.
enum class Fail { OpenObj, OpenMtl, UnknownToken, Other };

struct Failure {
  Fail kind = Fail::Other;
  std::string subject;  // the file or keyword a classic message names
  std::string message;  // "file:line: what went wrong", as the caller gets it
  int code = 0;         // errno of a file that could not be opened
};

// The function whose messages a failure ends the process with.
enum class FailingCall { Read, Write };

// Copies the failure's message into the caller's buffer of `size` bytes,
// NUL-terminated and cut to fit; nothing without a buffer.
GLM_INTERNAL void copyMessage(const Failure& failure, char* buffer, size_t size);
// Prints the message glmReadOBJ or glmWriteOBJ gives for the failure (on
// standard error; an unknown token on standard output) and ends the process
// with exit status 1.
[[noreturn]] GLM_INTERNAL void exitWithFailure(const Failure& failure, FailingCall call);

// ---- Models -----------------------------------------------------------------

// Settles a draw or write mode against what the model holds: drops a flag
// whose array is missing, then flat under smooth and colour under material,
// in that order, emitting "<who>() warning: <warnings[k]>" (standard output)
// for every check k that fires. Only the presence of an array counts.
GLM_INTERNAL GLuint resolveMode(const GLMmodel* model, GLuint mode, const char* who,
                                const char* const warnings[7]);

// Frees the strings a material owns: its name, maps, statements and library.
GLM_INTERNAL void freeMaterialStrings(GLMmaterial& material);

// Index of the first material named `name`, when there is one.
GLM_INTERNAL bool findMaterial(const GLMmodel* model, const char* name, GLuint& index);
// The message glmFindMaterial prints for a name it cannot find.
GLM_INTERNAL void reportMissingMaterial(const char* name);

// True when |u - v| < epsilon in x, y and z (tested in that order).
GLM_INTERNAL GLboolean glmEqual(GLfloat* u, GLfloat* v, GLfloat epsilon);

// ---- The operating system ---------------------------------------------------

// Room for `count` items of `size` bytes (allocArray rules), on 2 MiB pages
// where the system grants them; released with free().
GLM_INTERNAL void* allocTable(size_t count, size_t size);
// malloc(bytes), except that an array of 1 MiB or more starts and ends on a
// 2 MiB step and is advised onto huge pages whole: none of its pages is
// then faulted in 4 KiB at a time (the part-used huge page at its end, less
// than the array itself, costs less than the 4 KiB faults it spares). Null
// when memory runs out; released with free().
GLM_INTERNAL void* allocHugePages(size_t bytes);
// realloc(p, bytes) for an array from allocHugePages (or null) whose first
// `held` bytes are in use, by the same rules: an array of 1 MiB or more ends
// on a 2 MiB step and is advised onto huge pages. Growing up to 32 MiB, it
// moves to a new allocation that starts on a 2 MiB step (copying costs less
// than faulting in 4 KiB pages of a moved array's part-used 2 MiB steps);
// beyond, the system moves its pages without copying, so that growing
// never holds a large array twice. Null when memory runs out, with p left
// as it was.
GLM_INTERNAL void* growHugePages(void* p, size_t held, size_t bytes);
// True when `file` is a regular file; then `left` is the number of bytes
// after its position (0 when the position is past the end).
GLM_INTERNAL bool bytesLeft(FILE* file, size_t& left);

// `bytes` of pages mapped straight from the system, or null; given back
// with unmapPages(pages, bytes). Small mappings given back are kept for the
// next calls (a few, 1 MiB at most), so they may hold old bytes: a read of a
// small text then maps, faults in and unmaps nothing.
GLM_INTERNAL void* mapPages(size_t bytes);
GLM_INTERNAL void unmapPages(void* pages, size_t bytes);
// The CPUs the process may run on (at least 1).
GLM_INTERNAL unsigned processorCount();
// True when the process runs under a limit on its address space or its
// data (ulimit -v, ulimit -d): a read then holds no more than it must.
GLM_INTERNAL bool memoryLimited();
// The window a mapped file's text is read through with pread: `bytes`
// (0: the reader's own, 256 KiB; fewer than 768 count as 768). A window
// set here also copies texts read from memory, so that tests and fuzzers
// put its edges anywhere.
GLM_INTERNAL void setReadWindow(size_t bytes);

// Runs work(context, i) for every i < count on at most `threads` threads,
// the caller's among them, each taking the next i in turn, and returns when
// all are done. A thread that cannot be started (no memory for its stack,
// no thread to be had) is done without, down to the caller's alone. The
// threads allocate nothing of their own beyond their stacks, which are
// unmapped when they end.
GLM_INTERNAL void runOnThreads(size_t count, size_t threads, void (*work)(void*, size_t),
                               void* context);

// A file written under a temporary name in its target's folder and renamed
// over the target by commit(), so that the target is either the whole new
// file or the old one. Dropped (closed and removed) unless committed.
// The temporary name is short and of fixed length (".celshade-XXXXXX"), and
// is made and renamed relative to the folder, so any target whose name fits
// can be replaced. A symbolic link is followed to the end of its chain: the
// file it names is replaced, or created when the link dangles, and the link
// stays. A target that exists and is not a regular file (a device, a pipe)
// is written directly.
class GLM_INTERNAL Replacement {
 public:
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement();

  // Creates the file to write; false with errno set when it cannot (ELOOP
  // for a chain of links that does not end).
  bool create(const char* target);
  // Writes all n bytes; false with errno set when they could not be.
  bool write(const char* p, size_t n);
  // Closes the file; false with errno set when that fails.
  bool close();
  // Renames the written and closed file over its target.
  bool commit();

 private:
  std::string base_;  // the target's name within its folder
  std::string temp_;  // the temporary's name there; empty when writing the target directly
  int folder_ = -1;   // the target's folder while a temporary exists
  int fd_ = -1;
};

// ---- Test hooks -------------------------------------------------------------

// u . v, added in the order x, y, z. Asserts u, v.
GLM_INTERNAL GLfloat glmDot(GLfloat* u, GLfloat* v);
// n = u x v; n must not overlap u or v. Asserts u, v, n.
GLM_INTERNAL GLvoid glmCross(GLfloat* u, GLfloat* v, GLfloat* n);
// Divides v by its length (square root taken in double, rounded to float).
// Asserts v.
GLM_INTERNAL GLvoid glmNormalize(GLfloat* v);

// How the reader reads a text: as glmReadOBJText does (in pieces, or in one
// pass, else in two counting lines by their first bytes first, starting
// over statement by statement when that count proves wrong); in two passes
// counting statement by statement only (the reference the others are
// tested against); in two counting lines only, failing with "lines
// miscounted" where the read would start over; in one pass only, failing
// with "not read in one pass" where the read would go on in two; in pieces
// only (see setReadSplit), failing with "not read in pieces" where the
// read would go back to one thread.
enum {
  GLM_COUNT_LINES_FIRST,
  GLM_COUNT_STATEMENTS,
  GLM_COUNT_LINES_ONLY,
  GLM_ONE_PASS_ONLY,
  GLM_PIECES_ONLY
};

// glmReadOBJTextWith (flags 0: glmReadOBJText) with the first pass's way of
// counting chosen. Asserts a known `counting`.
GLM_INTERNAL GLMmodel* readObjTextCounting(const char* path, const char* text, size_t length,
                                           GLMmtlsource mtl, void* user, char* error,
                                           size_t errorsize, int counting, GLuint flags = 0);

// How the reader cuts a large text into pieces read on several threads: at
// most `threads` threads (0: CELSHADE_READ_THREADS, or else the CPUs the
// process may run on), a few pieces each, none smaller than `smallest`
// bytes (0: the reader's own smallest). Small pieces let tests cut small
// texts anywhere.
GLM_INTERNAL void setReadSplit(unsigned threads, size_t smallest);

// Runs work(context, i) for every i < count on at most `threads` threads,
// the caller's among them, and returns when all are done.
typedef void (*PieceRunner)(size_t count, size_t threads, void (*work)(void*, size_t),
                            void* context);
// Makes the reader run its pieces through `runner` instead of starting
// threads of its own for every read (null: its own again). A fuzzer keeps
// its threads between reads this way.
GLM_INTERNAL void setPieceRunner(PieceRunner runner);

#endif  // CELSHADE_GLM_INTERNAL_H
