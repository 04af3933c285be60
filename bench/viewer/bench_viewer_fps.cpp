// Frames per second of the viewer on a virtual display (Xvfb, Mesa's
// software renderer) for a model of about 20,000 and one of about 200,000
// triangles. The frames are counted by a preloaded wrapper of
// glutSwapBuffers, so the program runs and prints exactly as it always does.
//
//   bench_viewer_fps [seconds per model, default 5] [--perf]
//
// A third row measures the bundled models in data/, as `make run` shows them.
//
// With --perf the viewer is also sampled with `perf record -g` while it is
// measured, and the heaviest functions are printed.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <glm.h>

#include <algorithm>
#include <vector>

#include "test_models.h"
#include "viewer_session.h"

using namespace celshade_test;

namespace {

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A cow-like egg of about `triangles` triangles with three coloured groups,
// saved as cow.obj in `dir`; the exact count is returned.
long writeCow(const std::string& dir, long triangles) {
  // slices * (2 * stacks - 2) triangles, with stacks = slices + 1.
  int slices = 2;
  while ((long)slices * 2 * slices < triangles) ++slices;
  return writeEllipsoid(dir, "cow", 1.0f, 0.6f, 0.5f, slices, slices + 1,
                        {{"hide", 0.9f, 0.85f, 0.8f}, {"patch", 0.3f, 0.25f, 0.2f},
                         {"nose", 1.0f, 0.6f, 0.6f}},
                        [](float x, float y, float) { return x > 0.7f ? 2 : y > 0.2f ? 1 : 0; });
}

struct Result {
  long frames = 0;
  double seconds = 0;
};

// Runs the viewer in `workdir` for `seconds` after its first second and
// counts the frames; optionally samples it with perf into
// `scratch`/perf.data.
Result measure(const std::string& workdir, const std::string& scratch, double seconds, bool perf) {
  Result result;
  std::string counterPath = scratch + "/frames";
  FILE* f = fopen(counterPath.c_str(), "w");
  uint64_t zero = 0;
  if (!f || fwrite(&zero, sizeof zero, 1, f) != 1 || fclose(f) != 0) return result;
  FILE* map = fopen(counterPath.c_str(), "r+");
  void* memory = mmap(nullptr, sizeof zero, PROT_READ, MAP_SHARED, fileno(map), 0);
  fclose(map);
  if (memory == MAP_FAILED) return result;
  volatile uint64_t* frames = (volatile uint64_t*)memory;

  VirtualDisplay display;
  if (!display.ok()) {
    fprintf(stderr, "Xvfb did not start\n");
    return result;
  }
  Process viewer({CELSHADE_VIEWER}, workdir,
                 {"DISPLAY=" + display.name(), "LIBGL_ALWAYS_SOFTWARE=1",
                  std::string("LD_PRELOAD=") + CELSHADE_FRAME_COUNTER,
                  "CELSHADE_FRAME_COUNTER=" + counterPath});
  double end = now() + 120;
  while (*frames == 0 && now() < end && viewer.running()) usleep(10000);
  if (*frames == 0) {
    fprintf(stderr, "the viewer drew no frame:\n%s%s", viewer.out().c_str(), viewer.err().c_str());
    munmap(memory, sizeof zero);
    return result;
  }
  sleep(1);  // past the first frames' one-time work

  Process* sampler = nullptr;
  if (perf)
    sampler = new Process({"perf", "record", "-g", "-F", "499", "-o", scratch + "/perf.data", "-p",
                           std::to_string(viewer.pid())},
                          scratch, {});
  // Time whole frames: from one swap to the first swap after `seconds`.
  auto nextSwap = [&](uint64_t after) {
    while (*frames == after && viewer.running()) usleep(500);
    return *frames;
  };
  uint64_t first = nextSwap(*frames);
  double start = now();
  usleep((useconds_t)(seconds * 1e6));
  uint64_t last = nextSwap(*frames);
  result.frames = (long)(last - first);
  result.seconds = now() - start;
  if (sampler) {
    kill(sampler->pid(), SIGINT);
    sampler->waitForExit(30);
    delete sampler;
  }
  munmap(memory, sizeof zero);
  return result;
}

// Prints `perf report` lines (comments dropped) for the given sort keys.
void report(const std::string& dir, const char* sort, const char* limit) {
  Process perf({"perf", "report", "-i", dir + "/perf.data", "--no-children", "--stdio", "-g",
                "none", "--percent-limit", limit, "--sort", sort},
               dir, {});
  perf.waitForExit(120);
  std::string text = perf.out();
  size_t at = 0;
  while (at < text.size()) {
    size_t line = text.find('\n', at);
    if (line == std::string::npos) line = text.size();
    std::string row = text.substr(at, line - at);
    while (!row.empty() && row.back() == ' ') row.pop_back();
    if (!row.empty() && row[0] != '#') printf("    %s\n", row.c_str());
    at = line + 1;
  }
}

// Writes the generated set into `dir`: a cow of about `wanted` triangles,
// a small rabbit and penguin, a three-band ramp. The cow's triangle count,
// or -1.
long writeSet(const std::string& dir, long wanted) {
  long triangles = writeCow(dir, wanted);
  std::vector<std::string> ramp(32, "1");
  std::fill(ramp.begin(), ramp.begin() + 22, "0.6");
  std::fill(ramp.begin(), ramp.begin() + 11, "0.3");
  bool written = triangles > 0 &&
                 writeEllipsoid(dir, "rabbit", 0.2f, 1, 0.2f, 8, 6, {{"fur", 1, 1, 1}},
                                [](float, float, float) { return 0; }) > 0 &&
                 writeBox(dir, "penguin", 1, 0.5f, 0.25f, {"front", 1, 1, 1}, {"back", 0, 0, 0}) &&
                 writeRamp(dir, ramp);
  return written ? triangles : -1;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 5;
  bool perf = false;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--perf"))
      perf = true;
    else
      seconds = atof(argv[i]);
  }
  if (seconds <= 0) seconds = 5;

