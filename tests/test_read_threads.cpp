// The threads that read a text in pieces, under an address-space limit
// (ulimit -v): threads that cannot be started are done without, the
// threads leave no malloc arena behind, and a read in pieces gives what a
// read by one thread gives, the model or the same error. Each case runs in
// a child process of its own, which the limit cannot outlive. Also how
// much of the file the read keeps mapped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "glm_internal.h"
#include "reader.h"
#include "support/model_difference.h"
#include "support/reader_support.h"

namespace {

using reader_test::Outcome;
using reader_test::runChild;

// The sanitizers reserve terabytes of shadow memory and replace malloc: an
// address-space limit and malloc's arenas mean nothing under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The process's address space in bytes.
size_t addressSpace() {
  unsigned long pages = 0;
  if (FILE* f = fopen("/proc/self/statm", "r")) {
    if (fscanf(f, "%lu", &pages) != 1) pages = 0;
    fclose(f);
  }
  return pages * size_t(sysconf(_SC_PAGESIZE));
}

void limitAddressSpace(size_t bytes) {
  struct rlimit limit = {bytes, bytes};
  if (setrlimit(RLIMIT_AS, &limit) != 0) perror("setrlimit");
}

// About 12 MB of OBJ text: a grid's vertices, normals and texture
// coordinates, quads in four groups with two materials.
std::string gridText() {
  const int side = 300;
  std::string text = "mtllib m.mtl\n";
  char line[96];
  for (int y = 0; y < side; y++)
    for (int x = 0; x < side; x++) {
      snprintf(line, sizeof line, "v %d.25 %d.5 0.125\nvn 0 0 1\nvt 0.%03d 0.%03d\n", x, y, x, y);
      text += line;
    }
  for (int y = 0; y + 1 < side; y++) {
    if (y % 75 == 0)
      text += "g band" + std::to_string(y / 75) + (y % 150 ? "\nusemtl b\n" : "\nusemtl a\n");
    for (int x = 0; x + 1 < side; x++) {
      const int a = y * side + x + 1, b = a + 1, c = a + side + 1, d = a + side;
      snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c,
               c, d, d, d);
      text += line;
    }
  }
  return text;
}

reader_test::Libraries gLibraries = {{"m.mtl", "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 1 0\n"}};

// Reads the grid on `threads` threads (1: by one thread alone).
GLMmodel* readGrid(const std::string& text, unsigned threads, std::string& error) {
  setReadSplit(threads, size_t(1) << 20);
  char message[256] = "";
  GLMmodel* m = glmReadOBJText("t.obj", text.data(), text.size(), reader_test::libraryText,
                               &gLibraries, message, sizeof message);
  error = message;
  return m;
}

// Bytes of the arrays a model holds.
size_t arrayBytes(const GLMmodel* m) {
  return (size_t(m->vertexcount) + m->normalcount + 2) * 3 * sizeof(GLfloat) +
         (size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat) +
         size_t(m->trianglecount) * (sizeof(GLMtriangle) + sizeof(GLuint));
}

// In a child: reads the grid by one thread, limits the address space to
// what the process holds then plus `room(arrays)`, and reads the grid again
// by one thread, on eight threads and by one thread once more. Prints one
// line per read under the limit: "model" and whether it equals the first,
// or the error.
Outcome readsUnderLimit(size_t (*room)(size_t arrays)) {
  return runChild([room] {
    const std::string text = gridText();
    std::string error;
    GLMmodel* reference = readGrid(text, 1, error);
    if (!reference) return (void)printf("reference: %s\n", error.c_str());
    limitAddressSpace(addressSpace() + room(arrayBytes(reference)));
    for (unsigned threads : {1u, 8u, 1u}) {
      GLMmodel* m = readGrid(text, threads, error);
      if (m)
        printf("%u: model %s\n", threads,
               modelDifference(reference, m).empty() ? "same" : "differs");
      else
        printf("%u: %s\n", threads, error.c_str());
      if (m) glmDelete(m);
    }
    glmDelete(reference);
  });
}

TEST(ReadThreads, UnderAnAddressSpaceLimitPiecesGiveTheModelOneThreadGives) {
  if (kSanitized) GTEST_SKIP() << "no address-space limit under the sanitizers";
  // Room for the arrays and 32 MiB: less than one thread's malloc arena.
  Outcome o = readsUnderLimit([](size_t arrays) { return arrays + (size_t(32) << 20); });
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "1: model same\n8: model same\n1: model same\n");
}

TEST(ReadThreads, UnderAnAddressSpaceLimitPiecesGiveTheErrorOneThreadGives) {
  if (kSanitized) GTEST_SKIP() << "no address-space limit under the sanitizers";
  Outcome o = readsUnderLimit([](size_t arrays) { return arrays / 2; });
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "1: t.obj: out of memory\n8: t.obj: out of memory\n1: t.obj: out of memory\n");
}

// The number of malloc arenas in the process.
int arenas() {
  char* info = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&info, &size);
  malloc_info(0, f);
  fclose(f);
  int count = 0;
  for (const char* p = info; (p = strstr(p, "<heap nr=")); p++) count++;
  free(info);
  return count;
}

TEST(ReadThreads, PieceThreadsLeaveNoMallocArenaBehind) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers replace malloc";
  Outcome o = runChild([] {
    const std::string text = gridText();
    const int before = arenas();
    std::string error;
    for (unsigned threads : {4u, 8u}) glmDelete(readGrid(text, threads, error));
    printf("%d more\n", arenas() - before);
  });
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "0 more\n");
}

