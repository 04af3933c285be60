// bench_read: glmReadOBJ against a plain stdio two-pass reader, Debian's
// tinyobjloader (when built with it) and streaming the file, on a generated
// OBJ of about one million vertices (v, vt, vn, quads in the v/t/n form,
// groups, materials, one material library), and the lenient reading
// (GLM_READ_LENIENT) beside the classic one.
//
//   bench_read [file.obj]     default: $TMPDIR/celshade-bench/bench_read.obj
//
// The file is generated once from a fixed seed and reused while its size and
// hash match the stamp written beside it, and put into the page cache as
// a read from disk puts it (see recache). The readers run three times
// (BENCH_READ_RUNS=n: n times), alternating, after one round that is shown
// but not counted (the machine's memory comes in during it); the best time
// of each is compared, and the spread of the classic and lenient
// reads shown; every reader's time is also given as a share of
// tinyobjloader's in the same runs, the peer measured side by side.
// Peak resident memory of glmReadOBJ is measured in freshly started child
// processes (the environment's thread count, and 64 threads), so that
// nothing the benchmark itself holds is counted; the first read of a fresh
// process (one thread, all threads) is timed the same way. The
// baseline is the formatted-stdio reader of tests/support/stdio_reader.h.
// Fixed work that reads nothing, timed in every round on every CPU, shows
// how steady the machine itself is (see MachineWork).
#include <glm.h>
#include <glm_internal.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/model_difference.h"
#include "support/stdio_reader.h"

#ifdef CELSHADE_BENCH_TINYOBJ
#include <tiny_obj_loader.h>
#endif

namespace {

// ---- Deterministic generator ----------------------------------------------

// Bump this whenever the generated text changes, so stale files are replaced.
const char kGeneratorVersion[] = "bench_read generator 1";
const int kGridX = 1000, kGridY = 1000;  // vertices per side
const int kBands = 4;                    // groups; the last uses relative indices
const char kMtlName[] = "bench_read.mtl";

// splitmix64: the same sequence on every platform and library version.
struct Rng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1) with 24 bits, exact in float and double.
  double unit() { return double(next() >> 40) * (1.0 / 16777216.0); }
};

// Buffered writer that hashes (FNV-1a 64) everything it writes.
struct Out {
  FILE* file;
  std::vector<char> buf = std::vector<char>(1 << 20);
  size_t used = 0;
  uint64_t hash = 0xcbf29ce484222325ull;
  uint64_t size = 0;

  void flush() {
    for (size_t i = 0; i < used; i++) hash = (hash ^ (unsigned char)buf[i]) * 0x100000001b3ull;
    if (fwrite(buf.data(), 1, used, file) != used) {
      perror("bench_read: write");
      exit(1);
    }
    size += used;
    used = 0;
  }
  void room(size_t n) {
    if (used + n > buf.size()) flush();
  }
  void text(const char* s) {
    size_t n = strlen(s);
    room(n);
    memcpy(&buf[used], s, n);
    used += n;
  }
  void integer(long v) {
    room(24);
    used = size_t(std::to_chars(&buf[used], &buf[used] + 24, v).ptr - buf.data());
  }
  // "%.<digits>f" of a float widened to double, as exporters write them.
  void number(float v, int digits) {
    room(48);
    used += size_t(snprintf(&buf[used], 48, " %.*f", digits, double(v)));
  }
};

uint64_t hashFile(const char* path, uint64_t* size) {
  FILE* f = fopen(path, "rb");
  if (!f) return 0;
  std::vector<unsigned char> buf(1 << 20);
  uint64_t hash = 0xcbf29ce484222325ull;
  *size = 0;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) {
    for (size_t i = 0; i < n; i++) hash = (hash ^ buf[i]) * 0x100000001b3ull;
    *size += n;
  }
  fclose(f);
  return hash;
}

void writeMtl(const std::string& path) {
  FILE* f = fopen(path.c_str(), "w");
  if (!f) {
    perror(path.c_str());
    exit(1);
  }
  fputs("# celshade benchmark materials\n", f);
  const float colours[3][3] = {{0.8f, 0.2f, 0.1f}, {0.1f, 0.6f, 0.2f}, {0.2f, 0.3f, 0.9f}};
  for (int m = 0; m < 3; m++) {
    fprintf(f, "\nnewmtl mat%d\nNs %f\nKa 0.100000 0.100000 0.100000\n", m, 100.0 + 200 * m);
    fprintf(f, "Kd %f %f %f\n", colours[m][0], colours[m][1], colours[m][2]);
    fputs("Ks 0.500000 0.500000 0.500000\nd 1.000000\nillum 2\n", f);
  }
  fclose(f);
}

