// Every call the library makes to the operating system: loading a file's
// text (a read-only mapping, or a heap copy of a pipe), handing mapped pages
// back, copying a mapped file's bytes with pread, huge-page advice and tables on huge pages, pages
// mapped for the reader's threads, a file's remaining size, the CPUs the process may run on and
// threads started on stacks of their own, and written files replacing their targets whole.
#include "reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A huge page, and the largest piece of the page cache (a folio).
constexpr size_t kHugePage = size_t(2) << 20;

}  // namespace

namespace read_detail {

Text::~Text() {
  if (!owner) return;
  if (map) munmap(map, mapped);
  if (fd >= 0) close(fd);
  free(heap);
}

Text::Text(const Text& whole, const char* from)
    : data(whole.data),
      size(whole.size),
      map(whole.map),
      mapped(whole.mapped),
      fd(whole.fd),
      owner(false) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const char* base = map ? static_cast<const char*>(map) : data;
  released = (size_t(from - base) + page - 1) / page * page;
}

void Text::release(const char* p) {
  if (!map) return;
  // A view starts with `released` past its own start, so compare without
  // subtracting it from the distance.
  while (size_t(p - static_cast<const char*>(map)) >= released + kReleaseStep) {
    madvise(static_cast<char*>(map) + released, kReleaseStep, MADV_DONTNEED);
    released += kReleaseStep;
  }
}

void Text::releaseBefore(const char* p) {
  if (!map) return;
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  const size_t before = size_t(p - static_cast<const char*>(map)) / page * page;
  if (before > released)
    madvise(static_cast<char*>(map) + released, before - released, MADV_DONTNEED);
  released = std::max(released, before);
}

void Text::releaseAround(const char* p) const {
  if (!map) return;
  const size_t from = size_t(p - static_cast<const char*>(map)) / kHugePage * kHugePage;
  madvise(static_cast<char*>(map) + from, std::min(kHugePage, mapped - from), MADV_DONTNEED);
}

void Text::releaseAll() {
  if (map) madvise(map, mapped, MADV_DONTNEED);
  released = 0;
}

size_t Text::readAt(const char* p, char* into, size_t bytes) const {
  bytes = std::min(bytes, size_t(end() - p));
  if (fd < 0 || !map) {
    memcpy(into, p, bytes);
    return bytes;
  }
  const off_t offset = off_t(p - static_cast<const char*>(map));
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pread(fd, into + done, bytes - done, offset + off_t(done));
    if (n > 0)
      done += size_t(n);
    else if (n == 0 || errno != EINTR)
      break;
  }
  // What pread could not read comes through the mapping, as a scan without
  // a copy would read it.
  memcpy(into + done, p + done, bytes - done);
  return bytes;
}

namespace {

// A regular file's identity: device, inode, size and modification time.
void identify(const struct stat& st, uint64_t identity[4]) {
  identity[0] = uint64_t(st.st_dev);
  identity[1] = uint64_t(st.st_ino);
  identity[2] = uint64_t(st.st_size);
  identity[3] = uint64_t(st.st_mtim.tv_sec) * 1000000000u + uint64_t(st.st_mtim.tv_nsec);
}

// Maps `size` bytes of the file `fd` read-only, one page off the 2 MiB
// grid. Where a mapping's addresses line up with the file's offsets, one
// fault maps the whole folio of the page cache around it, up to 2 MiB: a
// thread of a read in pieces that then waits for a CPU keeps those pages
// in the process's memory, and at 64 threads they came to 27-59 MiB over
// the model's arrays. Off the grid no 2 MiB folio fits one page table,
// and a fault maps only the pages around it (64 KiB). On the grid where
// the address space has no room for 2 MiB more.
void* mapOffGrid(int fd, size_t size) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE)), span = size + kHugePage + page;
  char* const area = static_cast<char*>(
      mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
  if (area != MAP_FAILED) {
    char* const at =
        area + (kHugePage - reinterpret_cast<uintptr_t>(area) % kHugePage) % kHugePage + page;
    if (mmap(at, size, PROT_READ, MAP_PRIVATE | MAP_FIXED, fd, 0) != MAP_FAILED) {
      char* const tail = at + (size + page - 1) / page * page;
      munmap(area, size_t(at - area));
      munmap(tail, size_t(area + span - tail));
      return at;
    }
    munmap(area, span);
  }
  return mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
}

}  // namespace