TEST(ReadThreads, WorkIsDoneByTheCallerWhenNoThreadCanBeStarted) {
  if (kSanitized) GTEST_SKIP() << "no address-space limit under the sanitizers";
  Outcome o = runChild([] {
    struct Taken {
      std::mutex lock;
      std::set<pthread_t> takers;
      int done = 0;
    } taken;
    auto work = [](void* context, size_t) {
      auto* t = static_cast<Taken*>(context);
      std::lock_guard<std::mutex> hold(t->lock);
      t->takers.insert(pthread_self());
      t->done++;
    };
    limitAddressSpace(addressSpace() + (size_t(256) << 10));  // no room for a thread's stack
    runOnThreads(100, 8, work, &taken);
    printf("%d done, %s\n", taken.done,
           taken.takers == std::set<pthread_t>{pthread_self()} ? "by the caller" : "by others");
  });
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, "100 done, by the caller\n");
}

// Kilobytes of the file `path` this process has mapped in.
long mappedKiB(const std::string& path) {
  long kib = 0;
  bool inFile = false;
  char line[512];
  FILE* f = fopen("/proc/self/smaps", "r");
  while (f && fgets(line, sizeof line, f)) {
    const size_t n = strlen(line), word = strcspn(line, " ");
    if (word > 0 && line[word - 1] == ':') {  // a field of the mapping above
      if (inFile && strncmp(line, "Rss:", 4) == 0) kib += atol(line + 4);
      continue;
    }
    inFile = n > path.size() + 1 && line[n - 1] == '\n' &&
             path.compare(0, path.size(), line + n - 1 - path.size(), path.size()) == 0;
  }
  if (f) fclose(f);
  return kib;
}

std::string gFile;
int gRuns = 0;
long gMapped[2] = {-1, -1};  // before storing, after storing

TEST(ReadThreads, PiecesLeaveHardlyAnyOfTheFileMapped) {
  // A page of a mapped file faulted in can map a piece of the file around
  // it: the pieces are cut and counted, their last bytes too, through
  // copies, and once the pieces on both sides of a cut are stored what was
  // mapped around it is handed back. Indented, the lines are counted and
  // stored statement by statement through the mapping, and each piece's
  // pages are handed back once it is counted and once it is stored.
  for (const char* indent : {"", "\t"}) {
    std::string text;  // no group or library statement, read through the mapping
    char line[96];
    for (int i = 1; i <= 20000; i++) {
      snprintf(line, sizeof line, "%sv %d.5 0.25 -%d.125\nvn 0 0 1\n", indent, i, i % 7);
      text += line;
    }
    for (int i = 1; i + 2 <= 20000; i++) {
      snprintf(line, sizeof line, "%sf %d//%d %d//%d %d//%d\n", indent, i, i, i + 1, i + 1, i + 2,
               i + 2);
      text += line;
    }
    reader_test::TempDir dir;
    gFile = dir.write("t.obj", text);
    gRuns = 0;
    setReadSplit(4, size_t(64) << 10);
    setPieceRunner([](size_t count, size_t, void (*work)(void*, size_t), void* context) {
      if (gRuns == 1) gMapped[0] = mappedKiB(gFile);
      for (size_t i = 0; i < count; i++) work(context, i);
      if (gRuns == 1) gMapped[1] = mappedKiB(gFile);
      gRuns++;
    });
    GLMmodel* m = glmReadOBJ(gFile.c_str());
    setPieceRunner(nullptr);
    setReadSplit(0, 0);
    ASSERT_TRUE(m) << indent;
    EXPECT_EQ(m->trianglecount, 19998u) << indent;
    EXPECT_EQ(gRuns, 2) << indent;  // counted, then stored, in pieces
    EXPECT_EQ(gMapped[0], 0) << indent;
    EXPECT_LE(gMapped[1], 4) << indent << gMapped[1];  // the text's last page, read where it ends
    glmDelete(m);
  }
}

TEST(ReadThreads, AFaultInAMappedFileMapsOnlyThePagesAroundIt) {
  // A thread that waits for a CPU after a fault in the text's mapping keeps
  // what the fault mapped: not the whole 2 MiB of the page cache around it.
  std::string bytes(size_t(24) << 20, '#');
  reader_test::TempDir dir;
  const std::string path = dir.write("t.obj", bytes);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  // Cached as a read from disk caches it: in large pieces, further on.
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  for (char buffer[1 << 16]; read(fd, buffer, sizeof buffer) > 0;) {
  }
  const size_t at = (size_t(20) << 20) + 12345;
  // A plain mapping tells how the file is cached.
  void* plain = mmap(nullptr, bytes.size(), PROT_READ, MAP_PRIVATE, fd, 0);
  ASSERT_NE(plain, MAP_FAILED);
  EXPECT_EQ(static_cast<volatile const char*>(plain)[at], '#');
  const long plainKiB = mappedKiB(path);
  munmap(plain, bytes.size());
  close(fd);
  if (plainKiB < 2048) GTEST_SKIP() << "one fault maps " << plainKiB << " KiB here";
  read_detail::Text text;
  ASSERT_EQ(read_detail::loadFile(path.c_str(), text), read_detail::Load::Ok);
  ASSERT_NE(text.map, nullptr);
  EXPECT_EQ(static_cast<volatile const char*>(text.data)[at], '#');
  EXPECT_LE(mappedKiB(path), 256);
}

}  // namespace