  printf("viewer frame rate, Xvfb 1024x768x24, LIBGL_ALWAYS_SOFTWARE=1, %.0f s per model\n",
         seconds);
  printf("%-10s %10s %8s %8s %10s %12s\n", "model", "triangles", "frames", "fps", "ms/frame",
         "ns/triangle");
  double msSmall = 0;
  // The two generated cows, then the bundled cow as `make run` shows it.
  for (long wanted : {20000L, 200000L, 0L}) {
    char pattern[] = "/tmp/celshade-fps-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string scratch = pattern, workdir = scratch, label = "generated";
    long triangles = 0;
    if (wanted) {
      triangles = writeSet(scratch, wanted);
    } else {
      workdir = CELSHADE_DATA;
      if (access((workdir + "/cow.obj").c_str(), R_OK) != 0) {
        rmdir(scratch.c_str());
        break;
      }
      label = "data/";
      GLMmodel* cow = glmReadOBJ((workdir + "/cow.obj").c_str());
      triangles = cow->trianglecount;
      glmDelete(cow);
    }
    if (triangles <= 0) {
      fprintf(stderr, "could not write the models into %s\n", scratch.c_str());
      return 1;
    }
    Result r = measure(workdir, scratch, seconds, perf);
    if (r.frames <= 0) return 1;
    double ms = 1000 * r.seconds / r.frames;
    printf("%-10s %10ld %8ld %8.1f %10.2f %12.1f\n", label.c_str(), triangles, r.frames,
           r.frames / r.seconds, ms, ms * 1e6 / triangles);
    if (wanted == 20000L) msSmall = ms;
    if (wanted == 200000L)
      printf("200k/20k frame time ratio: %.2f (triangles %.1fx)\n", ms / msSmall,
             triangles / 20000.0);
    if (perf) {
      printf("  where the viewer's time goes (%ld triangles), by library:\n", triangles);
      report(scratch, "dso", "1");
      printf("  heaviest functions:\n");
      report(scratch, "dso,sym", "1.5");
    }
    std::string command = "rm -rf '" + scratch + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", scratch.c_str());
  }
  return 0;
}