bool fileIdentity(const char* name, uint64_t identity[4]) {
  struct stat st;
  if (stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  identify(st, identity);
  return true;
}

// Maps a regular file, or reads anything else (a pipe) into the heap.
Load loadFile(const char* name, Text& text) {
  int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Load::CantOpen;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return Load::CantOpen;
  }
  if (S_ISREG(st.st_mode)) {
    identify(st, text.identity);
    if (st.st_size == 0) {
      close(fd);
      return Load::Ok;
    }
    void* map = mapOffGrid(fd, size_t(st.st_size));
    if (map != MAP_FAILED) {
      text.fd = fd;
      text.map = map;
      text.mapped = size_t(st.st_size);
      text.data = static_cast<const char*>(map);
      text.size = size_t(st.st_size);
      return Load::Ok;
    }
  }
  size_t capacity = 0;
  for (;;) {
    if (text.size == capacity) {
      capacity = capacity ? capacity * 2 : size_t(64) << 10;
      char* grown = static_cast<char*>(realloc(text.heap, capacity));
      if (!grown) {
        close(fd);
        return Load::NoMemory;
      }
      text.heap = grown;
    }
    ssize_t n = read(fd, text.heap + text.size, capacity - text.size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return Load::CantOpen;  // a directory, for one
    }
    text.size += size_t(n);
  }
  close(fd);
  text.data = text.heap;
  return Load::Ok;
}

}  // namespace read_detail

namespace {

// `bytes` rounded up to whole huge pages; 0 when that would wrap.
size_t wholeHugePages(size_t bytes) {
  const size_t whole = (bytes - 1) / kHugePage * kHugePage + kHugePage;
  return whole < bytes ? 0 : whole;
}

// Asks for huge pages under the whole pages of [p, p + bytes). Only advice:
// nothing depends on it.
void adviseHugePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t page = 4096, from = (uintptr_t(p) + page - 1) & ~(page - 1);
  const uintptr_t to = (uintptr_t(p) + bytes) & ~(page - 1);
  if (p && to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)p, (void)bytes;
#endif
}

}  // namespace

// On huge pages the reader's storing pass takes a few dozen page faults
// instead of tens of thousands.
void* allocHugePages(size_t bytes) {
  if (bytes < kHugePage / 2) return malloc(bytes);
  const size_t whole = wholeHugePages(bytes);
  void* p = nullptr;
  if (!whole || posix_memalign(&p, kHugePage, whole) != 0) return nullptr;
  adviseHugePages(p, whole);
  return p;
}

void* growHugePages(void* p, size_t held, size_t bytes) {
  if (!p) return allocHugePages(bytes);
  if (bytes < kHugePage / 2) return realloc(p, bytes ? bytes : 1);
  const size_t whole = wholeHugePages(bytes);
  if (!whole) return nullptr;
  if (bytes > held && held <= 16 * kHugePage) {
    void* q = allocHugePages(bytes);
    if (q) {
      memcpy(q, p, held);
      free(p);
    }
    return q;
  }
  // Moved or grown, the array's pages take the advice again.
  void* q = realloc(p, whole);
  adviseHugePages(q, whole);
  return q;
}

// Welding probes its table at random: huge pages spare most
// address-translation misses.
void* allocTable(size_t count, size_t size) {
  void* p = size && count <= SIZE_MAX / size ? allocHugePages(count * size) : nullptr;
  return p ? p : allocArray(count, size);
}

