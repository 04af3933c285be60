// Welding speed: glmWeldVectors on half a million to two million vectors,
// half of them near-duplicates of another, against a plain scan of the
// distinct vectors (the first-match loop) on ten to forty thousand.
// Prints the times and how each grows when the input doubles.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "glm.h"

namespace {

const float kEpsilon = 1e-5f;

// n vectors (1-based, slot 0 unused) in the cube -1..1: n/2 random points
// and, at random later places, a copy of each moved by less than epsilon/2
// on every axis.
std::vector<float> nearDuplicates(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> box(-1, 1), jitter(-kEpsilon / 2, kEpsilon / 2);
  std::vector<float> points(3 * (n / 2));
  for (float& f : points) f = box(rng);
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; i++) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  // Each point appears twice: entries order[2k] and order[2k+1] of the
  // output; the first of the two is the point, the second the moved copy.
  std::vector<float> v(3 * (n + 1), 0);
  for (size_t k = 0; k < n / 2; k++) {
    size_t a = std::min(order[2 * k], order[2 * k + 1]) + 1;
    size_t b = std::max(order[2 * k], order[2 * k + 1]) + 1;
    for (int c = 0; c < 3; c++) {
      v[3 * a + c] = points[3 * k + c];
      v[3 * b + c] = points[3 * k + c] + jitter(rng);
    }
  }
  return v;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU time of this thread: less disturbed than wall time on a shared machine.
double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Best of `runs` timings of glmWeldVectors on a fresh copy of the input.
double timeWeld(const std::vector<float>& input, int runs, GLuint* distinct,
                double* cpu = nullptr) {
  double best = 1e300;
  std::vector<float> work;
  for (int r = 0; r < runs; r++) {
    work = input;
    GLuint n = GLuint(input.size() / 3 - 1);
    auto start = std::chrono::steady_clock::now();
    double cpuStart = cpuSeconds();
    GLfloat* unique = glmWeldVectors(work.data(), &n, kEpsilon);
    double wall = seconds(start);
    if (wall < best && cpu) *cpu = cpuSeconds() - cpuStart;
    best = std::min(best, wall);
    *distinct = n;
    free(unique);
  }
  return best;
}

bool within(const float* u, const float* v, float epsilon) {
  for (int c = 0; c < 3; c++)
    if (!(std::fabs(u[c] - v[c]) < epsilon)) return false;
  return true;
}

// The plain first-match scan of the distinct vectors, as the baseline.
double timeScan(const std::vector<float>& input, GLuint* distinct) {
  size_t n = input.size() / 3 - 1;
  std::vector<float> unique(3 * (n + 1));
  std::vector<float> slots(n + 1);
  auto start = std::chrono::steady_clock::now();
  size_t f = 1;
  for (size_t i = 1; i <= n; i++) {
    size_t j = 1;
    while (j < f && !within(&input[3 * i], &unique[3 * j], kEpsilon)) j++;
    if (j == f) memcpy(&unique[3 * f++], &input[3 * i], 3 * sizeof(float));
    slots[i] = float(j);
  }
  double t = seconds(start);
  *distinct = GLuint(f - 1);
  return t;
}

}  // namespace

int main() {
  printf("bench_weld: epsilon %g, inputs in -1..1, half of them within epsilon/2 of another\n",
         double(kEpsilon));

  printf("\nglmWeldVectors (best of 3)\n");
  double previous = 0;
  for (size_t n : {500000u, 1000000u, 2000000u}) {
    std::vector<float> input = nearDuplicates(n, 42);
    GLuint distinct;
    double cpu = 0;
    double t = timeWeld(input, 3, &distinct, &cpu);
    printf("  %8zu vectors -> %8u distinct: %8.3f s (cpu %.3f s)", n, distinct, t, cpu);
    if (previous > 0) printf("   x%.2f for twice the input", t / previous);
    printf("\n");
    previous = t;
  }

  printf("\nplain scan of the distinct vectors (once)\n");
  previous = 0;
  double scan20k = 0;
  for (size_t n : {10000u, 20000u, 40000u}) {
    std::vector<float> input = nearDuplicates(n, 42);
    GLuint distinct, fastDistinct;
    double t = timeScan(input, &distinct);
    double fast = timeWeld(input, 3, &fastDistinct);
    printf("  %8zu vectors -> %8u distinct: %8.3f s", n, distinct, t);
    if (previous > 0) printf("   x%.2f for twice the input", t / previous);
    printf("   (glmWeldVectors %.4f s, %u distinct, %.0f times faster)\n", fast, fastDistinct,
           t / fast);
    if (n == 20000) scan20k = t;
    previous = t;
  }
  // The scan's cost grows with inputs times distinct vectors: a million
  // inputs with half a million distinct ones is 2500 times 20,000's.
  printf("\nscan of 1,000,000 vectors extrapolated from 20,000: about %.0f s\n", scan20k * 2500);
  return 0;
}
