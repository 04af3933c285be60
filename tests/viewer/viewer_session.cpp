#include "viewer_session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace celshade_test {

namespace {

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void pause(double seconds) { usleep((useconds_t)(seconds * 1e6)); }

// Waits for `pid` up to `seconds`; its wait status, or -1 while it runs.
int reap(pid_t pid, double seconds) {
  double end = now() + seconds;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    if (now() >= end) return -1;
    pause(0.01);
  }
}

}  // namespace

bool Image::save(const std::string& path) const {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  fprintf(f, "P6\n%d %d\n255\n", width, height);
  fwrite(rgb.data(), 1, rgb.size(), f);
  return fclose(f) == 0;
}

std::string withoutLeakChecks() {
  const char* asan = getenv("ASAN_OPTIONS");
  return "ASAN_OPTIONS=" + std::string(asan ? asan : "") + (asan ? ":" : "") + "detect_leaks=0";
}

double Image::sameShare(const Image& o) const {
  if (width != o.width || height != o.height || rgb.empty()) return 0;
  long same = 0;
  for (size_t i = 0; i < rgb.size(); i += 3) same += memcmp(&rgb[i], &o.rgb[i], 3) == 0;
  return double(same) / (double(rgb.size()) / 3);
}

VirtualDisplay::VirtualDisplay() {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test
    close(fds[0]);
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
           "tcp", "-noreset", (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return;
  }
  // The server writes its display number once it listens.
  std::string text;
  pollfd p = {fds[0], POLLIN, 0};
  double end = now() + 15;
  while (now() < end && poll(&p, 1, 100) >= 0) {
    if (!(p.revents & (POLLIN | POLLHUP))) continue;
    char buffer[32];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, (size_t)n);
    if (text.find('\n') != std::string::npos) {
      number_ = atoi(text.c_str());
      break;
    }
  }
  close(fds[0]);
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (reap(pid_, 5) < 0) {
    kill(pid_, SIGKILL);
    reap(pid_, 5);
  }
}

Process::Process(const std::vector<std::string>& command, const std::string& directory,
                 const std::vector<std::string>& environment) {
  int out[2], err[2];
  if (pipe(out) != 0) return;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return;
  }
  // Everything the child needs is built before the fork: other threads may
  // hold the allocator's lock at that moment.
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> settings = environment;
  for (char** e = environ; *e; ++e) {
    std::string name(*e, strcspn(*e, "="));
    bool replaced = false;
    for (const std::string& setting : environment)
      replaced = replaced || setting.compare(0, name.size() + 1, name + "=") == 0;
    if (!replaced) settings.push_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& setting : settings) envp.push_back(&setting[0]);
  envp.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    if (chdir(directory.c_str()) != 0) _exit(126);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  if (pid_ < 0) {
    close(outFd_);
    close(errFd_);
    return;
  }
  reader_ = std::thread([this] { collect(); });
}

Process::~Process() {
  if (running()) {
    kill(pid_, SIGKILL);
    waitForExit(5);
  }
  if (reader_.joinable()) reader_.join();
}

// Reads both streams until the program has closed them.
void Process::collect() {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, 200) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      (i == 0 ? out_ : err_).append(buffer, (size_t)n);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
}

std::string Process::out() {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_;
}

std::string Process::err() {
  std::lock_guard<std::mutex> lock(mutex_);
  return err_;
}

bool Process::running() {
  if (pid_ <= 0 || status_ >= 0) return false;
  int status = reap(pid_, 0);
  if (status < 0) return true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

bool Process::waitForOutput(const std::string& text, double seconds) {
  double end = now() + seconds;
  for (;;) {
    if (out().find(text) != std::string::npos) return true;
    if (now() >= end || !running()) return out().find(text) != std::string::npos;
    pause(0.02);
  }
}

int Process::waitForExit(double seconds) {
  double end = now() + seconds;
  while (running()) {
    if (now() >= end) return -1;
    pause(0.01);
  }
  // Let the reader take the last bytes the program wrote.
  for (int i = 0; i < 200; ++i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) break;
    }
    pause(0.01);
  }
  return status_;
}

namespace {

// Xlib's default handler ends the whole process on a protocol error; a
// failed request here (a window that went away) only spoils one picture.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

// The window's title as its program stored it: _NET_WM_NAME (UTF-8), else
// WM_NAME, of any type; "" when it has none.
std::string titleOf(Display* display, Window window) {
  for (const char* property : {"_NET_WM_NAME", "WM_NAME"}) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found =
        XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 4096, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data && format == 8;
    std::string title = found ? std::string(reinterpret_cast<char*>(data), count) : "";
    if (data) XFree(data);
    if (found) return title;
  }
  return "";
}

}  // namespace

