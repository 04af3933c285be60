// Welding: vectors that lie within a tolerance merged into one, for any
// array of vectors or a model's vertices.
#include "glm_internal.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// True when |u - v|, taken as a float, is below epsilon in x, then y, then
// z. NaN, or an epsilon of 0 or below, never compares equal.
GLboolean glmEqual(GLfloat* u, GLfloat* v, GLfloat epsilon) {
  return glmAbs(u[0] - v[0]) < epsilon && glmAbs(u[1] - v[1]) < epsilon &&
         glmAbs(u[2] - v[2]) < epsilon;
}

namespace weld_detail {
namespace {

// Welding gives exactly what a scan of the distinct vectors in slot order
// gives (the first, i.e. lowest, slot that glmEqual accepts), but looks only
// at the distinct vectors in the cells around the input.
//
// Why no match is missed: glmEqual(p, q) implies that the exact difference
// |p - q| is below `reach` on every axis (reach = epsilon, since rounding is
// monotonic and epsilon is a float; for an infinite epsilon 2^128, as a
// float difference is finite only below that). Cells have a power-of-two
// size h >= reach, so p / h is exact in double and a match lies in the cell
// of p or in the next one down or up, on each axis. The neighbour on a side
// is searched only when p lies within reach of that side, tested with
// rounding that can only widen the search. Past 2^53 cells from the origin
// a float's neighbours are more than 2^28 epsilon away, so only an equal
// coordinate (same cell) can match there.
//
// Vectors with a NaN or infinite coordinate never match anything (the
// difference is NaN or infinite), so they take a new slot without a search
// and stay out of the grid.
//
// Distinct vectors are at least about epsilon apart on some axis, so a
// neighbourhood holds a bounded number of them and the expected time is
// linear in the number of inputs.
class Grid {
 public:
  Grid(const GLfloat* unique, GLuint count, GLfloat epsilon) : unique_(unique) {
    double reach = std::isinf(epsilon) ? ldexp(1.0, 128) : double(epsilon);
    int e;
    double m = frexp(reach, &e);  // reach = m * 2^e, 0.5 <= m < 1
    if (m == 0.5) e--;            // 2^e: the smallest power of two >= reach
    e += kCellShift;
    inverse_ = ldexp(1.0, -e);
    reach_ = reach * inverse_;  // in cells, at most 2^-kCellShift
    next_ = static_cast<GLuint*>(allocArray(size_t(count) + 1, sizeof(GLuint)));
    tail_ = static_cast<GLuint*>(allocArray(size_t(count) + 1, sizeof(GLuint)));
    // Room for one cell per input from the start (grown if ever fuller
    // than half): no rehashing while the table fills.
    size_t capacity = 1024;
    while (capacity < count) capacity *= 2;
    resize(capacity);
  }
  ~Grid() {
    free(next_);
    free(tail_);
    free(slots_);
  }
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;

  // Lowest slot among the distinct vectors that glmEqual(p, ., epsilon)
  // accepts, or 0 when there is none. p has finite coordinates.
  GLuint find(GLfloat* p, GLfloat epsilon) const {
    double around[3][3];
    int sides[3];
    for (int c = 0; c < 3; c++) {
      double a = double(p[c]) * inverse_;
      double k = std::floor(a) + 0.0;  // + 0.0: -0 and +0 share a cell
      int n = 0;
      around[c][n++] = k;
      double lower = k - 1, upper = k + 1;
      if (a - reach_ <= k && lower != k) around[c][n++] = lower;
      if (a + reach_ >= upper && upper != k) around[c][n++] = upper;
      sides[c] = n;
    }
    // Hash every neighbour first and fetch their table lines together.
    double keys[27][3];
    size_t homes[27];
    int cells = 0;
    for (int x = 0; x < sides[0]; x++)
      for (int y = 0; y < sides[1]; y++)
        for (int z = 0; z < sides[2]; z++, cells++) {
          keys[cells][0] = around[0][x];
          keys[cells][1] = around[1][y];
          keys[cells][2] = around[2][z];
          homes[cells] = home(keys[cells]);
          __builtin_prefetch(&slots_[homes[cells]]);
        }
    GLuint best = 0;
    for (int i = 0; i < cells; i++) {
      const Slot* cell = lookup(keys[i], homes[i]);
      if (!cell) continue;
      // A cell's list runs in ascending slot order: its first match is its
      // lowest, and nothing past the best so far can win. The head is
      // compared with its copy in the table slot, already at hand.
      GLfloat* v = const_cast<GLfloat*>(cell->first);
      for (GLuint j = cell->head; j && (!best || j < best); j = next_[j]) {
        if (glmEqual(p, v, epsilon)) {
          best = j;
          break;
        }
        v = const_cast<GLfloat*>(unique_ + 3 * size_t(next_[j]));
      }
    }
    return best;
  }

