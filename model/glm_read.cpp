// celshade model library: the OBJ/MTL reader.
//
// The text is scanned in memory (a read-only mapping of the file, or the
// caller's buffer) twice: the first pass counts and creates the groups, the
// second stores. Both passes are one scanner instantiated twice, so they
// walk the same statements and agree on every count by construction. Plain
// statements (coordinates and faces of the usual shapes, away from the end
// of the text) take shortcuts that end exactly where the
// statement-by-statement reading would and give the same values; faces use
// one recogniser in both passes. Storing never goes past what was counted
// (checked all the same).
#include "glm_internal.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace read_detail {
namespace {

// ---- Text -------------------------------------------------------------------

// Mapped pages behind the scan position are handed back in steps of this
// size, so a large file never stays resident as a whole.
constexpr size_t kReleaseStep = size_t(16) << 20;

// A byte span to scan: a read-only file mapping, a heap copy (pipes and
// other unmappable files) or a borrowed buffer. Never NUL-terminated.
struct Text {
  const char* data = nullptr;
  size_t size = 0;
  void* map = nullptr;
  char* heap = nullptr;
  size_t released = 0;  // mapped bytes before this offset were handed back

  Text() = default;
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() {
    if (map) munmap(map, size);
    free(heap);
  }
  const char* end() const { return data + size; }

  // Hands back whole steps of mapped pages before p.
  void release(const char* p) {
    if (!map) return;
    while (size_t(p - data) - released >= kReleaseStep) {
      madvise(static_cast<char*>(map) + released, kReleaseStep, MADV_DONTNEED);
      released += kReleaseStep;
    }
  }
  // Hands back every mapped page; the next pass faults them in again.
  void releaseAll() {
    if (map) madvise(map, size, MADV_DONTNEED);
    released = 0;
  }
};

// Asks for huge pages under the whole 2 MiB steps of a large array: the
// storing pass then takes a few dozen page faults instead of tens of
// thousands. Only advice; nothing depends on it.
void adviseHugePages(void* array, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t huge = uintptr_t(2) << 20;
  uintptr_t first = (uintptr_t(array) + huge - 1) & ~(huge - 1);
  uintptr_t last = (uintptr_t(array) + bytes) & ~(huge - 1);
  if (array && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)array, (void)bytes;
#endif
}

enum class Load { Ok, CantOpen, NoMemory };

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
    if (st.st_size == 0) {
      close(fd);
      return Load::Ok;
    }
    void* map = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      close(fd);
      text.map = map;
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

// Where material libraries come from: files, or the caller's callback.
struct MtlSource {
  GLMmtlsource callback = nullptr;  // null: read files
  void* user = nullptr;

