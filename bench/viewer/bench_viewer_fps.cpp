// Frames per second of the viewer on a virtual display (Xvfb) for generated
// models of about 20,000, 200,000 and 1,000,000 triangles (the two large
// ones also with texture coordinates and an image on every material), each measured
// twice: with Mesa's software renderer (llvmpipe) and with Mesa's no-op
// driver (GALLIUM_NOOP=1), which takes every GL call and draws nothing, so
// that its column shows the frame's own CPU cost as a fast GPU would leave
// it. The frames are counted by a preloaded wrapper of glutSwapBuffers, so
// the program runs and prints exactly as it does without it.
//
//   bench_viewer_fps [seconds per model, default 5] [--perf] [--viewer PATH]
//
// Three more rows measure the bundled models in data/, each in the view a
// user gets: the cow at start-up, the penguin after key 2, the rabbit after
// key 3 (typed into the window through XTest).
//
// With --perf the viewer is also sampled with `perf record -g` while it is
// measured under llvmpipe, and the heaviest functions are printed. With
// --viewer another build of the program is measured (an older one, for a
// side-by-side comparison in the same run).
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <glm.h>

#include <algorithm>
#include <vector>

#include "model_arrays.h"
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
  return writeEllipsoid(
      dir, "cow", 1.0f, 0.6f, 0.5f, slices, slices + 1,
      {{"hide", 0.9f, 0.85f, 0.8f}, {"patch", 0.3f, 0.25f, 0.2f}, {"nose", 1.0f, 0.6f, 0.6f}},
      [](float x, float y, float) { return x > 0.7f   ? 2
                                           : y > 0.2f ? 1
                                                      : 0; });
}

struct Result {
  long frames = 0;
  double seconds = 0;
  double cpuSeconds = 0;  // the viewer's own CPU time over those frames
};