  // Files distinct vector `slot` (already in the unique array, finite) at
  // the end of its cell's list; slots arrive in ascending order.
  void add(GLuint slot) {
    const GLfloat* v = unique_ + 3 * size_t(slot);
    double key[3];
    cellOf(v, key);
    size_t at = home(key);
    next_[slot] = 0;
    if (const Slot* cell = lookup(key, at)) {
      next_[tail_[cell->head]] = slot;
      tail_[cell->head] = slot;
      return;
    }
    if (2 * (used_ + 1) > mask_ + 1) {
      resize(2 * (mask_ + 1));
      at = home(key);
    }
    slots_[probeEmpty(at)] = Slot{{v[0], v[1], v[2]}, slot};
    tail_[slot] = slot;
    used_++;
  }

 private:
  // Cells are 2^kCellShift times the smallest power of two >= reach, so
  // that on most axes the neighbourhood of an input covers one cell only.
  static const int kCellShift = 1;

  // One cell: the coordinates of its first (lowest) distinct vector, which
  // also tell which cell it is, and that vector's slot.
  struct Slot {
    GLfloat first[3];
    GLuint head;  // 0: empty table slot
  };

  void cellOf(const GLfloat* v, double key[3]) const {
    for (int c = 0; c < 3; c++) key[c] = std::floor(double(v[c]) * inverse_) + 0.0;
  }

  static uint64_t bitsOf(double d) {
    uint64_t b;
    memcpy(&b, &d, sizeof b);
    return b;
  }

  // The table position a cell's probing starts at: the top bits of a hash
  // of its key.
  size_t home(const double key[3]) const {
    uint64_t h = bitsOf(key[0]) * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 29) ^ bitsOf(key[1])) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 32) ^ bitsOf(key[2])) * 0x94D049BB133111EBull;
    return size_t((h ^ (h >> 31)) >> shift_);
  }

  // The table slot of the cell `key`, or null when the cell holds nothing.
  const Slot* lookup(const double key[3], size_t at) const {
    for (;; at = (at + 1) & mask_) {
      const Slot& s = slots_[at];
      if (!s.head) return nullptr;
      double other[3];
      cellOf(s.first, other);
      if (other[0] == key[0] && other[1] == key[1] && other[2] == key[2]) return &s;
    }
  }

  size_t probeEmpty(size_t at) const {
    while (slots_[at].head) at = (at + 1) & mask_;
    return at;
  }

  // Grows the open-addressing table to `capacity` (a power of two) slots.
  void resize(size_t capacity) {
    Slot* old = slots_;
    size_t oldCapacity = old ? mask_ + 1 : 0;
    slots_ = static_cast<Slot*>(allocTable(capacity, sizeof(Slot)));
    memset(slots_, 0, capacity * sizeof(Slot));
    mask_ = capacity - 1;
    shift_ = 64;
    for (size_t c = capacity; c > 1; c >>= 1) shift_--;
    for (size_t i = 0; i < oldCapacity; i++)
      if (old[i].head) {
        double key[3];
        cellOf(old[i].first, key);
        slots_[probeEmpty(home(key))] = old[i];
      }
    free(old);
  }

  const GLfloat* unique_;
  double inverse_ = 1, reach_ = 1;
  GLuint* next_ = nullptr;  // next distinct vector in the same cell, 0 at the end
  GLuint* tail_ = nullptr;  // for a cell's head: the last vector of its list
  Slot* slots_ = nullptr;
  size_t mask_ = 0, used_ = 0;
  int shift_ = 64;
};