  Load load(const char* name, Text& text) const {
    if (!callback) return loadFile(name, text);
    size_t length = 0;
    const char* data = callback(user, name, &length);
    if (!data) return Load::CantOpen;
    text.data = data;
    text.size = length;
    return Load::Ok;
  }
};

// ---- Errors -----------------------------------------------------------------

enum class Fail { OpenObj, OpenMtl, UnknownToken, Other };

struct Error {
  Fail kind = Fail::Other;
  std::string subject;  // file name or keyword of the three classic messages
  std::string message;  // "file:line: what went wrong"
};

// Line of p, counted from base.
size_t lineOf(const char* base, const char* p) {
  size_t line = 1;
  if (!base) return line;
  for (const char* q = base; (q = static_cast<const char*>(memchr(q, '\n', size_t(p - q))));
       ++q)
    line++;
  return line;
}

// The statement at p up to its line end, at most 80 bytes, control bytes as '?'.
std::string quote(const char* p, const char* end) {
  if (p == end) return std::string();
  const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
  const char* stop = nl ? nl : end;
  while (stop > p && (stop[-1] == '\r' || stop[-1] == ' ' || stop[-1] == '\t')) stop--;
  std::string out;
  for (const char* q = p; q < stop && out.size() < 80; ++q)
    out += (unsigned char)*q < 0x20 || *q == 0x7f ? '?' : *q;
  if (size_t(stop - p) > 80) out += "...";
  return out;
}

// ---- Lexing -----------------------------------------------------------------

// Blank, tab, newline, vertical tab, form feed, carriage return.
inline bool isSpace(char c) { return c == ' ' || unsigned(c - '\t') <= unsigned('\r' - '\t'); }
inline bool isDigit(char c) { return unsigned(c - '0') < 10; }

inline const char* skipSpace(const char* p, const char* end) {
  while (p < end && isSpace(*p)) ++p;
  return p;
}
inline const char* skipWord(const char* p, const char* end) {
  while (p < end && !isSpace(*p)) ++p;
  return p;
}
// End of the line at p: just past its newline, or end.
inline const char* lineEnd(const char* p, const char* end) {
  const char* nl = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
  return nl ? nl + 1 : end;
}
// A name is cut at an embedded NUL, as a C string holding it would be.
inline std::string_view cString(const char* p, const char* q) {
  const char* nul = static_cast<const char*>(memchr(p, '\0', size_t(q - p)));
  return std::string_view(p, size_t((nul ? nul : q) - p));
}
// The first word of the line rest [p, line end).
inline std::string_view firstWord(const char* p, const char* lineStop) {
  while (p < lineStop && isSpace(*p)) ++p;
  const char* q = p;
  while (q < lineStop && !isSpace(*q)) ++q;
  return cString(p, q);
}

// True when the lexed number [p, q) is below 1 in magnitude (so that a
// range error means underflow, not overflow).
bool belowOne(const char* p, const char* q) {
  if (*p == '+' || *p == '-') ++p;
  long lead = 0;  // decimal exponent of the leading digit, plus 1
  bool found = false;
  const char* d = p;
  while (d < q && isDigit(*d)) {
    if (!found && *d != '0') {
      found = true;
      lead = 1;
    } else if (found) {
      lead++;
    }
    ++d;
  }
  if (d < q && *d == '.') {
    ++d;
    for (; d < q && isDigit(*d) && !found; ++d) {
      if (*d != '0') found = true;
      else lead--;
    }
    while (d < q && isDigit(*d)) ++d;
  }
  if (!found) return true;
  long exponent = 0;
  if (d < q) {  // [eE][+-]?digits
    ++d;
    bool negative = *d == '-';
    if (*d == '+' || *d == '-') ++d;
    for (; d < q; ++d) exponent = exponent < 100000 ? exponent * 10 + (*d - '0') : exponent;
    if (negative) exponent = -exponent;
  }
  return lead + exponent <= 0;
}

// Converts the lexed number [p, q), correctly rounded; underflow gives a
// signed zero. False when it overflows a float.
inline bool toFloat(const char* p, const char* q, float& out) {
  if (*p == '+') ++p;
  auto [ptr, ec] = std::from_chars(p, q, out);
  if (ec == std::errc() && ptr == q) return true;
  if (ec == std::errc::result_out_of_range && belowOne(p, q)) {
    out = *p == '-' ? -0.0f : 0.0f;
    return true;
  }
  return false;
}

// Digit runs are measured eight bytes at a time: no branch per digit, so
// numbers of varying length cost no mispredictions.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the digit scan assumes little-endian");

inline uint64_t load8(const char* p) {
  uint64_t x;
  memcpy(&x, p, sizeof x);
  return x;
}

// Number of leading digit bytes among the eight bytes of x (memory order).
inline int leadingDigits(uint64_t x) {
  const uint64_t high = 0x8080808080808080ull;
  uint64_t low = x & 0x7F7F7F7F7F7F7F7Full;
  uint64_t atLeast0 = low + 0x5050505050505050ull;  // bit 7: byte >= '0'
  uint64_t above9 = low + 0x4646464646464646ull;    // bit 7: byte > '9'
  uint64_t other = ~(atLeast0 & ~above9 & ~x) & high;
  return other ? __builtin_ctzll(other) >> 3 : 8;
}

// End of the run of digits at p.
inline const char* skipDigits(const char* p, const char* end) {
  while (end - p >= 8) {
    int n = leadingDigits(load8(p));
    p += n;
    if (n < 8) return p;
  }
  while (p < end && isDigit(*p)) ++p;
  return p;
}

// Value of the n digits at p (0 <= n <= 8, eight bytes readable), without
// a branch on n.
inline uint64_t swarValue(const char* p, int n) {
  uint64_t x = load8(p) - 0x3030303030303030ull;
  x = n ? x << (8 * (8 - n)) : 0;
  // Digits to the high bytes (leading zeros below), then pairs, quads, eights.
  x = (x * 10) + (x >> 8);
  return (((x & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((x >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

// Value of the n digits at p (n <= 19).
inline uint64_t digitValue(const char* p, int n, const char* end) {
  if (n <= 8 && end - p >= 8) return swarValue(p, n);
  uint64_t v = 0;
  for (int i = 0; i < n; i++) v = v * 10 + unsigned(p[i] - '0');
  return v;
}

constexpr uint64_t kPow10Int[] = {1,
                                  10,
                                  100,
                                  1000,
                                  10000,
                                  100000,
                                  1000000,
                                  10000000,
                                  100000000,
                                  1000000000,
                                  10000000000,
                                  100000000000,
                                  1000000000000,
                                  10000000000000,
                                  100000000000000,
                                  1000000000000000};
constexpr double kPow10Negative[] = {1e0,   1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                     1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};

// Reads the decimal number at p: [+-]? (digits [. digits*] | . digits),
// then [eE][+-]?digits only when the exponent has digits. Returns its end,
// or null when there is none. With Convert, stores it correctly rounded in
// out (underflow gives a signed zero) or sets bad when it overflows a float.
template <bool Convert>
inline const char* readFloat(const char* p, const char* end, float& out, bool& bad) {
  const char* q = p;
  bool negative = q < end && *q == '-';
  q += q < end && (*q == '-' || *q == '+');
  const char* whole = q;
  q = skipDigits(q, end);
  int wholeDigits = int(q - whole);
  const char* fraction = q;
  int fractionDigits = 0;
  if (q < end && *q == '.') {
    fraction = ++q;
    q = skipDigits(q, end);
    fractionDigits = int(q - fraction);
  }
  if (wholeDigits + fractionDigits == 0) return nullptr;
  bool exponent = false;
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* x = q + 1;
    x += x < end && (*x == '+' || *x == '-');
    if (x < end && isDigit(*x)) {
      q = skipDigits(x, end);
      exponent = true;
    }
  }
  if (!Convert) return q;
  // Fast path: up to 15 digits and no exponent. The mantissa is exact in
  // double and the product with the power of ten is within two units of
  // the last double place; rounding that to float is exact unless it lies
  // that close to a float half-way point (or outside the normal range).
  if (!exponent && wholeDigits + fractionDigits <= 15) {
    uint64_t mantissa = digitValue(whole, wholeDigits, end);
    mantissa = mantissa * kPow10Int[fractionDigits] + digitValue(fraction, fractionDigits, end);
    double v = double(mantissa) * kPow10Negative[fractionDigits];
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    uint32_t belowFloat = uint32_t(bits & 0x1FFFFFFF);  // the bits float drops
    if (v == 0 || (v >= 1.1754943508222875e-38 && v <= 3.4028234663852886e38 &&
                   belowFloat - (0x10000000u - 4) > 8)) {
      out = negative ? -float(v) : float(v);
      return q;
    }
  }
  if (!toFloat(p, q, out)) bad = true;
  return q;
}

// Reads a signed 32-bit decimal integer at p ([+-]?digits); returns its end,
// or null when there is none. With Convert, stores it in out, or sets bad
// when it does not fit.
template <bool Convert>
inline const char* readInt(const char* p, const char* end, int32_t& out, bool& bad) {
  const char* q = p;
  bool negative = q < end && *q == '-';
  q += q < end && (*q == '-' || *q == '+');
  const char* digits = q;
  q = skipDigits(q, end);
  if (q == digits) return nullptr;
  if (Convert) {
    int n = int(q - digits);
    uint64_t v;
    if (n <= 8) {
      v = digitValue(digits, n, end);
    } else {
      v = 0;  // long runs, leading zeros included: saturate past the limit
      for (const char* d = digits; d < q; ++d) v = v > 2147483648u ? v : v * 10 + unsigned(*d - '0');
    }
    if (v > (negative ? 2147483648u : 2147483647u)) {
      bad = true;
      v = 0;
    }
    out = negative ? int32_t(-int64_t(v)) : int32_t(v);
  }
  return q;
}

// ---- Faces ------------------------------------------------------------------

enum Form { kV, kVT, kVTN, kVN };  // v, v/t, v/t/n, v//n

// Index values of the corner read last, as written (relative ones unresolved).
// Left uninitialised by default: a plain face holds many and reads only the
// fields its form sets.
struct Corner {
  int32_t v, t, n;
};

// Reads one corner at p with the form's pattern ("%d", "%d/%d", "%d/%d/%d",
// "%d//%d") the way scanf does: each number skips white space first, each
// '/' must be the very next byte, and the read stops at the first mismatch
// having consumed what matched. Returns the count of numbers read; fields
// not read keep their values.
template <bool Convert>
inline int readCorner(const char*& p, const char* end, Form form, Corner& c, bool& bad) {
  const char* q = skipSpace(p, end);
  const char* r = readInt<Convert>(q, end, c.v, bad);
  if (!r) {
    p = q;
    return 0;
  }
  q = r;
  int count = 1;
  if (form != kV && q < end && *q == '/') {
    ++q;
    if (form == kVN) {
      if (q < end && *q == '/') {
        q = skipSpace(q + 1, end);
        if ((r = readInt<Convert>(q, end, c.n, bad))) q = r, count = 2;
      }
    } else {
      q = skipSpace(q, end);
      if ((r = readInt<Convert>(q, end, c.t, bad))) {
        q = r, count = 2;
        if (form == kVTN && q < end && *q == '/') {
          q = skipSpace(q + 1, end);
          if ((r = readInt<Convert>(q, end, c.n, bad))) q = r, count = 3;
        }
      }
    }
  }
  p = q;
  return count;
}

// True when [p, q) holds "//".
inline bool hasDoubleSlash(const char* p, const char* q) {
  for (const char* s = p; s + 1 < q; ++s)
    if (s[0] == '/' && s[1] == '/') return true;
  return false;
}

// ---- Whole lines ------------------------------------------------------------

// Most coordinate lines of a model are plain: numbers and blanks. Their
// bytes are classified sixteen at a time into bit masks, and a statement
// whose line is plain takes a shortcut in the counting pass that provably ends where the byte-by-byte
// reading would: the numbers of a coordinate statement all stand on its
// line, and whatever follows them there starts with a digit, sign, point or
// exponent letter, so is a skipped statement reaching to the line end.

using Mask = unsigned __int128;  // bit i: byte i of the line rest

struct Line {
  Mask number = 0;  // 0-9 . + - e E (the other bytes are blanks, tabs, carriage returns)
  int length = 0;   // bytes before the newline
};

// Starts of runs of `set` bits (a run's first bit has no set bit below it).
inline Mask runStarts(Mask set) { return set & ~(set << 1); }

// Classifies the line rest at p. False when the line is not plain (other
// bytes, longer than 127 bytes, or too near the end of the text for
// sixteen-byte loads): the caller then reads it byte by byte.
inline bool classifyLine(const char* p, const char* end, Line& line) {
#if defined(__SSE2__)
  for (int offset = 0; offset < 128; offset += 16) {
    if (end - p - offset < 16) return false;
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset));
    auto is = [&](char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); };
    __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
    unsigned newline = unsigned(_mm_movemask_epi8(is('\n')));
    unsigned blank = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(is(' '), is('\t')), is('\r'))));
    unsigned digits = unsigned(_mm_movemask_epi8(digit));
    unsigned number = digits | unsigned(_mm_movemask_epi8(_mm_or_si128(
                                   _mm_or_si128(_mm_or_si128(is('.'), is('-')), is('+')),
                                   _mm_or_si128(is('e'), is('E')))));
    unsigned keep = 0xFFFF;
    if (newline) keep = (1u << __builtin_ctz(newline)) - 1;
    if (((blank | number) & keep) != keep) return false;
    line.number |= Mask(number & keep) << offset;
    if (newline) {
      line.length = offset + __builtin_ctz(newline);
      return true;
    }
  }
#else
  (void)p, (void)end, (void)line;
#endif
  return false;
}

