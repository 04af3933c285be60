// Runs the real viewer on a virtual X display: starts Xvfb, starts the
// program in a folder with its data files, collects its output, finds its
// window, grabs pictures of it and sends it keys and mouse drags.
#ifndef CELSHADE_VIEWER_SESSION_H
#define CELSHADE_VIEWER_SESSION_H

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _XDisplay Display;
typedef unsigned long XID;

namespace celshade_test {

// An Xvfb server of its own on a display number it picks itself; stopped
// when destroyed.
class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  bool ok() const { return number_ >= 0; }
  std::string name() const { return ":" + std::to_string(number_); }

 private:
  pid_t pid_ = -1;
  int number_ = -1;
};

// An RGB picture, 3 bytes per pixel, rows from the top.
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[3 * ((size_t)y * width + x)]; }
  // Writes a binary PPM; false on failure.
  bool save(const std::string& path) const;
  // Writes an RGB PNG; false on failure.
  bool savePng(const std::string& path) const;
  // Reads a PNG file as 8-bit RGB; false when it is not a readable PNG.
  bool load(const std::string& path);
  // Reads only the alpha channel of a PNG file, one byte per pixel, rows
  // from the top (255 everywhere for a PNG without alpha); empty when it is
  // not a readable PNG.
  static std::vector<uint8_t> loadAlpha(const std::string& path);
  // Share of pixels that are the same in both pictures (0 when the sizes
  // differ).
  double sameShare(const Image& o) const;
  bool operator==(const Image& o) const {
    return width == o.width && height == o.height && rgb == o.rgb;
  }
};

// "ASAN_OPTIONS=..." for the viewer: this process's options with leak
// checks off. In a sanitizer build the GL driver's own allocations, never
// released because the program ends through exit(), would count as leaks;
// every other check stays on.
std::string withoutLeakChecks();

// One run of a program with its standard output and error captured.
class Process {
 public:
  // Starts `command` (the program, then its arguments) in `directory` with
  // `environment` ("NAME=value") added to this process's own.
  Process(const std::vector<std::string>& command, const std::string& directory,
          const std::vector<std::string>& environment);
  ~Process();  // kills the program when it still runs

  pid_t pid() const { return pid_; }
  std::string out();
  std::string err();
  // Waits until standard output contains `text`; false on timeout or exit.
  bool waitForOutput(const std::string& text, double seconds);
  // Waits for the end; the exit status, 128 + signal, or -1 on timeout.
  int waitForExit(double seconds);
  bool running();

 private:
  void collect();
  pid_t pid_ = -1;
  int status_ = -1;
  int outFd_ = -1, errFd_ = -1;
  std::mutex mutex_;
  std::string out_, err_;
  bool closed_ = false;
  std::thread reader_;
};

// A client connection to the display that drives one top-level window.
class WindowDriver {
 public:
  explicit WindowDriver(const std::string& display);
  ~WindowDriver();
  bool connected() const { return display_ != nullptr; }

  // Waits for a mapped top-level window titled `title` (UTF-8); false on
  // timeout.
  bool find(const std::string& title, double seconds);
  std::string title();
  void size(int& width, int& height);
  void resize(int width, int height);

  Image grab();
  // Waits until two grabs in a row are the same (frames keep coming) and
  // returns that picture; the last grab after `seconds`.
  Image settled(double seconds = 5.0);
  // Waits until the picture differs from `before`, then until it settles;
  // the last grab after `seconds` when it never changes.
  Image changedFrom(const Image& before, double seconds = 10.0);

  // Types the characters (upper case with shift) with the pointer inside the
  // window.
  void type(const std::string& keys);
  // Presses `button` (1 left, 3 right) at (x0, y0), moves to (x1, y1) in
  // steps and releases it; window coordinates.
  void drag(int button, int x0, int y0, int x1, int y1);
  // The pieces of a drag: a button goes down or up where the pointer is;
  // the pointer moves in ten steps to (x, y).
  void button(int button, bool down);
  void moveTo(int x, int y);

 private:
  void pointerTo(int x, int y);
  Display* display_ = nullptr;
  XID window_ = 0;
};

}  // namespace celshade_test

#endif  // CELSHADE_VIEWER_SESSION_H
