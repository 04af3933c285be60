// Counting OBJ text by lines, the reader's usual first pass.
//
// Nearly every file puts one statement on each line, keyword first, and then
// lines can be counted by their first bytes, sixty-four bytes at a time, much
// faster than statement by statement: a line that starts with "v" is a
// vertex (a normal with "n" after it, a texture coordinate with "t"), one
// that starts with "f" a face of as many corners as it has words after the
// keyword, and group and library lines are taken statement by statement.
// Lines of other statements count nothing. The storing pass then checks
// that it stored exactly what was counted, at the same group and library
// statements; where the guess was wrong (a statement spread over lines, a
// face of fewer than three corners, a keyword after white space, ...) the
// read starts over and counts statement by statement.
//
// A mapped file is counted through a small window filled with pread, not
// through the mapping: the storing pass then faults the mapping's pages in
// once instead of twice, and copying the text costs a fraction of mapping
// it. Only the group and library lines, taken statement by statement, are
// read through the mapping.
#include "read_lines.h"
#include "read_scan.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace read_detail {
namespace {

std::atomic<size_t> windowSet{0};

// Bit i: byte i of the 64 at p is a newline; is white space or another
// byte up to the blank.
struct Block {
  uint64_t newline = 0, blank = 0;
};

inline Block classifyBlock(const char* p) {
  Block b;
#if defined(__SSE2__)
  for (int i = 0; i < 4; i++) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    __m128i newline = _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'));
    __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(' ')), x);
    b.newline |= uint64_t(unsigned(_mm_movemask_epi8(newline))) << (16 * i);
    b.blank |= uint64_t(unsigned(_mm_movemask_epi8(low))) << (16 * i);
  }
#else
  for (int i = 0; i < 64; i++) {
    b.newline |= uint64_t(p[i] == '\n') << i;
    b.blank |= uint64_t(static_cast<unsigned char>(p[i]) <= ' ') << i;
  }
#endif
  return b;
}

enum class LineStart { Counted, Face, Statement, Unsure };

// Counts the line starting at q by its first bytes (`next` is the second):
// a coordinate statement in counts[0..2] (vertices, normals, texture
// coordinates). Group and library lines are statements to read, and so are
// material lines when `uses`; lines whose keyword is unknown or comes after
// white space are unsure.
inline LineStart countLineStart(const char* q, char next, uint64_t* counts, bool uses) {
  switch (*q) {
    case 'v':
      if (static_cast<unsigned char>(next) <= ' ') return counts[0]++, LineStart::Counted;
      if (next == 'n') return counts[1]++, LineStart::Counted;
      if (next == 't') return counts[2]++, LineStart::Counted;
      return LineStart::Unsure;
    case 'f': return LineStart::Face;
    case 'g':
    case 'm': return LineStart::Statement;
    case 'u': return uses ? LineStart::Statement : LineStart::Counted;
    case '\n': return LineStart::Counted;
    case '\r': return next == '\n' ? LineStart::Counted : LineStart::Unsure;
    default: return static_cast<unsigned char>(*q) <= ' ' ? LineStart::Unsure : LineStart::Counted;
  }
}

// True when the keyword at q (< end) is `word`, of n bytes.
inline bool keywordIs(const char* q, const char* end, const char* word, size_t n) {
  return size_t(end - q) >= n && memcmp(q, word, n) == 0 && (q + n == end || isSpace(q[n]));
}

// The same for a lenient read, which knows keywords only whole: lines of
// other statements (vw, fo, maplib, ...) count nothing. `end` is the text's.
inline LineStart countLineStartWhole(const char* q, const char* end, uint64_t* counts, bool uses) {
  auto alone = [&](size_t n) { return q + n == end || isSpace(q[n]); };
  switch (*q) {
    case 'v':
      if (alone(1)) return counts[0]++, LineStart::Counted;
      if (q[1] == 'n' && alone(2)) return counts[1]++, LineStart::Counted;
      if (q[1] == 't' && alone(2)) return counts[2]++, LineStart::Counted;
      return LineStart::Counted;
    case 'f': return alone(1) ? LineStart::Face : LineStart::Counted;
    case 'g': return alone(1) ? LineStart::Statement : LineStart::Counted;
    case 'm': return keywordIs(q, end, "mtllib", 6) ? LineStart::Statement : LineStart::Counted;
    case 'u':
      return uses && keywordIs(q, end, "usemtl", 6) ? LineStart::Statement : LineStart::Counted;
    default: return countLineStart(q, q + 1 < end ? q[1] : '\n', counts, uses);
  }
}

}  // namespace

bool windowChosen() { return windowSet.load() != 0; }

size_t windowBytes() {
  const size_t set = windowSet.load();
  return set ? std::max(set, size_t(768)) : size_t(256) << 10;
}