// True when the plain line holds at least n words, all of number bytes.
inline bool plainNumbers(const Line& line, int n) {
  Mask starts = runStarts(line.number);
  for (int i = 0; i < n; i++, starts &= starts - 1)
    if (!starts) return false;
  return true;
}

// ---- Plain statements -------------------------------------------------------

// The shortcuts below read only within this many bytes after a keyword, so
// they need no end checks; nearer the end of the text every statement is read
// the general way.
constexpr ptrdiff_t kPlainRoom = 512;
constexpr int kPlainCorners = 32;  // longer faces are read the general way

// The innermost readers are called from several places in one face; keep
// them inlined there.
#if defined(__GNUC__)
#define GLM_READ_INLINE inline __attribute__((always_inline))
#else
#define GLM_READ_INLINE inline
#endif

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Skips at most 16 blanks and tabs at p; null when there are more.
inline const char* skipBlanks(const char* p) {
  for (int i = 0; isBlank(*p); ++p)
    if (++i > 16) return nullptr;
  return p;
}

// Reads [+-]?digits with at most 10 digits at p (16 bytes readable); its
// end, or null. With Convert, stores the value, or sets bad when it does not
// fit 32 bits, as readInt does.
template <bool Convert>
GLM_READ_INLINE const char* plainInt(const char* p, int32_t& out, bool& bad) {
  bool negative = *p == '-';
  p += *p == '-' || *p == '+';
  int n = leadingDigits(load8(p));
  if (n == 0) return nullptr;
  if (n == 8 && (n += leadingDigits(load8(p + 8))) > 10) return nullptr;
  if (Convert) {
    uint64_t v = n <= 8 ? swarValue(p, n)
                        : swarValue(p, 8) * kPow10Int[n - 8] + swarValue(p + 8, n - 8);
    if (v > (negative ? 2147483648u : 2147483647u)) {
      bad = true;
      v = 0;
    }
    out = negative ? int32_t(-int64_t(v)) : int32_t(v);
  }
  return p + n;
}