// Height of the displaced grid: a few smooth bumps plus fine noise.
struct Terrain {
  std::vector<float> height;
  float at(int i, int j) const { return height[size_t(j) * kGridX + i]; }
  static float coord(int i, int n) { return float(-10.0 + 20.0 * i / (n - 1)); }

  Terrain() : height(size_t(kGridX) * kGridY) {
    Rng rng{20261207};
    double bx[16], by[16], br[16], ba[16];
    for (int k = 0; k < 16; k++) {
      bx[k] = rng.unit() * 20 - 10;
      by[k] = rng.unit() * 20 - 10;
      br[k] = 1 + rng.unit() * 3;
      ba[k] = rng.unit() * 3 - 1.5;
    }
    for (int j = 0; j < kGridY; j++)
      for (int i = 0; i < kGridX; i++) {
        double x = coord(i, kGridX), y = coord(j, kGridY), h = 0;
        for (int k = 0; k < 16; k++) {
          double dx = x - bx[k], dy = y - by[k];
          h += ba[k] / (1 + (dx * dx + dy * dy) / (br[k] * br[k]));
        }
        height[size_t(j) * kGridX + i] = float(h + 0.01 * rng.unit());
      }
  }
};

void writeObj(const std::string& path) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    perror(path.c_str());
    exit(1);
  }
  Out out{f};
  Terrain terrain;
  out.text("# celshade benchmark grid\nmtllib ");
  out.text(kMtlName);
  out.text("\no grid\n");
  for (int j = 0; j < kGridY; j++)
    for (int i = 0; i < kGridX; i++) {
      out.text("v");
      out.number(Terrain::coord(i, kGridX), 6);
      out.number(Terrain::coord(j, kGridY), 6);
      out.number(terrain.at(i, j), 6);
      out.text("\n");
    }
  for (int j = 0; j < kGridY; j++)
    for (int i = 0; i < kGridX; i++) {
      out.text("vt");
      out.number(float(double(i) / (kGridX - 1)), 6);
      out.number(float(double(j) / (kGridY - 1)), 6);
      out.text("\n");
    }
  const double step = 20.0 / (kGridX - 1);
  for (int j = 0; j < kGridY; j++)
    for (int i = 0; i < kGridX; i++) {
      int i0 = std::max(i - 1, 0), i1 = std::min(i + 1, kGridX - 1);
      int j0 = std::max(j - 1, 0), j1 = std::min(j + 1, kGridY - 1);
      double nx = -(terrain.at(i1, j) - terrain.at(i0, j)) / ((i1 - i0) * step);
      double ny = -(terrain.at(i, j1) - terrain.at(i, j0)) / ((j1 - j0) * step);
      double len = std::sqrt(nx * nx + ny * ny + 1);
      out.text("vn");
      out.number(float(nx / len), 4);
      out.number(float(ny / len), 4);
      out.number(float(1 / len), 4);
      out.text("\n");
    }
  const long vertexCount = long(kGridX) * kGridY;
  const int rowsPerBand = (kGridY - 1 + kBands - 1) / kBands;
  for (int band = 0; band < kBands; band++) {
    out.text("g band");
    out.integer(band);
    out.text("\ns 1\n");
    const int first = band * rowsPerBand, last = std::min(first + rowsPerBand, kGridY - 1);
    // Two material uses per band, the second halfway down.
    for (int j = first; j < last; j++) {
      if (j == first || j == (first + last) / 2) {
        out.text("usemtl mat");
        out.integer((band + (j != first)) % 3);
        out.text("\n");
      }
      for (int i = 0; i + 1 < kGridX; i++) {
        long corners[4] = {long(j) * kGridX + i + 1, long(j) * kGridX + i + 2,
                           long(j + 1) * kGridX + i + 2, long(j + 1) * kGridX + i + 1};
        out.text("f");
        for (long c : corners) {
          // Every element is defined above the faces, so -1 names the last.
          long index = band == kBands - 1 ? c - vertexCount - 1 : c;
          for (int k = 0; k < 3; k++) {
            out.text(k ? "/" : " ");
            out.integer(index);
          }
        }
        out.text("\n");
      }
    }
  }
  out.flush();
  if (fclose(f) != 0) {
    perror(path.c_str());
    exit(1);
  }
  FILE* stamp = fopen((path + ".stamp").c_str(), "w");
  if (stamp) {
    fprintf(stamp, "%s %llu %016llx\n", kGeneratorVersion, (unsigned long long)out.size,
            (unsigned long long)out.hash);
    fclose(stamp);
  }
}