GLM_SCAN_CLONES bool countLines(ObjScan& s) {
  const char* p = s.begin;
  const char* const end = s.stop;
  const bool whole = s.lenient;
  GroupSlot* group = s.group;
  LineMarks* const noted = s.lineMarks;
  uint64_t counts[3] = {0, 0, 0}, triangles = 0;
  uint64_t faces = 0, words = 0;  // face lines and their words since the last group
  uint64_t segment = 0;           // triangles since the last statement
  size_t releaseAt = size_t(p - s.text.data) + kReleaseStep;
  // State between blocks: the next byte starts a line, follows white space,
  // is within a face line.
  bool lineStart = true, blankBefore = true, inFace = false;
  // Adds the faces counted so far to the current group: a face of k words
  // (keyword included) has k - 3 triangles.
  auto flush = [&] {
    if (words < 3 * faces) return false;
    triangles += words - 3 * faces;
    segment += words - 3 * faces;
    faces = words = 0;
    return true;
  };
  // Ends the segment before the statement at `keyword` (null: the end).
  auto endSegment = [&](const char* keyword) {
    if (noted)
      noted->push_back(LineMark{keyword, segment});
    else
      group->count += segment;
    segment = 0;
  };
  // Takes the group, library or material statement at q; p goes past its line.
  auto statement = [&](const char* q) {
    if (!flush()) return false;
    endSegment(q);
    const char* keyword = q;
    p = skipWord(q, end);
    lineStart = blankBefore = true, inFace = false;
    if (noted) {
      p = s.lineEnd(p);
      return true;
    }
    return *keyword == 'g' ? (group = countGroup(s, keyword, p)) != nullptr
                           : countLibrary(s, keyword, p);
  };
  Window window(s.text);
  while (end - p >= 128) {  // a block and the byte after it
    if (size_t(p - s.text.data) >= releaseAt) {
      s.text.release(p);
      releaseAt = size_t(p - s.text.data) + kReleaseStep;
    }
    // The block's bytes and the 64 after it, as read (the text goes on
    // after them: whole keywords starting in the block end among them).
    const char* const w = window.at(p, 128);
    const Block b = classifyBlock(w);
    uint64_t starts = (b.newline << 1) | uint64_t(lineStart);
    uint64_t faceStarts = 0, stop = 0;  // stop: the bit of a statement's line
    for (; starts; starts &= starts - 1) {
      const int i = __builtin_ctzll(starts);
      LineStart kind = whole ? countLineStartWhole(w + i, w + 128, counts, noted)
                             : countLineStart(w + i, w[i + 1], counts, noted);
      if (kind == LineStart::Face) faceStarts |= uint64_t(1) << i;
      if (kind == LineStart::Unsure) return false;
      if (kind == LineStart::Statement) {
        stop = uint64_t(1) << i;
        break;
      }
    }
    // Bytes of face lines: each face start borrows from the newline that
    // ends its line, setting the bits between (a face line still open at
    // the block's start borrows one more).
    uint64_t region;
    bool borrow = __builtin_sub_overflow(b.newline, faceStarts, &region);
    borrow |= __builtin_sub_overflow(region, uint64_t(inFace), &region);
    region &= ~b.newline;
    if (stop) region &= stop - 1;
    const uint64_t wordStarts = ~b.blank & ((b.blank << 1) | uint64_t(blankBefore));
    words += uint64_t(bitCount(wordStarts & region));
    faces += uint64_t(bitCount(faceStarts));
    if (stop) {
      if (!statement(p + __builtin_ctzll(stop))) return false;
      continue;
    }
    lineStart = b.newline >> 63;
    blankBefore = b.blank >> 63;
    inFace = borrow;
    p += 64;
  }
  // The last bytes one at a time, the same way, read as the blocks are (a
  // piece's last bytes read through the mapping would map a large piece of
  // the file around them). A line starting here ends here (a piece ends
  // with a line), so its keyword is read within these bytes.
  while (p < end) {
    const char* const w = window.at(p, size_t(end - p));
    const char* const last = w + (end - p);
    const char* c = w;
    for (; c < last; ++c) {
      if (lineStart) {
        LineStart kind = whole ? countLineStartWhole(c, last, counts, noted)
                               : countLineStart(c, c + 1 < last ? c[1] : '\n', counts, noted);
        if (kind == LineStart::Unsure) return false;
        if (kind == LineStart::Statement) break;
        if (kind == LineStart::Face) faces++, inFace = true;
      }
      const bool blank = static_cast<unsigned char>(*c) <= ' ';
      words += inFace && !blank && blankBefore;
      blankBefore = blank;
      lineStart = *c == '\n';
      inFace &= !lineStart;
    }
    if (c == last) break;
    if (!statement(p + (c - w))) return false;
  }
  if (!flush()) return false;
  endSegment(nullptr);
  s.vertices = counts[0];
  s.normals = counts[1];
  s.texcoords = counts[2];
  s.triangles = triangles;
  return true;
}

}  // namespace read_detail

void setReadWindow(size_t bytes) { read_detail::windowSet = bytes; }
