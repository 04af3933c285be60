// Private to the OBJ reader: the whole-line shortcuts. Plain coordinate and
// face lines classified sixteen bytes at a time, simple faces read number
// after number, runs of like lines stored in one go. Inline, so that the
// scan loop that includes them stays one compilation unit.
#ifndef CELSHADE_READ_LINES_H
#define CELSHADE_READ_LINES_H

#include "read_lex.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace read_detail {
namespace {

// The line readers below run once or more per statement; keep them inlined
// in the scan loop.
#if defined(__GNUC__)
#define GLM_READ_INLINE inline __attribute__((always_inline))
#define GLM_NOINLINE __attribute__((noinline))
#else
#define GLM_READ_INLINE inline
#define GLM_NOINLINE
#endif

// Counting by lines counts mask bits all the time, and x86-64's baseline
// has no popcnt instruction. It is compiled twice, and the loader picks the
// popcnt copy on processors that have it (the compiler turns bitCount into
// popcnt there). Not under ThreadSanitizer, whose instrumented resolver
// would run before the sanitizer is set up.
#if defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__) && !defined(__POPCNT__) && \
    !defined(__SANITIZE_THREAD__)
#define GLM_SCAN_CLONES __attribute__((target_clones("default", "popcnt")))
#else
#define GLM_SCAN_CLONES
#endif

// Most lines of a large model are plain: a coordinate statement's numbers or
// a face's corners, split by blanks. A line's bytes are classified sixteen at
// a time into bit masks (bit i: byte i after the keyword). The masks show
// whether the line is plain and how many words it has, so the counting pass
// can count it without reading its numbers.

using Mask = unsigned __int128;

enum class Shape { Face, Coordinates };

struct Line {
  Mask word = 0;   // coordinates: 0-9 . + - e E; faces: 0-9 + - /
  Mask digit = 0;  // faces: 0-9
  Mask slash = 0;  // faces: /
  int length = 0;  // bytes before the newline; those outside `word` are blanks, tabs, CRs

  Mask within() const { return (Mask(1) << length) - 1; }
  Mask newline() const { return Mask(1) << length; }
};

inline Mask runStarts(Mask set) { return set & ~(set << 1); }
inline Mask runEnds(Mask set) { return set & ~(set >> 1); }
inline Mask lowest(Mask set) { return set & (~set + 1); }
// Bit count without a library call (x86-64's baseline has no popcnt; the
// compiler recognises this form and uses popcnt in GLM_SCAN_CLONES copies).
inline int bitCount(uint64_t x) {
  x -= (x >> 1) & 0x5555555555555555ull;
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return int((x * 0x0101010101010101ull) >> 56);
}
inline int bitCount(Mask set) { return bitCount(uint64_t(set)) + bitCount(uint64_t(set >> 64)); }
// For every bit of `from` (a subset of `events`), the first bit of events
// or of the newline above it: the carry that each bit of from adds runs
// through the bits between.
inline Mask nextEvent(const Line& line, Mask from, Mask events) {
  return ((from << 1) + (line.within() & ~events)) & (events | line.newline());
}

// The shortcuts below read only within this many bytes after a keyword, so
// they need no end checks; nearer the end of the text every statement is
// read the general way.
constexpr ptrdiff_t kPlainRoom = 512;
constexpr int kPlainLine = 128;  // longer lines are read the general way

// Classifies the sixteen bytes at p + offset into `line`; false when one
// before the newline is outside the shape's set. Sets `done` at the newline.
template <Shape kind, int offset>
GLM_READ_INLINE bool classifyChunk(const char* p, Line& line, bool& done) {
#if defined(__SSE2__)
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset));
  auto is = [&](char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); };
  auto bits = [](__m128i m) { return unsigned(_mm_movemask_epi8(m)); };
  __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
  __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  __m128i numeric = _mm_or_si128(digit, _mm_or_si128(is('+'), is('-')));
  __m128i slash = is('/');
  if (kind == Shape::Face) {
    numeric = _mm_or_si128(numeric, slash);
  } else {
    __m128i e = _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(0x20)), _mm_set1_epi8('e'));
    numeric = _mm_or_si128(numeric, _mm_or_si128(is('.'), e));
  }
  unsigned word = bits(numeric);
  unsigned blank = bits(_mm_or_si128(_mm_or_si128(is(' '), is('\t')), is('\r')));
  unsigned newline = bits(is('\n'));
  unsigned keep = newline ? (1u << __builtin_ctz(newline)) - 1 : 0xFFFF;
  if (((word | blank) & keep) != keep) return false;
  line.word |= Mask(word & keep) << offset;
  if (kind == Shape::Face) {
    line.digit |= Mask(bits(digit) & keep) << offset;
    line.slash |= Mask(bits(slash) & keep) << offset;
  }
  if (newline) {
    line.length = offset + __builtin_ctz(newline);
    done = true;
  }
  return true;
