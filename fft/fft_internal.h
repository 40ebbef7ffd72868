// Internals shared by the transform's source files. Not for use outside fft/ and its tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kinetra::fft {

// Reports a failed parameter check: "FFT ERROR : Parameter <p> was incorrect on entry to <name>".
void ReportParameterError(int parameter, const char* routine);

// Reports an internal condition c <= 0:
// "FFT INTERNAL ERROR : Condition <c> detected in function <name>" (name cut to 10 characters).
void ReportInternalCondition(int condition, const char* routine);

// ---- Work table --------------------------------------------------------------------------------
//
// Layout for length n (m = n/2), in doubles from the table's start:
//   [0]                  m
//   [1]                  0.0
//   [kSplitOffset ..)    split coefficients: A[k] = (1 - sin t_k)/2 for k = 0 .. n/4-1, then
//                        B[k] = cos(t_k)/2 for k = 0 .. n/4-1, t_k = 2 pi k / n (A is formed as
//                        sin^2(pi/4 - t_k/2) where 1 - sin t_k would cancel)
//   [TwiddleOffset(n)..) the complex step's twiddles: one block per pass of the plan below whose
//                        length L exceeds its radix r, in pass order. A block holds 2(r - 1)
//                        arrays of L/r doubles: cos and -sin of 2 pi j p / L for j = 1 .. r-1
//                        (p = 0 .. L/r - 1), i.e. w1r, w1i, w2r, w2i, ...
//                        In the first pass's block (L = m) each array is stored in groups of
//                        four with the middle two swapped: value p sits at FirstBlockSlot(p, m),
//                        the order in which the vector paths' first pass meets them.
//   [2n - 1]             m
// Everything fits: 2 + n/2 + (less than) n doubles before element 2n - 1.
//
// The helpers below are static so that the vector sources, compiled for other instruction sets,
// never share an out-of-line copy with the rest of the program.
constexpr std::size_t kSplitOffset = 2;
static inline std::size_t TwiddleOffset(std::size_t n) {
    return kSplitOffset + 2 * (n / 4);
}

// Position of twiddle p within each array of the first pass's block (m >= 8 points): bits 0 and 1
// of p swapped when the arrays hold at least one group of four (m >= 16), else p itself.
static inline std::size_t FirstBlockSlot(std::size_t p, std::size_t m) {
    if (m < 16) return p;
    return (p & ~std::size_t{3}) | ((p & 1) << 1) | ((p >> 1) & 1);
}

// Fills table for length n (n a power of two >= 2), fixed elements included. Thread: any.
void InitTable(double* table, std::size_t n);

// ---- Complex step plan -----------------------------------------------------------------------
//
// The complex step of m = 2^q points is a self-sorting (Stockham) decimation in frequency. A pass
// of length L and radix r works at stride s = m/L: it reads x[c + s*(p + j*L/r)] and writes
// y[c + s*(r*p + j)] times W_L^(j*p), for c = 0 .. s-1, p = 0 .. L/r-1, j = 0 .. r-1, so the
// result comes out in natural order. Passes whose length equals their radix have p = 0 only and
// need no twiddles.
//
// The plan: a radix-4 first pass (L = m), then radix-4 and (for small m) radix-8 passes, and when
// the remaining bit count is odd a final radix-2 pass of length 2 (the vector paths do that one
// inside the split step). Fewer passes mean fewer sweeps over memory.

// log2 of a power of two.
static inline unsigned Log2(std::size_t value) {
    unsigned q = 0;
    while ((std::size_t{1} << q) < value) ++q;
    return q;
}

// Half-lengths from kRadix8Min to kRadix8Max take radix-8 passes where they fit (measured: below
// it radix-4 passes are as fast or faster; beyond it the eight input and eight output streams of
// a radix-8 pass, all a power of two apart, crowd the same cache sets).
constexpr std::size_t kRadix8Min = 1024;
constexpr std::size_t kRadix8Max = 2048;

struct Plan {
    unsigned count = 0;        // radix-4 and radix-8 passes, the first one included
    unsigned fours = 0;        // passes 1 .. fours are radix-4, the ones after them radix-8
    bool finalRadix2 = false;  // a radix-2 pass of length 2 follows them
};

// The radix of pass number `pass` (0 = the first pass). A free static function rather than a
// member: a member would be one shared out-of-line copy for all instruction sets.
static inline unsigned PassRadix(const Plan& plan, unsigned pass) {
    return pass <= plan.fours ? 4 : 8;
}