// Generates the OBJ and its library unless an intact copy is already there.
void ensureInput(const std::string& path) {
  std::string mtl = stdio_reader::dirName(path) + kMtlName;
  writeMtl(mtl);  // tiny: always rewritten
  char version[64] = "";
  unsigned long long size = 0, hash = 0;
  if (FILE* stamp = fopen((path + ".stamp").c_str(), "r")) {
    int n = fscanf(stamp, "%*s %*s %63s %llu %llx", version, &size, &hash);
    fclose(stamp);
    uint64_t actualSize = 0;
    // kGeneratorVersion's last word is the version number.
    if (n == 3 && strcmp(version, strrchr(kGeneratorVersion, ' ') + 1) == 0 &&
        hashFile(path.c_str(), &actualSize) == hash && actualSize == size) {
      printf("input: reusing %s\n", path.c_str());
      return;
    }
  }
  printf("input: generating %s ...\n", path.c_str());
  fflush(stdout);
  auto t0 = std::chrono::steady_clock::now();
  writeObj(path);
  uint64_t size2 = 0;
  hashFile(path.c_str(), &size2);  // also warms the page cache
  printf("input: generated in %.1f s\n",
         std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

// ---- Comparison and measurement ---------------------------------------------

// Bytes of every array the model owns, as its counts size them.
size_t arrayBytes(const GLMmodel* m) {
  size_t bytes = 3 * sizeof(GLfloat) * (size_t(m->vertexcount) + 1);
  if (m->normals) bytes += 3 * sizeof(GLfloat) * (size_t(m->normalcount) + 1);
  if (m->texcoords) bytes += 2 * sizeof(GLfloat) * (size_t(m->texcoordcount) + 1);
  bytes += sizeof(GLMtriangle) * size_t(m->trianglecount);
  bytes += sizeof(GLMmaterial) * size_t(m->materialcount);
  for (const GLMgroup* g = m->groups; g; g = g->next)
    bytes += sizeof(GLuint) * size_t(g->trianglecount);
  return bytes;
}

// Wall-clock and CPU (user + system) seconds of one call.
struct Timing {
  double wall, cpu;
};

double cpuSeconds() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

template <typename F>
Timing timed(F&& f) {
  double cpu0 = cpuSeconds();
  auto t0 = std::chrono::steady_clock::now();
  f();
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return Timing{wall, cpuSeconds() - cpu0};
}

// Reads the file with tinyobjloader, triangulating; its triangle count, or
// -1 without it (or on failure).
long readTinyobj(const std::string& path) {
#ifdef CELSHADE_BENCH_TINYOBJ
  tinyobj::ObjReaderConfig config;
  config.triangulate = true;
  config.mtl_search_path = stdio_reader::dirName(path);
  tinyobj::ObjReader reader;
  if (!reader.ParseFromFile(path, config)) return -1;
  long triangles = 0;
  for (const tinyobj::shape_t& shape : reader.GetShapes())
    triangles += long(shape.mesh.num_face_vertices.size());
  return triangles;
#else
  (void)path;
  return -1;
#endif
}

// Streams the file through a 1 MiB buffer, as `cat` does; its size.
size_t streamFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  static char buffer[1 << 20];
  size_t total = 0;
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) total += size_t(n);
  close(fd);
  return total;
}

// The same work every round on every CPU the process may use, touching no
// file: a chain of multiply-adds in registers, copies between buffers
// already in memory (as many bytes in all as the file's), and memory taken
// afresh as the reader takes its arrays (allocHugePages) and touched, as
// much as the model's arrays. A reader's times can be no steadier than the
// machine's: on a virtual machine that shares its host, copies swing far
// more than arithmetic does, and memory the host has taken back while it
// lay free (free page reporting) costs many times more to touch again.
struct MachineWork {
  struct Lane {
    std::vector<char> from, to;
    size_t copied;  // bytes copied a round, in passes over the buffers
  };
  std::vector<Lane> lanes;

