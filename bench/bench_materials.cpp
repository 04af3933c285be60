// bench_materials: reading files that lean on their material library.
//
//  - Per-face materials: n materials and one `usemtl` before each of n
//    faces, names in shuffled order, for n = 20,000 and 80,000. The time
//    should grow with n (4 x the input, at most 5 x the time) and stay under
//    0.2 s at 80,000; the same file without its `usemtl` lines shows what the
//    look-ups add.
//  - A library named again: one library of about 1.8 MB named by 1 and by 200
//    `mtllib` lines. A library that is the same file is not read again, so
//    both take about the same time.
//
//   bench_materials [folder]    default: $TMPDIR/celshade-bench
//
// Each figure is the best wall time of five reads with glmReadOBJ.
#include <glm.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_folder.h"

namespace {

void writeText(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f || fwrite(text.data(), 1, text.size(), f) != text.size() || fclose(f) != 0) {
    perror(path.c_str());
    exit(1);
  }
}

// A library of `count` materials named m<i>, each with colours and shininess.
std::string library(int count) {
  std::string text;
  char line[160];
  for (int i = 0; i < count; i++) {
    snprintf(line, sizeof line,
             "newmtl m%d\nKa 0.1 0.1 0.1\nKd %.3f 0.5 0.25\nKs 0.2 0.2 0.2\nNs %d\n\n", i,
             (i % 1000) / 1000.0, i % 1000);
    text += line;
  }
  return text;
}

// n faces over a strip of n + 2 vertices, each face after a `usemtl` of its
// own material (none without `uses`), the materials taken in shuffled
// order; `libraries` mtllib lines name `mtl`.
std::string model(int n, const std::string& mtl, int libraries, bool uses = true) {
  std::string text;
  for (int i = 0; i < libraries; i++) text += "mtllib " + mtl + "\n";
  char line[96];
  for (int i = 0; i < n + 2; i++) {
    snprintf(line, sizeof line, "v %d %d 0\n", i / 2, i % 2);
    text += line;
  }
  std::vector<int> order(n);
  for (int i = 0; i < n; i++) order[i] = i;
  uint64_t state = 12345;  // xorshift: the same order everywhere
  for (int i = n - 1; i > 0; i--) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    std::swap(order[i], order[state % uint64_t(i + 1)]);
  }
  for (int i = 0; i < n; i++) {
    if (uses) {
      snprintf(line, sizeof line, "usemtl m%d\n", order[i]);
      text += line;
    }
    snprintf(line, sizeof line, "f %d %d %d\n", i + 1, i + 2, i + 3);
    text += line;
  }
  return text;
}

// Best wall time of five reads, in seconds; checks what was read.
double bestRead(const std::string& path, GLuint materials, GLuint triangles) {
  double best = 1e30;
  for (int run = 0; run < 5; run++) {
    auto t0 = std::chrono::steady_clock::now();
    GLMmodel* m = glmReadOBJ(path.c_str());
    best = std::min(best,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    if (m->materialcount != materials || m->trianglecount != triangles) {
      fprintf(stderr, "bench_materials: %s read wrong (%u materials, %u triangles)\n", path.c_str(),
              m->materialcount, m->trianglecount);
      exit(1);
    }
    glmDelete(m);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = benchFolder(argc, argv) + "/";

  printf("per-face materials (n materials, n usemtl lines, n faces):\n");
  const int sizes[2] = {20000, 80000};
  double seconds[2];
  for (int k = 0; k < 2; k++) {
    const int n = sizes[k];
    const std::string mtl = "materials" + std::to_string(n) + ".mtl";
    writeText(dir + mtl, library(n));
    const std::string obj = dir + "materials" + std::to_string(n) + ".obj";
    writeText(obj, model(n, mtl, 1));
    seconds[k] = bestRead(obj, GLuint(n + 1), GLuint(n));
    printf("  n = %6d: %8.4f s\n", n, seconds[k]);
  }
  printf("  x4 input: x%.2f time (at most x5 for linear growth); %s 0.2 s at n = 80000\n",
         seconds[1] / seconds[0], seconds[1] < 0.2 ? "under" : "NOT under");
  // The same file without its usemtl lines: what the look-ups add.
  const std::string bare = dir + "materials80000_bare.obj";
  writeText(bare, model(80000, "materials80000.mtl", 1, false));
  const double without = bestRead(bare, 80001, 80000);
  printf("  n =  80000 without usemtl lines: %8.4f s (the usemtl lines add %.4f s)\n", without,
         seconds[1] - without);

  printf("one library named again (about 1.8 MB, 26,000 materials):\n");
  const std::string mtl = "named_again.mtl";
  const std::string text = library(26000);
  writeText(dir + mtl, text);
  double once = 0, repeated = 0;
  for (int lines : {1, 200}) {
    const std::string obj = dir + "named_again" + std::to_string(lines) + ".obj";
    writeText(obj, model(100, mtl, lines));
    double s = bestRead(obj, 26001, 100);
    printf("  %3d mtllib lines: %8.4f s\n", lines, s);
    (lines == 1 ? once : repeated) = s;
  }
  printf("  library size %.2f MB; 200 lines take x%.2f the time of one\n", text.size() / 1e6,
         repeated / once);
  return 0;
}
