// bench_read: glmReadOBJ against a plain stdio two-pass reader on a
// generated OBJ of about one million vertices (v, vt, vn, quads in the
// v/t/n form, groups, materials, one material library), and the lenient
// reading (GLM_READ_LENIENT) beside the classic one.
//
//   bench_read [file.obj]     default: $TMPDIR/celshade-bench/bench_read.obj
//
// The file is generated once from a fixed seed and reused while its size and
// hash match the stamp written beside it. The readers run three times
// (BENCH_READ_RUNS=n: n times), alternating, on the warm page cache; the
// best time of each is compared, and the spread of the classic and lenient
// reads shown.
// Peak resident memory of glmReadOBJ is measured in a freshly started child
// process, so that nothing the benchmark itself holds is counted. The
// baseline is the formatted-stdio reader of tests/support/stdio_reader.h.
#include <glm.h>

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
#include <vector>

#include "support/model_difference.h"
#include "support/stdio_reader.h"

namespace {

// ---- Deterministic generator ----------------------------------------------

// Bump this whenever the generated text changes, so stale files are replaced.
const char kGeneratorVersion[] = "bench_read generator 1";
const int kGridX = 1000, kGridY = 1000;  // vertices per side
const int kBands = 4;                     // groups; the last uses relative indices
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
  for (const GLMgroup* g = m->groups; g; g = g->next) bytes += sizeof(GLuint) * size_t(g->trianglecount);
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

// Child mode: read once with glmReadOBJ and print "<peak RSS KiB> <array bytes>".
int rssChild(const char* path) {
  GLMmodel* model = glmReadOBJ(path);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  printf("%ld %zu\n", long(usage.ru_maxrss), arrayBytes(model));
  glmDelete(model);
  return 0;
}

// Runs this program again as a fresh process in child mode and parses its line.
bool measureRss(const char* self, const char* path, long* peakKiB, size_t* arrays) {
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
  bool ok = in && fgets(line, sizeof line, in) && sscanf(line, "%ld %zu", peakKiB, arrays) == 2;
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
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    perror(path.c_str());
    return 1;
  }
  const double megabytes = double(st.st_size) / 1e6;

  // Memory first, while this process is still small.
  long peakKiB = 0;
  size_t arrays = 0;
  bool rssOk = measureRss("/proc/self/exe", path.c_str(), &peakKiB, &arrays);

  // Alternate the readers so that both see the same machine load; keep the
  // best wall and the best CPU time of each.
  const char* runsSet = getenv("BENCH_READ_RUNS");
  const int kRuns = runsSet && atoi(runsSet) > 0 ? atoi(runsSet) : 3;
  // glmReadOBJ runs with one thread (CELSHADE_READ_THREADS=1) and with the
  // count the environment gives (by default every CPU the process may use).
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
  Timing bestFast{1e30, 1e30}, bestBase{1e30, 1e30}, bestOne{1e30, 1e30};
  // Wall times of the classic and lenient reads, 1 thread and all threads.
  std::vector<double> classicOne, lenientOne, classicAll, lenientAll;
  GLMmodel *fast = nullptr, *base = nullptr, *lenient = nullptr;
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
  for (int run = 0; run < kRuns; run++) {
    if (base) glmDelete(base);
    Timing tb = timed([&] { base = stdio_reader::read(path.c_str()); });
    // The classic and the lenient read take turns going first.
    const bool lenientFirst = run % 2;
    Timing t1, l1, tf, lf;
    useThreads("1");
    if (lenientFirst) l1 = timeRead(lenient, GLM_READ_LENIENT);
    t1 = timeRead(fast, 0);
    if (!lenientFirst) l1 = timeRead(lenient, GLM_READ_LENIENT);
    useThreads(nullptr);
    if (lenientFirst) lf = timeRead(lenient, GLM_READ_LENIENT);
    tf = timeRead(fast, 0);
    if (!lenientFirst) lf = timeRead(lenient, GLM_READ_LENIENT);
    printf("  run %d: baseline %.3f (%.3f)  glmReadOBJ 1 thread %.3f (%.3f)  all threads %.3f (%.3f)"
           "  lenient 1 thread %.3f  all threads %.3f\n",
           run + 1, tb.wall, tb.cpu, t1.wall, t1.cpu, tf.wall, tf.cpu, l1.wall, lf.wall);
    classicOne.push_back(t1.wall), lenientOne.push_back(l1.wall);
    classicAll.push_back(tf.wall), lenientAll.push_back(lf.wall);
    bestOne = Timing{std::min(bestOne.wall, t1.wall), std::min(bestOne.cpu, t1.cpu)};
    fflush(stdout);
    bestBase = Timing{std::min(bestBase.wall, tb.wall), std::min(bestBase.cpu, tb.cpu)};
    bestFast = Timing{std::min(bestFast.wall, tf.wall), std::min(bestFast.cpu, tf.cpu)};
  }
  std::string diff = modelDifference(fast, base);
  if (diff.empty()) diff = modelDifference(fast, lenient);