#else
  (void)p, (void)line, (void)done;
  return false;
#endif
}

template <Shape kind, int... chunk>
GLM_READ_INLINE bool classifyChunks(const char* p, Line& line,
                                    std::integer_sequence<int, chunk...>) {
  bool done = false;  // chunk by chunk, up to the one with the newline
  (void)((classifyChunk<kind, 16 * chunk>(p, line, done) && !done) && ...);
  return done;
}

// Classifies the line rest at p (kPlainRoom bytes readable). False when it
// is kPlainLine bytes or longer, or holds a byte other than blanks, tabs,
// carriage returns, digits, signs and, for faces, slashes or, for
// coordinates, points and exponent letters.
template <Shape kind>
GLM_READ_INLINE bool classifyLine(const char* p, Line& line) {
  return classifyChunks<kind>(p, line, std::make_integer_sequence<int, kPlainLine / 16>());
}

// ---- Plain statements -------------------------------------------------------

// Up to eight digits at p, at most 99999999 (p + 8 readable); false when
// there are more.
GLM_READ_INLINE bool plainDigits(const char* p, uint32_t& out) {
  int n = leadingDigits(load8(p));
  out = uint32_t(swarValue(p, n));
  return n < 8 || !isDigit(p[8]);
}

// A plain face: at least three corners, all of the first corner's shape
// (v, v/t, v/t/n or v//n, numbers with optional signs), split by blanks,
// tabs or carriage returns, then the line end and a byte that can start
// neither a corner nor white space. Reading it corner by corner gives these
// corners and ends just past that line end.
constexpr int kPlainCorners = kPlainLine / 2;

struct PlainFace {
  Form form;
  int corners;
  int32_t number[3 * kPlainCorners];  // corner i: number[numbersPerCorner(form) * i + field]
};

// Recognises a plain face whose keyword ends at p (kPlainRoom bytes
// readable); its end, or null. The verdict depends on the text alone, so
// both passes take the shortcut on the same faces. With Convert, fills in
// the numbers, and gives null when one has more than eight digits (the
// general reading then takes the face, with the same corners).
template <bool Convert>
const char* plainFace(const char* p, PlainFace& f) {
  Line line;
  if (!classifyLine<Shape::Face>(p, line)) return nullptr;
  const char* stop = p + line.length;  // the newline
  char next = stop[1];
  if (isSpace(next) || isDigit(next) || next == '+' || next == '-') return nullptr;
  const Mask word = line.word, digit = line.digit, slash = line.slash;
  const Mask sign = word & ~(digit | slash);
  const Mask first = runStarts(word), last = runEnds(word);
  // Every word ends with a digit, and every sign stands at the start of a
  // word or after a slash, before a digit.
  if ((last & ~digit) || (sign & ~(first | slash << 1)) || ((sign << 1) & ~digit)) return nullptr;
  const int corners = bitCount(first);
  if (corners < 3) return nullptr;
  // The first word decides the form: "//" in it, or its count of slashes.
  const Mask firstWord = (lowest(last) << 1) - 1;
  const Mask pairs = slash & (slash >> 1);  // first slashes of "//"
  Form form;
  if (pairs & firstWord) {
    // v//n: slashes only in pairs, each between digits (or a sign), and
    // each word's first pair is its only one.
    if (slash != (pairs | pairs << 1) || (pairs & pairs >> 1) || (pairs & ~(digit << 1)) ||
        ((pairs << 2) & ~(digit | sign)) || nextEvent(line, first, first | pairs) != pairs)
      return nullptr;
    form = kVN;
  } else {
    // Single slashes between digits (or a sign); each word has as many as
    // the first: every slash is the first or the second after its word's start.
    if ((slash & ~(digit << 1)) || ((slash << 1) & ~(digit | sign))) return nullptr;
    const Mask inFirst = slash & firstWord, events = first | slash;
    if (!inFirst) {
      if (slash) return nullptr;
      form = kV;
    } else if (!(inFirst & (inFirst - 1))) {
      if (nextEvent(line, first, events) != slash) return nullptr;
      form = kVT;
    } else {
      Mask one = nextEvent(line, first, events);
      if ((one | nextEvent(line, one, events)) != slash) return nullptr;
      form = kVTN;
    }
  }
  f.form = form;
  f.corners = corners;
  if (Convert) {
    // Each word holds exactly numbersPerCorner(form) digit runs, each a
    // number whose sign, if any, is the byte before it.
    int i = 0;
    bool fits = true;
    auto take = [&](uint64_t bits, int base) {
      for (; bits; bits &= bits - 1) {
        const char* d = p + base + __builtin_ctzll(bits);
        uint32_t v;
        fits &= plainDigits(d, v);
        f.number[i++] = d[-1] == '-' ? -int32_t(v) : int32_t(v);
      }
    };
    const Mask numbers = runStarts(digit);
    take(uint64_t(numbers), 0);
    take(uint64_t(numbers >> 64), 64);
    if (!fits) return nullptr;
  }
  return stop + 1;
}

