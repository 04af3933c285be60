// Private to the reader: the lexers. White space, words, lines, names,
// numbers (digit runs eight bytes at a time) and face corners, all inline:
// they run once or more per statement in the scan loops that include them.
#ifndef CELSHADE_READ_LEX_H
#define CELSHADE_READ_LEX_H

#include "reader.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace read_detail {
namespace {

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
// The same; with `crEnds` (lenient reading) a carriage return not followed
// by a newline ends the line too, just past it.
inline const char* lineEnd(const char* p, const char* end, bool crEnds) {
  const char* stop = lineEnd(p, end);
  if (crEnds)
    for (const char* r = p; (r = static_cast<const char*>(memchr(r, '\r', size_t(stop - r))));)
      if (++r == end || *r != '\n') return r;
  return stop;
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
inline bool belowOne(const char* p, const char* q) {
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
      if (*d != '0')
        found = true;
      else
        lead--;
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

// Value of the first n digit bytes of x (0 <= n <= 8, memory order),
// without a branch on n.
inline uint64_t swarDigits(uint64_t x, int n) {
  x -= 0x3030303030303030ull;
  x = n ? x << (8 * (8 - n)) : 0;
  // Digits to the high bytes (leading zeros below), then pairs, quads, eights.
  x = (x * 10) + (x >> 8);
  return (((x & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((x >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}
// Value of the n digits at p (0 <= n <= 8, eight bytes readable).
inline uint64_t swarValue(const char* p, int n) { return swarDigits(load8(p), n); }

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
constexpr double kPow10Negative[] = {1e0,  1e-1, 1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                     1e-8, 1e-9, 1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15};

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
      for (const char* d = digits; d < q; ++d)
        v = v > 2147483648u ? v : v * 10 + unsigned(*d - '0');
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

inline int numbersPerCorner(Form form) { return form == kVTN ? 3 : form == kV ? 1 : 2; }

// Index values of the corner read last, as written (relative ones unresolved).
struct Corner {
  int32_t v, t, n;
};

// Reads one corner at p with the form's pattern ("%d", "%d/%d", "%d/%d/%d",
// "%d//%d") the way scanf does: each number skips white space first, each
// '/' must be the very next byte, and the read stops at the first mismatch
// having consumed what matched (nothing, white space included, when there
// is no number). Returns the count of numbers read; fields not read keep
// their values.
template <bool Convert>
inline int readCorner(const char*& p, const char* end, Form form, Corner& c, bool& bad) {
  const char* q = skipSpace(p, end);
  const char* r = readInt<Convert>(q, end, c.v, bad);
  if (!r) return 0;
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

// Reads up to n numbers into out (converting only with Convert), stopping
// at the first missing one; returns the end of the last number read (p when
// none is). Sets bad when one overflows.
template <bool Convert>
inline const char* readFloats(const char* p, const char* end, int n, float* out, bool& bad) {
  for (int i = 0; i < n; i++) {
    const char* r = readFloat<Convert>(skipSpace(p, end), end, out[i], bad);
    if (!r) break;
    p = r;
  }
  return p;
}

// Skips the white space before the next keyword (end of text when there is
// none), handing mapped pages back on the way: `releaseAt` is the offset of
// the next hand-back.
inline const char* nextKeyword(Text& text, const char* p, size_t& releaseAt) {
  p = skipSpace(p, text.end());
  if (size_t(p - text.data) >= releaseAt) {
    text.release(p);
    releaseAt = size_t(p - text.data) + kReleaseStep;
  }
  return p;
}

}  // namespace
}  // namespace read_detail

#endif  // CELSHADE_READ_LEX_H