  printf("file: %s\n", path.c_str());
  printf("  %.1f MB; %u vertices, %u normals, %u texcoords, %u triangles, %u groups, %u materials\n",
         megabytes, fast->vertexcount, fast->normalcount, fast->texcoordcount, fast->trianglecount,
         fast->groupcount, fast->materialcount);
  printf("results: %s\n", diff.empty() ? "identical, baseline, classic and lenient (every array, group and material compared)"
                                       : ("MISMATCH: " + diff).c_str());
  printf("                                     best wall          best cpu\n");
  printf("baseline (stdio fscanf, two passes): %6.3f s %7.1f MB/s  %6.3f s %7.1f MB/s\n", bestBase.wall,
         megabytes / bestBase.wall, bestBase.cpu, megabytes / bestBase.cpu);
  printf("glmReadOBJ:                          %6.3f s %7.1f MB/s  %6.3f s %7.1f MB/s\n", bestFast.wall,
         megabytes / bestFast.wall, bestFast.cpu, megabytes / bestFast.cpu);
  printf("glmReadOBJ, 1 thread:                %6.3f s %7.1f MB/s  %6.3f s %7.1f MB/s\n", bestOne.wall,
         megabytes / bestOne.wall, bestOne.cpu, megabytes / bestOne.cpu);
  printf("all threads / 1 thread: %.2fx faster wall  (target >= 1.7 on 2 cores)\n",
         bestOne.wall / bestFast.wall);
  printf("ratio baseline/glmReadOBJ: %.1fx wall, %.1fx cpu  (target >= 12)\n", bestBase.wall / bestFast.wall,
         bestBase.cpu / bestFast.cpu);
  // Best wall time, and the spread of the runs above it in per cent of it.
  auto best = [](const std::vector<double>& t) { return *std::min_element(t.begin(), t.end()); };
  auto spread = [&](const std::vector<double>& t) {
    return 100 * (*std::max_element(t.begin(), t.end()) - best(t)) / best(t);
  };
  printf("classic and lenient reading (GLM_READ_LENIENT), best wall (spread):\n");
  const struct {
    const char* what;
    const std::vector<double>&classic, &lenient;
  } pairs[] = {{"1 thread:   ", classicOne, lenientOne}, {"all threads:", classicAll, lenientAll}};
  for (const auto& p : pairs)
    printf("  %s classic %.3f s (%.0f %%)  lenient %.3f s (%.0f %%)  lenient/classic %.3f"
           "  (target <= 1.05)\n",
           p.what, best(p.classic), spread(p.classic), best(p.lenient), spread(p.lenient),
           best(p.lenient) / best(p.classic));
  if (rssOk) {
    double peak = peakKiB / 1024.0, mib = arrays / 1048576.0;
    printf("glmReadOBJ peak RSS (fresh process): %.1f MiB; model arrays %.1f MiB; over the arrays %.1f MiB"
           "  (target <= 64)\n",
           peak, mib, peak - mib);
  } else {
    printf("glmReadOBJ peak RSS: measurement failed\n");
  }
  glmDelete(fast);
  glmDelete(base);
  glmDelete(lenient);
  return diff.empty() && rssOk ? 0 : 1;
}