  explicit MachineWork(size_t bytes) {
    const unsigned cpus = processorCount();
    const size_t share = bytes / cpus + 1;
    const size_t buffer = std::min(share, size_t(64) << 20);  // large files: more passes
    for (unsigned i = 0; i < cpus; i++)
      lanes.push_back({std::vector<char>(buffer, 1), std::vector<char>(buffer, 2), share});
  }
  // Runs `work(lane)` on every lane at once, one thread each.
  template <typename F>
  void onEveryLane(F work) {
    std::vector<std::thread> others;
    for (size_t i = 1; i < lanes.size(); i++) others.emplace_back(work, std::ref(lanes[i]));
    work(lanes[0]);
    for (std::thread& t : others) t.join();
  }
  void arithmetic() {
    onEveryLane([](Lane& lane) {
      double x = 1;
      for (long i = 0; i < 50000000; i++) x = x * 1.0000001 + 1e-9;
      lane.to[0] = char(int64_t(x) & 0x7F);  // the chain is kept: about 148 here
    });
  }
  void copies() {
    onEveryLane([](Lane& lane) {
      for (size_t done = 0; done < lane.copied; done += lane.from.size()) {
        memcpy(lane.to.data(), lane.from.data(), std::min(lane.from.size(), lane.copied - done));
        lane.from[0] = lane.to[lane.to.size() / 2];
      }
    });
  }
  void freshMemory(size_t bytes) {
    const size_t share = std::max<size_t>((bytes / lanes.size() + 4095) / 4096 * 4096, 4096);
    onEveryLane([share](Lane&) {
      void* p = allocHugePages(share);
      if (!p) return;
      for (size_t at = 0; at < share; at += 4096) static_cast<volatile char*>(p)[at] = 1;
      free(p);
    });
  }
};

// Puts the file into the page cache as reading it from disk does: dropped,
// then read once. How a file came into the cache matters to every reader
// of it: written by a program in small writes it is cached in 4 KiB pages,
// each looked up and copied on its own (this file took about 0.026 s to
// stream so, against 0.008 s read in from disk).
void recache(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
  streamFile(path);
}

// Child mode: read once with glmReadOBJ and print "<peak RSS KiB> <array bytes>".
int rssChild(const char* path) {
  GLMmodel* model = nullptr;
  const Timing t = timed([&] { model = glmReadOBJ(path); });
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  printf("%ld %zu %.6f\n", long(usage.ru_maxrss), arrayBytes(model), t.wall);
  glmDelete(model);
  return 0;
}