// User plus system CPU seconds that process `pid` has used so far (all its
// threads); 0 when unknown.
double cpuSeconds(pid_t pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  FILE* f = fopen(path.c_str(), "r");
  if (!f) return 0;
  char text[1024];
  size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  text[n] = '\0';
  // The fields after the command name, which is in parentheses and may
  // hold blanks: utime and stime are the 12th and 13th of them.
  const char* p = strrchr(text, ')');
  if (!p) return 0;
  unsigned long utime = 0, stime = 0;
  if (sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
    return 0;
  return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

// The two drivers measured: Mesa's software renderer, and the no-op driver
// on top of it.
enum class Driver { llvmpipe, noop };

// The viewer `program` running in `workdir` on a virtual display of its own
// with `driver`, with the frame counter preloaded; the counter file and perf
// data go to `scratch`.
class CountedViewer {
 public:
  CountedViewer(const std::string& program, const std::string& workdir, const std::string& scratch,
                Driver driver)
      : scratch_(scratch) {
    std::string counterPath = scratch + "/frames";
    FILE* f = fopen(counterPath.c_str(), "w");
    uint64_t zero = 0;
    if (!f || fwrite(&zero, sizeof zero, 1, f) != 1 || fclose(f) != 0) return;
    FILE* map = fopen(counterPath.c_str(), "r+");
    void* memory = mmap(nullptr, sizeof zero, PROT_READ, MAP_SHARED, fileno(map), 0);
    fclose(map);
    if (memory == MAP_FAILED) return;
    frames_ = (volatile uint64_t*)memory;
    if (!display_.ok()) {
      fprintf(stderr, "Xvfb did not start\n");
      return;
    }
    double start = now();
    viewer_.reset(new Process({program}, workdir,
                              {"DISPLAY=" + display_.name(), "LIBGL_ALWAYS_SOFTWARE=1",
                               driver == Driver::noop ? "GALLIUM_NOOP=1" : "GALLIUM_NOOP=0",
                               std::string("LD_PRELOAD=") + CELSHADE_FRAME_COUNTER,
                               "CELSHADE_FRAME_COUNTER=" + counterPath}));
    double end = now() + 300;
    while (*frames_ == 0 && now() < end && viewer_->running()) usleep(10000);
    firstFrame_ = now() - start;
    if (*frames_ == 0) {
      fprintf(stderr, "the viewer drew no frame:\n%s%s", viewer_->out().c_str(),
              viewer_->err().c_str());
      return;
    }
    drawing_ = true;
    sleep(1);  // past the first frames' one-time work
  }
  ~CountedViewer() {
    viewer_.reset();
    if (frames_) munmap((void*)frames_, sizeof(uint64_t));
  }
  bool ok() const { return drawing_; }
  std::string display() const { return display_.name(); }
  // Seconds from the program's start to its first frame swapped.
  double firstFrame() const { return firstFrame_; }
  // The program's resident memory now, in bytes; 0 when unknown.
  double resident() const {
    FILE* f = fopen(("/proc/" + std::to_string(viewer_->pid()) + "/status").c_str(), "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (fgets(line, sizeof line, f))
      if (sscanf(line, "VmRSS: %ld", &kb) == 1) break;
    fclose(f);
    return 1024.0 * kb;
  }

  // Counts the frames of the next `seconds`; optionally samples the viewer
  // with perf into scratch/perf.data meanwhile.
  Result measure(double seconds, bool perf) {
    Result result;
    std::unique_ptr<Process> sampler;
    if (perf)
      sampler.reset(new Process({"perf", "record", "-g", "-F", "499", "-o", scratch_ + "/perf.data",
                                 "-p", std::to_string(viewer_->pid())},
                                scratch_, {}));
    // Time whole frames: from one swap to the first swap after `seconds`.
    auto nextSwap = [&](uint64_t after) {
      while (*frames_ == after && viewer_->running()) usleep(500);
      return *frames_;
    };
    uint64_t first = nextSwap(*frames_);
    double start = now(), cpuStart = cpuSeconds(viewer_->pid());
    usleep((useconds_t)(seconds * 1e6));
    uint64_t last = nextSwap(*frames_);
    result.frames = (long)(last - first);
    result.seconds = now() - start;
    result.cpuSeconds = cpuSeconds(viewer_->pid()) - cpuStart;
    if (sampler) {
      kill(sampler->pid(), SIGINT);
      sampler->waitForExit(30);
    }
    return result;
  }

 private:
  std::string scratch_;
  volatile uint64_t* frames_ = nullptr;
  VirtualDisplay display_;
  std::unique_ptr<Process> viewer_;
  bool drawing_ = false;
  double firstFrame_ = 0;
};

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

// Gives the cow in `dir` texture coordinates (glmLinearTexture) and every
// one of its materials a 256 x 256 checker image as its diffuse map, so
// that both copies are drawn textured. False when a file cannot be written.
bool textureCow(const std::string& dir) {
  FILE* f = fopen((dir + "/checker.ppm").c_str(), "wb");
  if (!f) return false;
  fprintf(f, "P6\n256 256\n255\n");
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      const unsigned char c = (x / 32 + y / 32) % 2 ? 230 : 60;
      const unsigned char texel[3] = {c, c, 200};
      fwrite(texel, 1, 3, f);
    }
  if (fclose(f) != 0) return false;
  char error[512] = "";
  GLMmodel* model = glmTryReadOBJ((dir + "/cow.obj").c_str(), error, sizeof error);
  if (!model) return false;
  glmLinearTexture(model);
  for (GLuint i = 0; i < model->materialcount; ++i)
    model->materials[i].diffusemap = strdup((dir + "/checker.ppm").c_str());
  bool written = glmTryWriteOBJ(model, (dir + "/cow.obj").c_str(),
                                GLM_SMOOTH | GLM_TEXTURE | GLM_MATERIAL, error, sizeof error);
  glmDelete(model);
  return written;
}

// Triangles in workdir/name.obj, or -1 when it cannot be read.
long triangleCount(const std::string& workdir, const char* name) {
  char error[512] = "";
  GLMmodel* model = glmTryReadOBJ((workdir + "/" + name + ".obj").c_str(), error, sizeof error);
  if (!model) {
    fprintf(stderr, "%s\n", error);
    return -1;
  }
  long triangles = model->trianglecount;
  glmDelete(model);
  return triangles;
}

// One line of the table: under llvmpipe frames per second, the time per
// frame and the viewer's CPU time per frame; under the no-op driver frames
// per second, CPU time per frame and per triangle; then the one-minute load
// average.
void printRow(const char* label, long triangles, const Result& soft, const Result& noop) {
  double load = 0;
  getloadavg(&load, 1);
  double noopCpu = noop.cpuSeconds / noop.frames;
  printf("%-16s %9ld | %7.1f %9.2f %9.2f | %7.1f %9.2f %9.1f | %5.1f\n", label, triangles,
         soft.frames / soft.seconds, 1000 * soft.seconds / soft.frames,
         1000 * soft.cpuSeconds / soft.frames, noop.frames / noop.seconds, 1000 * noopCpu,
         noopCpu * 1e9 / triangles, load);
  fflush(stdout);
}

// The perf summaries of the last measurement, by library and by function.
void printProfile(const std::string& scratch, long triangles) {
  printf("  where the viewer's time goes (%ld triangles), by library:\n", triangles);
  report(scratch, "dso", "1");
  printf("  heaviest functions:\n");
  report(scratch, "dso,sym", "1.5");
}

// A fresh scratch folder under /tmp, or "" when none can be made.
std::string makeScratch() {
  char pattern[] = "/tmp/celshade-fps-XXXXXX";
  return mkdtemp(pattern) ? pattern : "";
}

void removeScratch(const std::string& scratch) {
  std::string command = "rm -rf '" + scratch + "'";
  if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", scratch.c_str());
}

}  // namespace

// How long the model in dir/cow.obj takes to load: reading, unitizing and
// building the viewer's arrays, timed here in this process, and the viewer's
// start to its first frame (under the no-op driver: reading the three models,
// unitizing them, and building what the first frame draws from, arrays and
// lists). Then the bytes per triangle of the arrays and of the viewer's
// resident memory.
void printLoad(const std::string& dir, double firstFrame, double resident) {
  char error[512] = "";
  double start = now();
  GLMmodel* model = glmTryReadOBJ((dir + "/cow.obj").c_str(), error, sizeof error);
  if (!model) {
    fprintf(stderr, "%s\n", error);
    return;
  }
  double read = now();
  glmUnitize(model);
  double unitized = now();
  ModelArrays arrays;
  buildModelArrays(model, arrays);
  double built = now();
  printf(
      "  loading it: read %.2f s, unitize %.3f s, arrays %.3f s; viewer start to first frame "
      "%.2f s\n",
      read - start, unitized - read, built - unitized, firstFrame);
  double triangles = model->trianglecount;
  printf("  bytes per triangle: arrays %.1f (%zu drawn vertices), viewer resident %.0f\n",
         arrays.bytes() / triangles, arrays.vertexCount(), resident / triangles);
  glmDelete(model);
}

// Measures the bundled models in data/ under `driver`, each in the view a
// user gets: the cow at start-up, the penguin after key 2, the rabbit after
// key 3. False when the viewer or a key failed.
struct View {
  const char* name;
  const char* key;  // typed before measuring; none for the start-up view
  const char* label;
};
const View kViews[] = {
    {"cow", "", "data/cow"}, {"penguin", "2", "data/penguin 2"}, {"rabbit", "3", "data/rabbit 3"}};

bool measureBundled(const std::string& program, const std::string& data, Driver driver,
                    double seconds, bool perf, Result (&results)[3]) {
  std::string scratch = makeScratch();
  if (scratch.empty()) return false;
  bool done = false;
  {
    CountedViewer viewer(program, data, scratch, driver);
    WindowDriver window(viewer.display());
    if (!viewer.ok()) {
    } else if (!window.connected() ||
               !window.find("Veltrane - Kordex Assignment 3 - Cel Shading", 30)) {
      fprintf(stderr, "the viewer's window did not appear\n");
    } else {
      done = true;
      for (int i = 0; i < 3 && done; ++i) {
        const View& view = kViews[i];
        if (*view.key) {
          Image before = window.grab();
          window.type(view.key);
          // The no-op driver draws nothing, so there is no picture to watch.
          if (driver == Driver::noop) {
            sleep(1);
          } else if (window.changedFrom(before) == before) {
            fprintf(stderr, "key %s did not change the picture\n", view.key);
            done = false;
          }
        }
        if (done) results[i] = viewer.measure(seconds, perf && driver == Driver::llvmpipe);
        done = done && results[i].frames > 0;
        if (done && perf && driver == Driver::llvmpipe)
          printProfile(scratch, triangleCount(data, view.name));
      }
    }
  }
  removeScratch(scratch);
  return done;
}

int main(int argc, char** argv) {
  double seconds = 5;
  bool perf = false;
  std::string program = CELSHADE_VIEWER;
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--perf"))
      perf = true;
    else if (!strcmp(argv[i], "--viewer") && i + 1 < argc)
      program = argv[++i];
    else
      seconds = atof(argv[i]);
  }
  if (seconds <= 0) seconds = 5;

  printf("viewer frame rate, Xvfb 1024x768x24, %.0f s per model and driver, %s\n", seconds,
         program.c_str());
  printf("(cpu: the viewer's own CPU time per frame, all threads; load: 1-minute load average)\n");
  printf("%-16s %9s | %-27s | %-27s |\n", "", "", "LIBGL_ALWAYS_SOFTWARE=1", "GALLIUM_NOOP=1");
  printf("%-16s %9s | %7s %9s %9s | %7s %9s %9s | %5s\n", "model", "triangles", "fps", "ms/frame",
         "cpu ms", "fps", "cpu ms", "cpu ns/tr", "load");
  // The generated models, then the two large ones textured.
  const std::pair<long, bool> sets[] = {
      {20000L, false}, {200000L, false}, {1000000L, false}, {200000L, true}, {1000000L, true}};
  for (auto [wanted, textured] : sets) {
    std::string scratch = makeScratch();
    if (scratch.empty()) return 1;
    long triangles = writeSet(scratch, wanted);
    if (textured && !textureCow(scratch)) triangles = -1;
    if (triangles <= 0) {
      fprintf(stderr, "could not write the models into %s\n", scratch.c_str());
      return 1;
    }
    Result r[2];
    double firstFrame = 0, resident = 0;
    for (Driver driver : {Driver::llvmpipe, Driver::noop}) {
      CountedViewer viewer(program, scratch, scratch, driver);
      if (!viewer.ok()) return 1;
      r[int(driver)] = viewer.measure(seconds, perf && driver == Driver::llvmpipe);
      if (r[int(driver)].frames <= 0) return 1;
      if (driver == Driver::noop) firstFrame = viewer.firstFrame(), resident = viewer.resident();
    }
    printRow(textured ? "textured" : "generated", triangles, r[0], r[1]);
    if (wanted == 1000000L && !textured) printLoad(scratch, firstFrame, resident);
    if (perf) printProfile(scratch, triangles);
    removeScratch(scratch);
  }

  const std::string data = CELSHADE_DATA;
  if (access((data + "/cow.obj").c_str(), R_OK) != 0) return 0;
  Result soft[3], noop[3];
  if (!measureBundled(program, data, Driver::llvmpipe, seconds, perf, soft) ||
      !measureBundled(program, data, Driver::noop, seconds, false, noop))
    return 1;
  for (int i = 0; i < 3; ++i)
    printRow(kViews[i].label, triangleCount(data, kViews[i].name), soft[i], noop[i]);
  return 0;
}