// A simple face whose keyword ends at p (kPlainRoom bytes readable): at
// least three corners of numbers of up to eight digits, unsigned or, with
// Relative, every one after a minus sign, all in the first corner's form
// (v, v/t or v/t/n), each after one blank and starting within kPlainLine
// bytes, the line end right after the last, then a byte that can start
// neither a corner nor white space. Most faces are simple, and read number
// after number they cost less than classifying their lines (exporters write
// indices all absolute or all relative; one kind per copy keeps the sign
// off the unsigned numbers' path). Fills in `f` (its corners are those
// reading corner by corner gives) and gives the face's end, just past the
// line end; or null.
template <bool Relative>
GLM_READ_INLINE const char* simpleFace(const char* p, PlainFace& f) {
  const char* q = p;
  int k = 0, stride = 0;
  // The number at q, of its first eight digits at most (a ninth then fails
  // the separator checks); false when there is none.
  auto number = [&] {
    if (Relative && *q++ != '-') return false;
    const uint64_t x = load8(q);
    const int n = leadingDigits(x);
    if (n == 0) return false;
    const int32_t v = int32_t(swarDigits(x, n));
    f.number[k++] = Relative ? -v : v;
    q += n;
    return true;
  };
  if (*q++ != ' ') return nullptr;
  for (;;) {  // the first corner decides the form
    if (!number()) return nullptr;
    if (++stride == 3 || *q != '/') break;
    ++q;
  }
  while (*q == ' ') {
    if (++q - p >= kPlainLine || !number()) return nullptr;
    for (int i = 1; i < stride; i++)
      if (*q++ != '/' || !number()) return nullptr;
  }
  const char next = q[1];
  if (*q != '\n' || k < 3 * stride || isSpace(next) || isDigit(next) || next == '+' || next == '-')
    return nullptr;
  f.form = stride == 1 ? kV : stride == 2 ? kVT : kVTN;
  f.corners = k / stride;
  return q + 1;
}

// A coordinate statement whose keyword ends at p (kPlainRoom bytes
// readable), on a plain line with at least n words: its numbers all stand
// on the line, and whatever follows them there starts with a digit, sign,
// point or exponent letter, so is a statement skipped to the line end. The
// counting pass skips the line: the line end, or null.
inline const char* plainCoordinateLine(const char* p, int n) {
  Line line;
  if (!classifyLine<Shape::Coordinates>(p, line)) return nullptr;
  Mask starts = runStarts(line.word);
  for (int i = 0; i < n; i++, starts &= starts - 1)
    if (!starts) return nullptr;
  return p + line.length + 1;
}

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Skips at most 16 blanks and tabs at p; null when there are more.
GLM_READ_INLINE const char* skipBlanks(const char* p) {
  for (int i = 0; isBlank(*p); ++p)
    if (++i > 16) return nullptr;
  return p;
}