inline bool isFinite(const GLfloat* v) {
  return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

// Collects the distinct vectors of vectors[1..count] into unique[1..] (the
// caller's array of count + 1 vectors) and reports every input's slot
// through store(i, slot) right after input i was read. Returns the number
// of distinct vectors.
template <typename Store>
GLuint weld(const GLfloat* vectors, GLuint count, GLfloat epsilon, GLfloat* unique, Store store) {
  GLuint distinct = 0;
  auto keep = [&](const GLfloat* v) {
    memcpy(unique + 3 * (size_t(distinct) + 1), v, 3 * sizeof(GLfloat));
    return ++distinct;
  };
  if (!(epsilon > 0)) {  // nothing merges, NaN epsilon included
    for (size_t i = 1; i <= count; i++) store(i, keep(vectors + 3 * i));
    return distinct;
  }
  Grid grid(unique, count, epsilon);
  for (size_t i = 1; i <= count; i++) {
    GLfloat p[3];
    memcpy(p, vectors + 3 * i, sizeof p);
    GLuint slot = 0;
    if (isFinite(p)) {
      slot = grid.find(p, epsilon);
      if (!slot) grid.add(slot = keep(p));
    } else {
      slot = keep(p);
    }
    store(i, slot);
  }
  return distinct;
}

}  // namespace
}  // namespace weld_detail

// Distinct vectors of vectors[1..*numvectors] in order of first occurrence,
// each input merged into the lowest-numbered distinct vector within epsilon
// (glmEqual). Returns a new array of the input's size (caller frees), sets
// *numvectors to the number of distinct vectors and replaces the x of every
// input by its slot as a float. Slots above 2^24 are rounded to the nearest
// float there (the unique array and the count stay exact); glmWeld does not
// rely on this channel.
GLfloat* glmWeldVectors(GLfloat* vectors, GLuint* numvectors, GLfloat epsilon) {
  GLM_ASSERT(numvectors);
  GLM_ASSERT(vectors || *numvectors == 0);
  const GLuint count = *numvectors;
  GLfloat* unique = static_cast<GLfloat*>(allocArray(size_t(count) + 1, 3 * sizeof(GLfloat)));
  *numvectors = weld_detail::weld(vectors, count, epsilon, unique,
                                  [&](size_t i, GLuint slot) { vectors[3 * i] = GLfloat(slot); });
  return unique;
}

// Welds the model's vertices within epsilon and renumbers the corners, with
// exact slot numbers at any size. Corners whose vertex index lies outside
// 1..vertexcount are left as they are (still outside the new range). The
// vertex array is replaced by one of exactly vertexcount + 1 vectors.
GLvoid glmWeld(GLMmodel* model, GLfloat epsilon) {
  GLM_ASSERT(model);
  const GLuint count = model->vertexcount;
  GLfloat* unique = static_cast<GLfloat*>(allocArray(size_t(count) + 1, 3 * sizeof(GLfloat)));
  GLuint* slots = static_cast<GLuint*>(allocArray(size_t(count) + 1, sizeof(GLuint)));
  const GLuint distinct = weld_detail::weld(model->vertices, count, epsilon, unique,
                                            [&](size_t i, GLuint slot) { slots[i] = slot; });

  for (GLuint i = 0; i < model->trianglecount; i++)
    for (GLuint& v : model->triangles[i].vertexidx)
      if (GLuint(v - 1) < count) v = slots[v];
  free(slots);

  free(model->vertices);
  model->vertexcount = distinct;
  model->vertices = static_cast<GLfloat*>(allocArray(size_t(distinct) + 1, 3 * sizeof(GLfloat)));
  memcpy(model->vertices + 3, unique + 3, size_t(distinct) * 3 * sizeof(GLfloat));
  free(unique);
}