// Runs this program again as a fresh process in child mode and parses its
// line: peak memory, the model's arrays and the time of its one read.
bool measureRss(const char* self, const char* path, long* peakKiB, size_t* arrays,
                double* seconds = nullptr) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execl(self, self, "--rss-child", path, (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  char line[128] = "";
  FILE* in = fdopen(fds[0], "r");
  double wall = 0;
  bool ok = in && fgets(line, sizeof line, in) &&
            sscanf(line, "%ld %zu %lf", peakKiB, arrays, &wall) == 3;
  if (seconds) *seconds = wall;
  if (in) fclose(in);
  int status = 0;
  waitpid(pid, &status, 0);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--rss-child") == 0) return rssChild(argv[2]);

  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else {
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/celshade-bench";
    mkdir(dir.c_str(), 0755);
    path = dir + "/bench_read.obj";
  }
  ensureInput(path);
  recache(path);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    perror(path.c_str());
    return 1;
  }
  const double megabytes = double(st.st_size) / 1e6;

  // Memory first, while this process is still small: with the threads the
  // environment gives, and with 64.
  const char* threadsSet = getenv("CELSHADE_READ_THREADS");
  const std::string threads = threadsSet ? threadsSet : "";
  auto useThreads = [&](const char* n) {
    if (n)
      setenv("CELSHADE_READ_THREADS", n, 1);
    else if (threadsSet)
      setenv("CELSHADE_READ_THREADS", threads.c_str(), 1);
    else
      unsetenv("CELSHADE_READ_THREADS");
  };
  long peakKiB = 0, peak64KiB = 0;
  size_t arrays = 0, arrays64 = 0;
  bool rssOk = measureRss("/proc/self/exe", path.c_str(), &peakKiB, &arrays);
  useThreads("64");
  rssOk = measureRss("/proc/self/exe", path.c_str(), &peak64KiB, &arrays64) && rssOk;
  useThreads(nullptr);

  // Alternate the readers so that all see the same machine load.
  const char* runsSet = getenv("BENCH_READ_RUNS");
  const int kRuns = runsSet && atoi(runsSet) > 0 ? atoi(runsSet) : 3;
  // glmReadOBJ runs with one thread (CELSHADE_READ_THREADS=1) and with the
  // count the environment gives (by default every CPU the process may use).
  // Last, the machine's fixed work (no reading).
  enum {
    kBase,
    kOne,
    kAll,
    kLenientOne,
    kLenientAll,
    kTiny,
    kStream,
    kArithmetic,
    kCopies,
    kFresh,
    kReaders
  };
  const char* const names[kReaders] = {"baseline (stdio fscanf, two passes)",
                                       "glmReadOBJ, 1 thread",
                                       "glmReadOBJ, all threads",
                                       "lenient, 1 thread",
                                       "lenient, all threads",
                                       "tinyobjloader (Debian)",
                                       "streaming the file (cat)",
                                       "machine: arithmetic, every CPU",
                                       "machine: copying, every CPU",
                                       "machine: fresh memory, every CPU"};
  MachineWork machine(size_t(st.st_size));
  std::vector<Timing> times[kReaders];
  GLMmodel *fast = nullptr, *base = nullptr, *lenient = nullptr;
  long tinyTriangles = -1;
  // Times one read into `model` (glmReadOBJ, or with GLM_READ_LENIENT),
  // releasing the model read before first.
  auto timeRead = [&](GLMmodel*& model, GLuint flags) {
    if (model) glmDelete(model);
    char error[512];
    Timing t = timed([&] {
      model = flags ? glmTryReadOBJWith(path.c_str(), flags, error, sizeof error)
                    : glmReadOBJ(path.c_str());
    });
    if (!model) {
      fprintf(stderr, "bench_read: %s\n", error);
      exit(1);
    }
    return t;
  };
  printf("runs, seconds wall (cpu):\n");
  for (int run = -1; run < kRuns; run++) {
    if (base) glmDelete(base);
    Timing t[kReaders];
    t[kBase] = timed([&] { base = stdio_reader::read(path.c_str()); });
    // The classic and the lenient read take turns going first.
    const bool lenientFirst = run % 2;
    useThreads("1");
    if (lenientFirst) t[kLenientOne] = timeRead(lenient, GLM_READ_LENIENT);
    t[kOne] = timeRead(fast, 0);
    if (!lenientFirst) t[kLenientOne] = timeRead(lenient, GLM_READ_LENIENT);
    useThreads(nullptr);
    if (lenientFirst) t[kLenientAll] = timeRead(lenient, GLM_READ_LENIENT);
    t[kAll] = timeRead(fast, 0);
    if (!lenientFirst) t[kLenientAll] = timeRead(lenient, GLM_READ_LENIENT);
    t[kTiny] = timed([&] { tinyTriangles = readTinyobj(path); });
    t[kStream] = timed([&] { streamFile(path); });
    t[kArithmetic] = timed([&] { machine.arithmetic(); });
    t[kCopies] = timed([&] { machine.copies(); });
    t[kFresh] = timed([&] { machine.freshMemory(arrayBytes(fast)); });
    if (run < 0)
      printf("  warm-up:");
    else
      printf("  run %d:", run + 1);
    printf(
        " baseline %.3f (%.3f)  1 thread %.3f (%.3f)  all threads %.3f (%.3f)"
        "  lenient %.3f / %.3f",
        t[kBase].wall, t[kBase].cpu, t[kOne].wall, t[kOne].cpu, t[kAll].wall, t[kAll].cpu,
        t[kLenientOne].wall, t[kLenientAll].wall);
    if (tinyTriangles >= 0) printf("  tinyobjloader %.3f (%.3f)", t[kTiny].wall, t[kTiny].cpu);
    printf("  cat %.3f  machine %.3f / %.3f / %.3f\n", t[kStream].wall, t[kArithmetic].wall,
           t[kCopies].wall, t[kFresh].wall);
    fflush(stdout);
    for (int r = 0; run >= 0 && r < kReaders; r++) times[r].push_back(t[r]);
  }
  std::string diff = modelDifference(fast, base);
  if (diff.empty()) diff = modelDifference(fast, lenient);

  printf("file: %s\n", path.c_str());
  printf(
      "  %.1f MB; %u vertices, %u normals, %u texcoords, %u triangles, %u groups, %u materials\n",
      megabytes, fast->vertexcount, fast->normalcount, fast->texcoordcount, fast->trianglecount,
      fast->groupcount, fast->materialcount);
  printf("results: %s\n",
         diff.empty()
             ? "identical, baseline, classic and lenient (every array, group and material compared)"
             : ("MISMATCH: " + diff).c_str());
  if (tinyTriangles >= 0 && tinyTriangles != long(fast->trianglecount)) {
    printf("tinyobjloader: %ld triangles, glmReadOBJ %u\n", tinyTriangles, fast->trianglecount);
    diff = "tinyobjloader's triangles";
  }
  // Per reader: best and median wall, CPU and MB/s at the median, the spread
  // of the runs (slowest / fastest wall), and the median of the runs' wall
  // times as shares of tinyobjloader's in the same run.
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
  };
  auto best = [&](int r) {
    double b = 1e30;
    for (const Timing& t : times[r]) b = std::min(b, t.wall);
    return b;
  };
  auto spread = [&](int r) {
    double most = 0;
    for (const Timing& t : times[r]) most = std::max(most, t.wall);
    return most / best(r);
  };
  printf("%-36s %8s %8s %8s %9s %7s %9s\n", "reader (wall s)", "best", "median", "cpu", "MB/s",
         "spread", "/tinyobj");
  for (int r = 0; r < kReaders; r++) {
    if (r == kTiny && tinyTriangles < 0) continue;
    std::vector<double> wall, cpu, share;
    for (int run = 0; run < kRuns; run++) {
      wall.push_back(times[r][run].wall);
      cpu.push_back(times[r][run].cpu);
      if (tinyTriangles >= 0) share.push_back(times[r][run].wall / times[kTiny][run].wall);
    }
    printf("%-36s %8.3f %8.3f %8.3f", names[r], best(r), median(wall), median(cpu));
    if (r == kArithmetic || r == kFresh)
      printf(" %9s", "-");
    else
      printf(" %9.1f", megabytes / median(wall));
    printf(" %6.2fx", spread(r));
    if (tinyTriangles >= 0 && r < kArithmetic) printf(" %9.3f", median(share));
    printf("\n");
  }
  if (tinyTriangles >= 0)
    printf("targets: 1 thread <= 0.175 of tinyobjloader, all threads <= 0.114\n");
  else
    printf("tinyobjloader: not built in (install libtinyobjloader-dev and reconfigure)\n");
  // Quiet: the fixed arithmetic and copies within 1.1x over three runs or
  // more. Fresh memory is left out: what it costs depends on how long
  // memory lay free, which the readers before it decide.
  const double machineSpread = std::max(spread(kArithmetic), spread(kCopies));
  if (kRuns < 3)
    printf("steady: readers' spreads target <= 1.3x on a quiet machine; too few runs to tell\n");
  else
    printf(
        "steady: readers' spreads target <= 1.3x on a quiet machine; this one %s (machine "
        "%.2fx)\n",
        machineSpread <= 1.1 ? "was quiet" : "was not: the spreads above are partly its own",
        machineSpread);
  printf("all threads / 1 thread: %.2fx faster wall\n", best(kOne) / best(kAll));
  printf("lenient/classic, best wall: 1 thread %.3f, all threads %.3f  (target <= 1.05)\n",
         best(kLenientOne) / best(kOne), best(kLenientAll) / best(kAll));
  // The first read of a process, as a program that reads one model makes
  // it: five fresh processes with one thread and five with all, taking turns.
  std::vector<double> first[2];
  for (int i = 0; i < 5; i++)
    for (int all = 0; all < 2; all++) {
      long kib;
      size_t bytes;
      double seconds;
      useThreads(all ? nullptr : "1");
      if (measureRss("/proc/self/exe", path.c_str(), &kib, &bytes, &seconds))
        first[all].push_back(seconds);
    }
  useThreads(nullptr);
  for (int all = 0; all < 2; all++)
    if (!first[all].empty())
      printf("first read of a fresh process, %s: median %.3f s (%.3f to %.3f, %zu processes)\n",
             all ? "all threads" : "1 thread", median(first[all]),
             *std::min_element(first[all].begin(), first[all].end()),
             *std::max_element(first[all].begin(), first[all].end()), first[all].size());
  if (rssOk) {
    const double mib = arrays / 1048576.0;
    printf(
        "glmReadOBJ peak RSS (fresh process): %.1f MiB, %.1f MiB with 64 threads; model arrays"
        " %.1f MiB; over the arrays %.1f MiB, %.1f MiB  (target <= 64)\n",
        peakKiB / 1024.0, peak64KiB / 1024.0, mib, peakKiB / 1024.0 - mib,
        peak64KiB / 1024.0 - mib);
  } else {
    printf("glmReadOBJ peak RSS: measurement failed\n");
  }
  glmDelete(fast);
  glmDelete(base);
  glmDelete(lenient);
  return diff.empty() && rssOk ? 0 : 1;
}