static inline Plan MakePlan(std::size_t m) {
    Plan plan;
    unsigned bits = Log2(m);
    if (bits % 2 == 1) {
        plan.finalRadix2 = true;
        --bits;
    }
    if (bits == 0) return plan;
    bits -= 2;  // the radix-4 first pass
    // The rest, an even count, as 2a + 3b bits; with radix-8 allowed, as many radix-8 passes as
    // that permits. Radix-8 passes come last, where their strides are widest.
    unsigned eights = (m >= kRadix8Min && m <= kRadix8Max) ? bits / 3 : 0;
    if ((bits - 3 * eights) % 2 != 0) --eights;
    plan.fours = (bits - 3 * eights) / 2;
    plan.count = 1 + plan.fours + eights;
    return plan;
}

// Doubles in the twiddle block of a pass of length L and radix r.
static inline std::size_t TwiddleBlockSize(std::size_t length, unsigned radix) {
    return length > radix ? 2 * (radix - 1) * (length / radix) : 0;
}

// (cos, -sin) of 2 pi k / m, read from the first pass's j = 1 block of m points (m >= 8) by
// exact quadrant symmetry; k may be any non-negative integer. Thread: any.
struct Root {
    double re;
    double im;
};
Root RootFromFirstBlock(const double* firstBlock, std::size_t m, std::size_t k);

// ---- Powers of a block of samples -------------------------------------------------------------

// A block of n 16-bit samples to transform instead of the caller's array, and where its powers
// go: power[k] = (Re X[k]^2 + Im X[k]^2) * scale for k = 0 .. n/2, X the transform of the
// samples converted to double (exactly), each product, the sum and the scaling rounded on its own
// as plain double arithmetic does.
struct PowerRequest {
    const std::int16_t* samples;
    double scale;
    double* power;
};

// ---- Scalar path (always built) --------------------------------------------------------------

// Forward complex transform of m points held split in re[0..m) and im[0..m), natural order in
// and out, by the plan above; twiddles is the table's complex-step part (TwiddleOffset). work
// must hold 2m doubles. The result ends in re/im. Thread: any.
void ZFFT1D(const double* twiddles, std::size_t m, double* re, double* im, double* work);

// Turns Z (split, natural order, m = n/2 points at zr/zi) into X[0..m], written to xr[0..m] and
// xi[0..m]. xr/xi may equal zr/zi (in place), provided xr[m] and xi[m] lie outside Z.
// Thread: any.
void SplitStep(const double* table, std::size_t n, const double* zr, const double* zi, double* xr,
               double* xi);

// The whole transform of n >= 2 points on the scalar path: data as the caller's array, scratch
// at least n doubles on a 64-byte boundary. Thread: any.
void TransformScalar(double* data, std::size_t n, const double* table, double* scratch);

// The request's powers on the scalar path: its samples converted into data (n + 2 doubles, left
// holding the packed transform), transformed, and squared. Thread: any.
void PowersScalar(double* data, std::size_t n, const double* table, double* scratch,
                  const PowerRequest& request);

// ---- Vector paths ------------------------------------------------------------------------------

// The same transform with AVX2 + FMA instructions. It exists in every build and may only be
// called on a processor that has those instructions. n >= 2; arguments as for TransformScalar,
// except that scratch must hold VectorScratchDoubles(n) doubles. With a request, it computes
// its powers instead (see PowerRequest), using data (n + 2 doubles) as a work area whose contents
// are then unspecified. Thread: any.
// The vector path's passes use the caller's array as their second work buffer when it is 32-byte
// aligned. When it is not, up to this length, they keep both buffers in the scratch, 64-byte
// aligned, and touch the caller's array only to read the input and write the result (measured at
// 1024 points: ~720 ns on an aligned array; on any other ~890 ns with the array as a buffer,
// ~810 ns without). Longer transforms always use the caller's array, to halve their scratch.
constexpr std::size_t kTwoBufferMaxLength = 65536;

// Doubles of scratch the vector path needs for length n, from its 64-byte boundary.
static inline std::size_t VectorScratchDoubles(std::size_t n) {
    return n <= kTwoBufferMaxLength ? 2 * n + 24 : n + 8;
}

void TransformAvx2(double* data, std::size_t n, const double* table, double* scratch,
                   const PowerRequest* request = nullptr);

}  // namespace kinetra::fft