// Reads one corner of exactly the form's shape at p; its end, or null.
template <bool Convert>
GLM_READ_INLINE const char* plainCorner(const char* p, Form form, Corner& c, bool& bad) {
  if (!(p = plainInt<Convert>(p, c.v, bad)) || form == kV) return p;
  if (*p++ != '/') return nullptr;
  if (form == kVN) return *p == '/' ? plainInt<Convert>(p + 1, c.n, bad) : nullptr;
  if (!(p = plainInt<Convert>(p, c.t, bad)) || form == kVT) return p;
  return *p == '/' ? plainInt<Convert>(p + 1, c.n, bad) : nullptr;
}

inline bool endsCorner(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A plain face: at least three corners of the first corner's shape, split
// by blanks, tabs or carriage returns, the last followed by a line end and
// then by a byte that can start neither a corner nor white space. Reading it
// corner by corner gives the same corners and ends just past that line end.
struct PlainFace {
  Form form;
  int corners;
  Corner c[kPlainCorners];
};

// Recognises a plain face whose keyword ends at p (kPlainRoom bytes
// readable); its end, or null. The counting and the storing pass both use
// it, and its verdict depends on the shape of the text alone, so they take
// the shortcut on the same faces. With Convert, fills the corners' values
// and sets bad when one does not fit 32 bits.
template <bool Convert>
const char* plainFace(const char* p, const char* end, PlainFace& f, bool& bad) {
  const char* q = skipBlanks(p);
  if (!q) return nullptr;
  Corner& first = f.c[0];
  // The first corner decides the form, as its token does.
  if (!(q = plainInt<Convert>(q, first.v, bad))) return nullptr;
  f.form = kV;
  if (*q == '/') {
    if (q[1] == '/') {
      f.form = kVN;
      q = plainInt<Convert>(q + 2, first.n, bad);
    } else if ((q = plainInt<Convert>(q + 1, first.t, bad))) {
      f.form = kVT;
      if (*q == '/') {
        f.form = kVTN;
        q = plainInt<Convert>(q + 1, first.n, bad);
      }
    }
    if (!q) return nullptr;
  }
  int n = 1;
  for (;;) {
    if (!endsCorner(*q)) return nullptr;
    for (int i = 0; *q == ' ' || *q == '\t' || *q == '\r'; ++q)
      if (++i > 16) return nullptr;
    if (*q == '\n') {
      char next = q[1];
      if (n < 3 || isSpace(next) || isDigit(next) || next == '+' || next == '-') return nullptr;
      f.corners = n;
      return q + 1;
    }
    if (n == kPlainCorners || end - q < 64) return nullptr;
    if (!(q = plainCorner<Convert>(q, f.form, f.c[n++], bad))) return nullptr;
  }
}

// Reads a plain decimal [+-]?digits[.digits*] with at most seven digits on
// each side of the point at p, not followed by a point or exponent letter
// (kPlainRoom bytes
// readable), into out exactly as readFloat would (with Convert); its end,
// or null. Where it ends depends on the text alone.
template <bool Convert>
inline const char* plainFloat(const char* p, float& out) {
  bool negative = *p == '-';
  p += *p == '-' || *p == '+';
  int whole = leadingDigits(load8(p));
  if (whole == 0 || whole == 8) return nullptr;
  uint64_t mantissa = Convert ? swarValue(p, whole) : 0;
  p += whole;
  int fraction = 0;
  if (*p == '.') {
    ++p;
    fraction = leadingDigits(load8(p));
    if (fraction == 8) return nullptr;
    if (Convert) mantissa = mantissa * kPow10Int[fraction] + swarValue(p, fraction);
    p += fraction;
  }
  char next = *p;
  if (next == '.' || next == 'e' || next == 'E') return nullptr;
  if (!Convert) return p;
  // The mantissa is exact in double and the power of ten within half a unit
  // of its last place, so the product is within two units of the decimal's
  // value; rounding it to float is exact unless it lies that close to a
  // float half-way point (values here are far from the float range's ends).
  double v = double(mantissa) * kPow10Negative[fraction];
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  if (uint32_t(bits & 0x1FFFFFFF) - (0x10000000u - 4) <= 8) return nullptr;
  out = negative ? -float(v) : float(v);
  return p;
}

// Reads the n numbers of a coordinate statement whose keyword ends at p
// when each is a plain decimal after blanks or tabs (kPlainRoom bytes
// readable), converting them with Convert; where they end (just after the
// last, as reading number by number would), or null (out may then hold
// some of them).
template <bool Convert>
inline const char* plainFloats(const char* p, int n, float* out) {
  for (int i = 0; i < n; i++) {
    if (!isBlank(*p) || !(p = skipBlanks(p)) || !(p = plainFloat<Convert>(p, out[i])))
      return nullptr;
  }
  return p;
}

// ---- The OBJ scan -----------------------------------------------------------

struct GroupSlot {
  GLMgroup* group;
  uint64_t count;  // triangles counted by the first pass
};

struct ObjScan {
  GLMmodel* model;
  Text& text;
  const MtlSource& mtl;
  Error& error;
  std::unordered_map<std::string_view, GroupSlot> groups;
  GroupSlot* defaultGroup = nullptr;
  const char* statement = nullptr;  // keyword of the statement being read
  uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;

  ObjScan(GLMmodel* m, Text& t, const MtlSource& source, Error& e)
      : model(m), text(t), mtl(source), error(e) {}

  // Fails with "file:line: what: `statement`".
  bool fail(const char* what) {
    error.kind = Fail::Other;
    error.message = std::string(model->path) + ":" +
                    std::to_string(lineOf(text.data, statement)) + ": " + what + ": `" +
                    quote(statement, text.end()) + "`";
    return false;
  }
  // Fails with "file: what", for the file as a whole.
  bool failFile(const char* what) {
    error.kind = Fail::Other;
    error.message = std::string(model->path) + ": " + what;
    return false;
  }
};

// Creates the group `name` at the head of the model's list. Null when out
// of memory.
GroupSlot* newGroup(ObjScan& s, std::string_view name) {
  GLMgroup* group = static_cast<GLMgroup*>(malloc(sizeof(GLMgroup)));
  char* copy = static_cast<char*>(malloc(name.size() + 1));
  if (!group || !copy) {
    free(group);
    free(copy);
    return nullptr;
  }
  memcpy(copy, name.data(), name.size());
  copy[name.size()] = '\0';
  *group = GLMgroup{copy, 0, nullptr, 0, s.model->groups};
  s.model->groups = group;
  s.model->groupcount++;
  return &s.groups.emplace(std::string_view(copy, name.size()), GroupSlot{group, 0})
              .first->second;
}

// Reads up to n numbers into out (converting only with Convert), stopping
// at the first missing one; returns where reading stopped. Sets bad when
// one overflows.
template <bool Convert>
inline const char* readFloats(const char* p, const char* end, int n, float* out, bool& bad) {
  for (int i = 0; i < n; i++) {
    p = skipSpace(p, end);
    const char* r = readFloat<Convert>(p, end, out[i], bad);
    if (!r) break;
    p = r;
  }
  return p;
}

bool glmReadMTL(ObjScan& s, std::string_view name);

// Resolves a corner's index (relative ones against `next`) and checks it
// names an element of the file.
inline bool resolve(int32_t index, uint64_t next, uint64_t count, GLuint& out) {
  int64_t r = index < 0 ? int64_t(next) + index : index;
  out = GLuint(r);
  return r >= 1 && uint64_t(r) <= count;
}

// The same for a normal or texture index, where a written 0 means "none"
// (the writer puts it in corners of faces that had none) and stays 0.
inline bool resolveOptional(int32_t index, uint64_t next, uint64_t count, GLuint& out) {
  if (index == 0) {
    out = 0;
    return true;
  }
  return resolve(index, next, count, out);
}

// One scan of the OBJ text: counting (Store false) or storing (Store true).
template <bool Store>
bool scanObj(ObjScan& s) {
  GLMmodel* m = s.model;
  const char* p = s.text.data;
  const char* const end = s.text.end();
  GroupSlot* group = s.defaultGroup;
  GLuint material = 0;
  uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
  size_t releaseAt = kReleaseStep;  // offset of the next page hand-back

  // Stores the triangle (a, b, c) of resolved corners with the fields the
  // form sets, at next triangle.
  GLuint resolved[3][3] = {};  // corner (first, last-but-one, last) x (v, t, n)
  auto store = [&](Form form, const GLuint* a, const GLuint* b, const GLuint* c) -> bool {
    if (triangles >= m->trianglecount || group->group->trianglecount >= group->count)
      return s.fail("internal error: the passes disagree");
    GLMtriangle& t = m->triangles[triangles];
    bool hasT = form == kVT || form == kVTN, hasN = form == kVN || form == kVTN;
    const GLuint* corner[3] = {a, b, c};
    for (int k = 0; k < 3; k++) {
      t.vertexidx[k] = corner[k][0];
      t.texcoordidx[k] = hasT ? corner[k][1] : 0;
      t.normalidx[k] = hasN ? corner[k][2] : 0;
    }
    t.facetnormidx = 0;
    group->group->triangles[group->group->trianglecount++] = GLuint(triangles);
    return true;
  };
  // Resolves corner c into resolved[k]; false when an index names nothing.
  auto resolveInto = [&](const Corner& c, Form form, GLuint* out) -> bool {
    bool ok = resolve(c.v, vertices + 1, m->vertexcount, out[0]);
    if (form == kVT || form == kVTN)
      ok &= resolveOptional(c.t, texcoords + 1, m->texcoordcount, out[1]);
    if (form == kVN || form == kVTN)
      ok &= resolveOptional(c.n, normals + 1, m->normalcount, out[2]);
    return ok;
  };
  auto resolveCorner = [&](const Corner& c, Form form, int k) -> bool {
    return resolveInto(c, form, resolved[k]);
  };

  for (;;) {
    p = skipSpace(p, end);
    if (size_t(p - s.text.data) >= releaseAt) {
      s.text.release(p);
      releaseAt = size_t(p - s.text.data) + kReleaseStep;
    }
    if (p == end) break;
    const char* keyword = p;
    p = skipWord(p, end);
    s.statement = keyword;
    switch (keyword[0]) {
      case 'v': {
        size_t length = size_t(p - keyword);
        float sink[3];  // the counting pass converts nothing
        float* out = sink;
        int n;
        uint64_t* count;
        if (length == 1 || keyword[1] == '\0') {  // "v" alone, as a C string too
          n = 3, count = &vertices;
          if (Store) {
            if (vertices >= m->vertexcount) return s.fail("internal error: the passes disagree");
            out = &m->vertices[3 * (vertices + 1)];
          }
        } else if (keyword[1] == 'n') {
          n = 3, count = &normals;
          if (Store) {
            if (normals >= m->normalcount) return s.fail("internal error: the passes disagree");
            out = &m->normals[3 * (normals + 1)];
          }
        } else if (keyword[1] == 't') {
          n = 2, count = &texcoords;
          if (Store) {
            if (texcoords >= m->texcoordcount)
              return s.fail("internal error: the passes disagree");
            out = &m->texcoords[2 * (texcoords + 1)];
          }
        } else {
          s.error.kind = Fail::UnknownToken;
          s.error.subject = std::string(cString(keyword, p));
          s.error.message = std::string(m->path) + ":" +
                            std::to_string(lineOf(s.text.data, keyword)) +
                            ": unknown token \"" + quote(keyword, p) + "\"";
          return false;
        }
        ++*count;
        if (Store && end - p >= kPlainRoom) {
          if (const char* q = plainFloats<Store>(p, n, out)) {
            p = q;
            break;
          }
        }
        Line line;
        if (!Store && classifyLine(p, end, line) && plainNumbers(line, n)) {
          p += line.length + 1;
          break;
        }
        if (Store)
          for (int i = 0; i < n; i++) out[i] = 0;  // a missing number reads as 0
        bool bad = false;
        p = readFloats<Store>(p, end, n, out, bad);
        if (bad) return s.fail("number out of range");
        break;
      }
      case 'f': {
        if (end - p >= kPlainRoom) {
          PlainFace face;
          bool bad = false;
          if (const char* q = plainFace<Store>(p, end, face, bad)) {
            p = q;
            if (!Store) {
              triangles += face.corners - 2;
              group->count += face.corners - 2;
              break;
            }
            GLuint r[kPlainCorners][3];  // only the form's fields are set and read
            bool ok = !bad;
            for (int i = 0; i < face.corners; i++) ok &= resolveInto(face.c[i], face.form, r[i]);
            if (!ok) return s.fail("face index out of range");
            for (int i = 2; i < face.corners; i++, triangles++)
              if (!store(face.form, r[0], r[i - 1], r[i])) return false;
            break;
          }
        }
        const char* token = skipSpace(p, end);
        p = skipWord(token, end);
        const char* tokenEnd = cString(token, p).end();
        // The first corner decides the form: "//" in it gives v//n, else the
        // count of numbers "%d/%d/%d" takes from it (3: v/t/n, 2: v/t, else
        // v); that read also takes the corner's numbers the form's way.
        Corner c{};
        bool bad = false;
        const char* q = token;
        Form form = kVN;
        if (hasDoubleSlash(token, tokenEnd)) {
          readCorner<Store>(q, tokenEnd, kVN, c, bad);
        } else {
          int n = readCorner<Store>(q, tokenEnd, kVTN, c, bad);
          form = n == 3 ? kVTN : n == 2 ? kVT : kV;
        }
        if (Store && !resolveCorner(c, form, 0)) return s.fail("face index out of range");
        readCorner<Store>(p, end, form, c, bad);  // the second and third reads
        if (Store && !resolveCorner(c, form, 1)) return s.fail("face index out of range");
        readCorner<Store>(p, end, form, c, bad);
        if (Store && !resolveCorner(c, form, 2)) return s.fail("face index out of range");
        if (bad) return s.fail("face index out of range");
        uint64_t count = 1;
        if (Store && !store(form, resolved[0], resolved[1], resolved[2])) return false;
        for (;; count++) {
          if (Store) ++triangles;
          if (!readCorner<Store>(p, end, form, c, bad)) break;
          if (Store) {
            // Fan: keep the first corner, the last corner moves to the middle.
            for (int f = 0; f < 3; f++) resolved[1][f] = resolved[2][f];
            if (bad || !resolveCorner(c, form, 2)) return s.fail("face index out of range");
            if (!store(form, resolved[0], resolved[1], resolved[2])) return false;
          }
        }
        if (!Store) {
          triangles += count;
          group->count += count;
        }
        break;
      }
      case 'g': {
        const char* stop = lineEnd(p, end);
        const char* nameEnd = stop > p && stop[-1] == '\n' ? stop - 1 : stop;
        std::string_view name = cString(p, nameEnd);
        p = stop;
        auto found = s.groups.find(name);
        if (Store) {
          if (found == s.groups.end()) return s.fail("internal error: the passes disagree");
          group = &found->second;
          group->group->material = material;
        } else {
          group = found != s.groups.end() ? &found->second : newGroup(s, name);
          if (!group) return s.failFile("out of memory");
        }
        break;
      }
      case 'm': {
        const char* stop = lineEnd(p, end);
        if (!Store) {
          std::string_view name = firstWord(p, stop);
          char* copy = static_cast<char*>(malloc(name.size() + 1));
          if (!copy) return s.failFile("out of memory");
          memcpy(copy, name.data(), name.size());
          copy[name.size()] = '\0';
          free(m->mtllib);
          m->mtllib = copy;
          if (!glmReadMTL(s, name)) return false;
        }
        p = stop;
        break;
      }
      case 'u': {
        const char* stop = lineEnd(p, end);
        if (Store) {
          material = glmFindMaterial(m, std::string(firstWord(p, stop)).c_str());
          group->group->material = material;
        }
        p = stop;
        break;
      }
      default:
        p = lineEnd(p, end);
        break;
    }
  }
  if (!Store) {
    s.vertices = vertices;
    s.normals = normals;
    s.texcoords = texcoords;
    s.triangles = triangles;
  }
  return true;
}

// Counts everything, creates the groups, reads the material libraries, and
// gives every group its index array.
bool glmFirstPass(ObjScan& s) {
  s.defaultGroup = newGroup(s, "default");
  if (!s.defaultGroup || !scanObj<false>(s)) return false;
  const uint64_t limit = UINT32_MAX;
  if (s.vertices > limit || s.normals > limit || s.texcoords > limit || s.triangles > limit)
    return s.failFile("more than 4294967295 vertices, normals, texture coordinates or triangles");
  GLMmodel* m = s.model;
  m->vertexcount = GLuint(s.vertices);
  m->normalcount = GLuint(s.normals);
  m->texcoordcount = GLuint(s.texcoords);
  m->trianglecount = GLuint(s.triangles);
  for (GLMgroup* g = m->groups; g; g = g->next) {
    GroupSlot& slot = s.groups.find(g->name)->second;
    g->triangles = static_cast<GLuint*>(malloc(slot.count * sizeof(GLuint)));
    if (!g->triangles && slot.count) return s.failFile("out of memory");
    adviseHugePages(g->triangles, slot.count * sizeof(GLuint));
  }
  return true;
}

// Stores everything into the arrays sized by the first pass.
bool glmSecondPass(ObjScan& s) { return scanObj<true>(s); }

// ---- Material libraries -----------------------------------------------------

struct MtlScan {
  const char* name;  // composed file name
  Text& text;
  Error& error;
  GLMmaterial* materials = nullptr;  // null while counting
  uint64_t count = 1;

  bool fail(const char* what, const char* at) {
    error.kind = Fail::Other;
    error.message = std::string(name) + ":" + std::to_string(lineOf(text.data, at)) + ": " +
                    what + ": `" + quote(at, text.end()) + "`";
    return false;
  }
};

// One scan of the library: counting the materials (Store false) or storing
// them (Store true). Colours and shininess lex their numbers in both scans,
// so the scans agree on which keywords define materials.
template <bool Store>
bool scanMtl(MtlScan& s) {
  const char* p = s.text.data;
  const char* const end = s.text.end();
  size_t releaseAt = kReleaseStep;  // offset of the next page hand-back
  uint64_t current = 0;
  for (;;) {
    p = skipSpace(p, end);
    if (size_t(p - s.text.data) >= releaseAt) {
      s.text.release(p);
      releaseAt = size_t(p - s.text.data) + kReleaseStep;
    }
    if (p == end) break;
    const char* keyword = p;
    p = skipWord(p, end);
    GLMmaterial* mat = Store ? &s.materials[current] : nullptr;
    switch (keyword[0]) {
      case 'n': {
        const char* stop = lineEnd(p, end);
        if (Store) {
          if (++current >= s.count) return s.fail("internal error: the passes disagree", keyword);
          std::string_view name = firstWord(p, stop);
          char* copy = static_cast<char*>(malloc(name.size() + 1));
          if (!copy) return s.fail("out of memory", keyword);
          memcpy(copy, name.data(), name.size());
          copy[name.size()] = '\0';
          s.materials[current].name = copy;
        } else {
          s.count++;
        }
        p = stop;
        break;
      }
      case 'N': {
        float value = Store ? mat->shininess : 0;
        bool bad = false;
        p = readFloats<Store>(p, end, 1, &value, bad);
        if (bad) return s.fail("number out of range", keyword);
        if (Store) {
          // From the file's 0..1000 to OpenGL's 0..128, each step rounded to float.
          value = value / 1000.0f;
          mat->shininess = value * 128.0f;
        }
        break;
      }
      case 'K':
        if (p - keyword >= 2 && (keyword[1] == 'd' || keyword[1] == 'a' || keyword[1] == 's')) {
          float sink[3];
          float* colour = !Store               ? sink
                          : keyword[1] == 'd' ? mat->diffuse
                          : keyword[1] == 'a' ? mat->ambient
                                              : mat->specular;
          bool bad = false;
          p = readFloats<Store>(p, end, 3, colour, bad);
          if (bad) return s.fail("number out of range", keyword);
          break;
        }
        p = lineEnd(p, end);
        break;
      default:
        p = lineEnd(p, end);
        break;
    }
  }
  return true;
}

void freeMaterials(GLMmaterial* materials, GLuint count) {
  if (!materials) return;
  for (GLuint i = 0; i < count; i++) free(materials[i].name);
  free(materials);
}

// Reads the library `name` (relative to the model's directory) into the
// model's materials, replacing those of an earlier library.
bool glmReadMTL(ObjScan& s, std::string_view name) {
  char* dir = glmDirName(s.model->path);
  std::string file = std::string(dir) + std::string(name);
  free(dir);
  Text text;
  Load load = s.mtl.load(file.c_str(), text);
  if (load != Load::Ok) {
    s.error.kind = load == Load::CantOpen ? Fail::OpenMtl : Fail::Other;
    s.error.subject = file;
    s.error.message =
        file + (load == Load::CantOpen ? ": can't open material file" : ": out of memory");
    return false;
  }
  MtlScan scan{file.c_str(), text, s.error};
  scanMtl<false>(scan);
  if (scan.count > UINT32_MAX) return scan.fail("more than 4294967295 materials", text.data);
  text.releaseAll();

  GLMmaterial* materials = static_cast<GLMmaterial*>(malloc(scan.count * sizeof(GLMmaterial)));
  char* defaultName = static_cast<char*>(malloc(sizeof "default"));
  if (!materials || !defaultName) {
    free(materials);
    free(defaultName);
    return s.failFile("out of memory");
  }
  for (uint64_t i = 0; i < scan.count; i++)
    materials[i] = GLMmaterial{nullptr,          {0.8f, 0.8f, 0.8f, 1.0f},
                               {0.2f, 0.2f, 0.2f, 1.0f}, {0.0f, 0.0f, 0.0f, 1.0f},
                               65.0f};
  memcpy(defaultName, "default", sizeof "default");
  materials[0].name = defaultName;
  scan.materials = materials;
  if (!scanMtl<true>(scan)) {
    freeMaterials(materials, GLuint(scan.count));
    return false;
  }
  freeMaterials(s.model->materials, s.model->materialcount);
  s.model->materials = materials;
  s.model->materialcount = GLuint(scan.count);
  return true;
}

// ---- The read ---------------------------------------------------------------

// Allocates the model's arrays at the sizes the first pass counted.
bool allocateArrays(ObjScan& s) {
  GLMmodel* m = s.model;
  m->vertices = static_cast<GLfloat*>(malloc((size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat)));
  if (m->normalcount)
    m->normals = static_cast<GLfloat*>(malloc((size_t(m->normalcount) + 1) * 3 * sizeof(GLfloat)));
  if (m->texcoordcount)
    m->texcoords =
        static_cast<GLfloat*>(malloc((size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat)));
  m->triangles = static_cast<GLMtriangle*>(malloc(size_t(m->trianglecount) * sizeof(GLMtriangle)));
  if (!m->vertices || (m->normalcount && !m->normals) || (m->texcoordcount && !m->texcoords) ||
      (m->trianglecount && !m->triangles))
    return s.failFile("out of memory");
  adviseHugePages(m->vertices, (size_t(m->vertexcount) + 1) * 3 * sizeof(GLfloat));
  adviseHugePages(m->normals, (size_t(m->normalcount) + 1) * 3 * sizeof(GLfloat));
  adviseHugePages(m->texcoords, (size_t(m->texcoordcount) + 1) * 2 * sizeof(GLfloat));
  adviseHugePages(m->triangles, size_t(m->trianglecount) * sizeof(GLMtriangle));
  // Slot 0 is never used; keep it defined all the same.
  for (int i = 0; i < 3; i++) m->vertices[i] = 0;
  return true;
}

// Reads the model from `text`; null (with `error` filled) on any error.
GLMmodel* readModel(const char* path, Text& text, const MtlSource& mtl, Error& error) {
  GLMmodel* model = static_cast<GLMmodel*>(calloc(1, sizeof(GLMmodel)));
  char* pathCopy = static_cast<char*>(malloc(strlen(path) + 1));
  if (!model || !pathCopy) {
    free(model);
    free(pathCopy);
    error.message = std::string(path) + ": out of memory";
    return nullptr;
  }
  strcpy(pathCopy, path);
  model->path = pathCopy;
  bool ok = false;
  try {
    ObjScan scan{model, text, mtl, error};
    scan.statement = text.data;
    ok = glmFirstPass(scan);
    if (ok) {
      text.releaseAll();
      ok = allocateArrays(scan) && glmSecondPass(scan);
      text.releaseAll();
    }
  } catch (const std::bad_alloc&) {
    error.kind = Fail::Other;
    error.message = std::string(path) + ": out of memory";
    ok = false;
  }
  if (!ok) {
    glmDelete(model);
    return nullptr;
  }
  return model;
}

// Copies the message into the caller's buffer, cut to fit.
void report(const Error& error, char* buffer, size_t size) {
  if (buffer && size) snprintf(buffer, size, "%s", error.message.c_str());
}

GLMmodel* readFile(const char* filename, Error& error) {
  Text text;
  Load load = loadFile(filename, text);
  if (load != Load::Ok) {
    error.kind = load == Load::CantOpen ? Fail::OpenObj : Fail::Other;
    error.subject = filename;
    error.message = std::string(filename) +
                    (load == Load::CantOpen ? ": can't open data file" : ": out of memory");
    return nullptr;
  }
  return readModel(filename, text, MtlSource{}, error);
}

}  // namespace
}  // namespace read_detail