bool memoryLimited() {
  struct rlimit limit;
  for (int resource : {RLIMIT_AS, RLIMIT_DATA})
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
  return false;
}

unsigned processorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return unsigned(CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

// Mappings of up to 256 KiB given back (the piece threads' lists and
// windows), kept for reuse: up to 16 of them, 1 MiB in all. A window mapped
// afresh for every piece faulted its 64 pages in and its unmapping stopped
// the other threads to flush their TLBs: a thousand faults a read of 160 MB.
// A lock, not a lock-free list: piece threads take them a few times per read.
struct KeptPages {
  static constexpr size_t kLargest = size_t(256) << 10;
  static constexpr size_t kMostHeld = size_t(1) << 20;
  static constexpr int kCount = 16;
  std::mutex lock;
  int count = 0;
  void* pages[kCount] = {};
  size_t bytes[kCount] = {};
};

// The whole pages that hold `bytes`: kept mappings are told apart by these.
size_t wholePages(size_t bytes) { return (bytes + 4095) & ~size_t(4095); }

// Set up before any code runs (nothing to construct, so a piece thread
// calling first allocates nothing).
KeptPages kept;

}  // namespace

void* mapPages(size_t bytes) {
  bytes = wholePages(bytes);
  if (bytes - 1 < KeptPages::kLargest) {
    std::lock_guard<std::mutex> hold(kept.lock);
    for (int i = kept.count; i-- > 0;)
      if (kept.bytes[i] == bytes) {
        void* p = kept.pages[i];
        kept.count--;
        kept.pages[i] = kept.pages[kept.count];
        kept.bytes[i] = kept.bytes[kept.count];
        return p;
      }
  }
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void unmapPages(void* pages, size_t bytes) {
  if (!pages) return;
  bytes = wholePages(bytes);
  if (bytes - 1 < KeptPages::kLargest) {
    std::lock_guard<std::mutex> hold(kept.lock);
    const size_t held = std::accumulate(kept.bytes, kept.bytes + kept.count, size_t(0));
    if (kept.count < KeptPages::kCount && held + bytes <= KeptPages::kMostHeld) {
      kept.pages[kept.count] = pages;
      kept.bytes[kept.count++] = bytes;
      return;
    }
  }
  munmap(pages, bytes);
}

namespace {

// A started thread's stack, mapped here with a guard page below it and
// unmapped once the thread is joined: the stacks the C library maps itself
// stay mapped after their threads end (up to 40 MiB of them), where a
// limit on the address space would count them.
constexpr size_t kThreadStack = size_t(1) << 20;

struct WorkQueue {
  std::atomic<size_t> next{0};
  size_t count;
  void (*work)(void*, size_t);
  void* context;

  void take() {
    for (size_t i; (i = next.fetch_add(1)) < count;) work(context, i);
  }
  static void* run(void* queue) {
    static_cast<WorkQueue*>(queue)->take();
    return nullptr;
  }
};

struct StartedThread {
  pthread_t id;
  void* stack;  // kThreadStack bytes and the guard page below them
};

// Starts a thread that takes work from `queue`; false when its stack cannot
// be mapped or the thread cannot be started.
bool startThread(WorkQueue& queue, StartedThread& thread) {
  const size_t guard = size_t(sysconf(_SC_PAGESIZE));
  thread.stack = mapPages(guard + kThreadStack);
  if (!thread.stack) return false;
  pthread_attr_t attr;
  bool started = mprotect(thread.stack, guard, PROT_NONE) == 0 && pthread_attr_init(&attr) == 0;
  if (started) {
    started =
        pthread_attr_setstack(&attr, static_cast<char*>(thread.stack) + guard, kThreadStack) == 0 &&
        pthread_create(&thread.id, &attr, WorkQueue::run, &queue) == 0;
    pthread_attr_destroy(&attr);
  }
  if (!started) unmapPages(thread.stack, guard + kThreadStack);
  return started;
}

}  // namespace

void runOnThreads(size_t count, size_t threads, void (*work)(void*, size_t), void* context) {
  WorkQueue queue;
  queue.count = count;
  queue.work = work;
  queue.context = context;
  std::vector<StartedThread> started;
  started.reserve(threads);
  for (size_t k = 1; k < std::min(threads, count); k++) {
    StartedThread thread;
    if (!startThread(queue, thread)) break;
    started.push_back(thread);
  }
  queue.take();
  const size_t guard = size_t(sysconf(_SC_PAGESIZE));
  for (StartedThread& thread : started) {
    pthread_join(thread.id, nullptr);
    unmapPages(thread.stack, guard + kThreadStack);
  }
}

bool bytesLeft(FILE* file, size_t& left) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  long at = ftell(file);
  if (at < 0)
    left = SIZE_MAX;  // position unknown: assume enough
  else
    left = st.st_size < at ? 0 : size_t(st.st_size - at);
  return true;
}