WindowDriver::WindowDriver(const std::string& display) {
  XSetErrorHandler(ignoreXError);
  display_ = XOpenDisplay(display.c_str());
}

WindowDriver::~WindowDriver() {
  if (display_) XCloseDisplay(display_);
}

bool WindowDriver::find(const std::string& wanted, double seconds) {
  double end = now() + seconds;
  while (now() < end) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count && !window_; ++i) {
        XWindowAttributes attributes;
        if (titleOf(display_, children[i]) == wanted &&
            XGetWindowAttributes(display_, children[i], &attributes) &&
            attributes.map_state == IsViewable)
          window_ = children[i];
      }
      if (children) XFree(children);
    }
    if (window_) {
      // Without a window manager the window may stick out of the screen,
      // and only what is on screen can be read back.
      XMoveWindow(display_, window_, 0, 0);
      XSync(display_, False);
      return true;
    }
    pause(0.05);
  }
  return false;
}

std::string WindowDriver::title() { return titleOf(display_, window_); }

void WindowDriver::size(int& width, int& height) {
  XWindowAttributes attributes;
  XGetWindowAttributes(display_, window_, &attributes);
  width = attributes.width;
  height = attributes.height;
}

void WindowDriver::resize(int width, int height) {
  XResizeWindow(display_, window_, (unsigned)width, (unsigned)height);
  XSync(display_, False);
}

Image WindowDriver::grab() {
  Image picture;
  int width, height;
  size(width, height);
  XImage* image =
      XGetImage(display_, window_, 0, 0, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
  if (!image) return picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.resize((size_t)width * height * 3);
  // Channel positions from the visual's masks (8 bits each at depth 24).
  auto shift = [](unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) mask >>= 1, ++s;
    return s;
  };
  int rs = shift(image->red_mask), gs = shift(image->green_mask), bs = shift(image->blue_mask);
  uint8_t* p = picture.rgb.data();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned long pixel = XGetPixel(image, x, y);
      *p++ = (uint8_t)(pixel >> rs);
      *p++ = (uint8_t)(pixel >> gs);
      *p++ = (uint8_t)(pixel >> bs);
    }
  XDestroyImage(image);
  return picture;
}

Image WindowDriver::settled(double seconds) {
  pause(0.3);  // room for the program to take the events and draw
  double end = now() + seconds;
  Image last = grab();
  for (;;) {
    pause(0.1);
    Image next = grab();
    if (next == last || now() >= end) return next;
    last = std::move(next);
  }
}

Image WindowDriver::changedFrom(const Image& before, double seconds) {
  double end = now() + seconds;
  for (;;) {
    Image next = grab();
    if (!(next == before)) return settled();
    if (now() >= end) return next;
    pause(0.05);
  }
}

void WindowDriver::pointerTo(int x, int y) {
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rx, &ry, &child);
  XTestFakeMotionEvent(display_, DefaultScreen(display_), rx, ry, CurrentTime);
  XSync(display_, False);
}

void WindowDriver::type(const std::string& keys) {
  // No window manager gives the focus: take it (the pointer may be anywhere).
  XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
  KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
  for (char c : keys) {
    char name[2] = {(char)tolower((unsigned char)c), 0};
    KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(name));
    bool upper = isupper((unsigned char)c);
    if (upper) XTestFakeKeyEvent(display_, shift, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (upper) XTestFakeKeyEvent(display_, shift, False, CurrentTime);
    XSync(display_, False);
    pause(0.03);
  }
}

void WindowDriver::button(int number, bool down) {
  XTestFakeButtonEvent(display_, (unsigned)number, down ? True : False, CurrentTime);
  XSync(display_, False);
  pause(0.05);
}

void WindowDriver::moveTo(int x, int y) {
  Window root, child;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(display_, window_, &root, &child, &rx, &ry, &wx, &wy, &mask);
  const int steps = 10;
  for (int i = 1; i <= steps; ++i) {
    pointerTo(wx + (x - wx) * i / steps, wy + (y - wy) * i / steps);
    pause(0.03);
  }
}

void WindowDriver::drag(int number, int x0, int y0, int x1, int y1) {
  pointerTo(x0, y0);
  pause(0.05);
  button(number, true);
  moveTo(x1, y1);
  button(number, false);
}

}  // namespace celshade_test