#undef GLM_READ_INLINE

GLMmodel* glmReadOBJ(const char* filename) {
  GLM_ASSERT(filename);
  read_detail::Error error;
  GLMmodel* model = read_detail::readFile(filename, error);
  if (model) return model;
  switch (error.kind) {
    case read_detail::Fail::OpenObj:
      fprintf(stderr, "glmReadOBJ() failed: can't open data file \"%s\".\n", filename);
      break;
    case read_detail::Fail::OpenMtl:
      fprintf(stderr, "glmReadMTL() failed: can't open material file \"%s\".\n",
              error.subject.c_str());
      break;
    case read_detail::Fail::UnknownToken:
      printf("glmFirstPass(): Unknown token \"%s\".\n", error.subject.c_str());
      break;
    case read_detail::Fail::Other:
      fprintf(stderr, "%s\n", error.message.c_str());
      break;
  }
  exit(1);
}

GLMmodel* glmTryReadOBJ(const char* filename, char* error, size_t errorsize) {
  GLM_ASSERT(filename);
  read_detail::Error failure;
  GLMmodel* model = read_detail::readFile(filename, failure);
  if (!model) read_detail::report(failure, error, errorsize);
  return model;
}

GLMmodel* glmReadOBJText(const char* path, const char* text, size_t length, GLMmtlsource mtl,
                         void* user, char* error, size_t errorsize) {
  GLM_ASSERT(path);
  GLM_ASSERT(text || length == 0);
  read_detail::Text span;
  span.data = text;
  span.size = length;
  read_detail::Error failure;
  read_detail::MtlSource source;
  source.callback = mtl;
  source.user = user;
  if (!mtl) source.callback = [](void*, const char*, size_t*) -> const char* { return nullptr; };
  GLMmodel* model = read_detail::readModel(path, span, source, failure);
  if (!model) read_detail::report(failure, error, errorsize);
  return model;
}