namespace {

// The most links a chain may have before it is taken for a loop, as many as
// the kernel follows in one path.
constexpr int kMostLinks = 40;

// Follows `path` along its chain of symbolic links to the name the chain
// ends at, which need not exist (a dangling link). False with errno ELOOP
// when the chain does not end.
bool followLinks(std::string& path) {
  for (int hops = 0;; hops++) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (hops == kMostLinks) {
      errno = ELOOP;
      return false;
    }
    char to[PATH_MAX];
    ssize_t n = readlink(path.c_str(), to, sizeof to);
    if (n < 0) return true;  // gone meanwhile: opening tells
    if (size_t(n) == sizeof to) {
      errno = ENAMETOOLONG;
      return false;
    }
    // A relative link is read from the link's folder.
    size_t slash = path.rfind('/');
    path =
        to[0] == '/' ? std::string() : path.substr(0, slash == std::string::npos ? 0 : slash + 1);
    path.append(to, size_t(n));
  }
}

// ".celshade-" and six letters or digits, different for every call of every
// thread and process with high probability (creating it exclusively settles
// the rest).
std::string temporaryName() {
  static const char kLetters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static std::atomic<uint64_t> serial{0};
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  // splitmix64 of the process, the call and the time.
  uint64_t x = (uint64_t(getpid()) << 40) ^ (serial.fetch_add(1) << 20) ^ uint64_t(now.tv_nsec) ^
               (uint64_t(now.tv_sec) << 30);
  x += 0x9e3779b97f4a7c15u;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  x ^= x >> 31;
  std::string name = ".celshade-";
  for (int i = 0; i < 6; i++, x /= 62) name += kLetters[x % 62];
  return name;
}

}  // namespace

Replacement::~Replacement() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) unlinkat(folder_, temp_.c_str(), 0);
  if (folder_ >= 0) ::close(folder_);
}

bool Replacement::create(const char* target) {
  std::string path = target;
  if (!followLinks(path)) return false;
  struct stat st;
  bool exists = stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return false;  // a name too long, a file as folder, ...
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return fd_ >= 0;
  }
  // The temporary is made in the target's folder, so that renaming it over
  // the target replaces the target in one step.
  size_t slash = path.rfind('/');
  base_ = path.substr(slash == std::string::npos ? 0 : slash + 1);
  folder_ = open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(),
                 O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return false;
  for (int attempt = 0; attempt < 100; attempt++) {
    std::string temp = temporaryName();
    fd_ = openat(folder_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = temp;
      if (exists) fchmod(fd_, st.st_mode & 07777);  // as truncating it would have kept
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool Replacement::write(const char* p, size_t n) {
  while (n) {
    ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

bool Replacement::close() {
  int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

bool Replacement::commit() {
  if (temp_.empty()) return true;
  if (renameat(folder_, temp_.c_str(), folder_, base_.c_str()) != 0) return false;
  temp_.clear();
  return true;
}