// Reads a plain decimal [+-]?digits[.digits*] with at most seven digits on
// each side of the point at p, not followed by a point or exponent letter
// (kPlainRoom bytes readable), into out exactly as readFloat would; its end,
// or null. The number's extent comes from one sixteen-byte classification,
// so the scan reaches the next number a few cycles after this one starts;
// the value is worked out beside that walk, not on it.
GLM_READ_INLINE const char* plainFloat(const char* p, float& out) {
#if defined(__SSE2__)
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i d = _mm_sub_epi8(x, _mm_set1_epi8('0'));
  __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  unsigned point = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8('.'))));
  unsigned sign = *p == '-' || *p == '+';
  unsigned span = unsigned(_mm_movemask_epi8(digit)) | point | sign;
  int end = __builtin_ctz(~span);  // 16 when the number fills all sixteen bytes
  point &= (1u << end) - 1;
  int at = point ? __builtin_ctz(point) : end;
  int whole = at - int(sign), fraction = point ? end - at - 1 : 0;
  char next = p[end];
  if (end == 16 || (point & (point - 1)) || whole < 1 || whole > 7 || fraction > 7 || next == 'e' ||
      next == 'E')
    return nullptr;
  uint64_t mantissa;
  if (whole + fraction <= 8) {
    // Close the point's gap: the whole digits from one load, the fraction
    // digits from a load one byte further on, then one digit conversion.
    const char* digits = p + sign;
    uint64_t before = (uint64_t(1) << (8 * whole)) - 1;
    mantissa =
        swarDigits((load8(digits) & before) | (load8(digits + 1) & ~before), whole + fraction);
  } else {
    mantissa = swarValue(p + sign, whole) * kPow10Int[fraction] + swarValue(p + at + 1, fraction);
  }
  // The mantissa is exact in double and the power of ten within half a unit
  // of its last place, so the product is within two units of the decimal's
  // value; rounding it to float is exact unless it lies that close to a
  // float half-way point (values here are far from the float range's ends).
  double v = double(mantissa) * kPow10Negative[fraction];
  uint64_t bits;
  memcpy(&bits, &v, sizeof bits);
  if (uint32_t(bits & 0x1FFFFFFF) - (0x10000000u - 4) <= 8) return nullptr;
  // The sign goes in as a bit: a branch on it would often be mispredicted.
  float magnitude = float(v);
  uint32_t f;
  memcpy(&f, &magnitude, sizeof f);
  f |= uint32_t(*p == '-') << 31;
  memcpy(&out, &f, sizeof out);
  return p + end;
#else
  (void)p, (void)out;
  return nullptr;
#endif
}

// Reads the n numbers of a coordinate statement whose keyword ends at p
// when each is a plain decimal after blanks or tabs (kPlainRoom bytes
// readable); where they end (just after the last, as reading number by
// number would), or null (out may then hold some of them).
inline const char* plainFloats(const char* p, int n, float* out) {
  for (int i = 0; i < n; i++) {
    if (!isBlank(*p)) return nullptr;
    // Usually one blank: a predicted branch past it keeps the load of the
    // next byte off the chain from one number to the next.
    if (isBlank(*++p) && !(p = skipBlanks(p))) return nullptr;
    if (!(p = plainFloat(p, out[i]))) return nullptr;
  }
  return p;
}

// Stores a run of plain coordinate statements of one kind, n numbers each,
// from `out` on: the first one's numbers at p (its keyword, the `length`
// bytes at `keyword`, just read), then, when the keyword is "v", "vn" or
// "vt", those of the lines below with the same keyword; at most `room`
// (> 0) statements, none starting at or after `stop`. Adds the number
// stored to `count`. Gives where the last one ends, or null when the first
// is not plain.
GLM_NOINLINE inline const char* plainCoordinateRun(const char* p, const char* keyword,
                                                   size_t length, int n, float* out, uint64_t room,
                                                   const char* stop, uint64_t& count) {
  // Counted in a local: the compiler must assume that the text's bytes may
  // alias `count`, and updating it line by line measured slower.
  const char* last = nullptr;
  uint64_t k = 0;
  for (const char* q; (q = plainFloats(p, n, out));) {
    last = q;
    out += n;
    if (++k == room || q >= stop || q[0] != '\n' || length > 2 || q[1] != keyword[0] ||
        (length == 2 && q[2] != keyword[1]))
      break;
    p = q + 1 + length;
  }
  count += k;
  return last;
}

}  // namespace
}  // namespace read_detail

#endif  // CELSHADE_READ_LINES_H
