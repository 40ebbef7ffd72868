// The vector paths' own kernels: 256-bit traits, the first pass that reads the caller's
// interleaved input, and the transform driver. Include this file only inside an unnamed namespace
// of a source file compiled for AVX2 and FMA (zfft1d_avx2.cpp); see
// fft_kernels.h for why.
//
// Requires <immintrin.h>, <cstddef> and fft_internal.h included before the unnamed namespace.
#pragma once

#include "fft/fft_kernels.h"

// 4 doubles in a 256-bit register.
struct V4 {
    using T = __m256d;
    static constexpr std::size_t W = 4;
    static T Load(const double* p) { return _mm256_loadu_pd(p); }
    // A load whose value the compiler must keep in a register: without it, GCC folds each use of
    // a loaded stream into its arithmetic as a memory operand and so reads the stream twice (for
    // the sum and for the difference), which made the radix-4 passes bound by loads (measured at
    // 1024 points: passes ~100 -> ~90 ns). The value and so the arithmetic are unchanged.
    static T LoadHeld(const double* p) {
        T v = _mm256_loadu_pd(p);
        asm("" : "+x"(v));
        return v;
    }
    static void Store(double* p, T v) { _mm256_storeu_pd(p, v); }
    static T Broadcast(const double* p) { return _mm256_broadcast_sd(p); }
    static T Zero() { return _mm256_setzero_pd(); }
    static T Add(T a, T b) { return _mm256_add_pd(a, b); }
    static T Sub(T a, T b) { return _mm256_sub_pd(a, b); }
    static T Mul(T a, T b) { return _mm256_mul_pd(a, b); }
    static T MulAdd(T a, T b, T c) { return _mm256_fmadd_pd(a, b, c); }  // a*b + c
    static T MulSub(T a, T b, T c) { return _mm256_fmsub_pd(a, b, c); }  // a*b - c
    static T Reverse(T v) { return _mm256_permute4x64_pd(v, 0x1B); }
    static T Square(T v) { return RoundedOnItsOwn(_mm256_mul_pd(v, v)); }
};

// Loads the 4 complex values at interleaved[0 .. 7] as split re/im vectors in lane order
// (0, 2, 1, 3): one unpack each way and no lane crossing.
inline void LoadInterleaved4(const double* interleaved, __m256d& re, __m256d& im) {
    const __m256d v01 = _mm256_loadu_pd(interleaved);      // r0 i0 r1 i1
    const __m256d v23 = _mm256_loadu_pd(interleaved + 4);  // r2 i2 r3 i3
    re = _mm256_unpacklo_pd(v01, v23);                     // r0 r2 r1 r3
    im = _mm256_unpackhi_pd(v01, v23);                     // i0 i2 i1 i3
}

// The first pass's butterfly for p .. p+3 (lanes in the order p, p+2, p+1, p+3) from the
// caller's doubles, the points p + j * quarter of interleaved complex values.
inline Butterfly4<V4> FirstButterfly(const double* interleaved, std::size_t p,
                                     std::size_t quarter) {
    __m256d ar, ai, br, bi, cr, ci, dr, di;
    LoadInterleaved4(interleaved + 2 * p, ar, ai);
    LoadInterleaved4(interleaved + 2 * (p + quarter), br, bi);
    LoadInterleaved4(interleaved + 2 * (p + 2 * quarter), cr, ci);
    LoadInterleaved4(interleaved + 2 * (p + 3 * quarter), dr, di);
    return Butterfly4<V4>(ar, ai, br, bi, cr, ci, dr, di);
}

// The same from 16-bit samples, for p .. p+7 at once, as two butterflies (p .. p+3 and
// p+4 .. p+7, each in the lane order above), from one 256-bit load per stream (quarter a
// multiple of 8). A 32-bit word of the samples holds one complex value, its real part in the low
// half: one in-lane shuffle puts the values in lane order, and shifts (not shuffles, which the
// pass's transposes need) take the parts apart, sign-extended. The sums and differences are taken
// on 32-bit integers and only the butterfly's outputs are converted: every such sum of at most
// four samples is an integer that both a 32-bit integer and a double hold exactly, so the result
// has the bits of the double arithmetic on the converted samples (measured at 1024 points: the
// pass ~274 -> ~251 ns with integer sums, the spectrum frame ~745 -> ~695 ns with the shifts).
inline void FirstButterflies8(const std::int16_t* interleaved, std::size_t p, std::size_t quarter,
                              Butterfly4<V4>& low, Butterfly4<V4>& high) {
    auto load = [](const std::int16_t* at, __m256i& re, __m256i& im) {
        // Values p, p+2, p+1, p+3 | p+4, p+6, p+5, p+7.
        const __m256i w =
            _mm256_shuffle_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)), 0xD8);
        re = _mm256_srai_epi32(_mm256_slli_epi32(w, 16), 16);
        im = _mm256_srai_epi32(w, 16);
    };
    __m256i ar, ai, br, bi, cr, ci, dr, di;
    load(interleaved + 2 * p, ar, ai);
    load(interleaved + 2 * (p + quarter), br, bi);
    load(interleaved + 2 * (p + 2 * quarter), cr, ci);
    load(interleaved + 2 * (p + 3 * quarter), dr, di);
    const __m256i apcR = _mm256_add_epi32(ar, cr);
    const __m256i apcI = _mm256_add_epi32(ai, ci);
    const __m256i amcR = _mm256_sub_epi32(ar, cr);
    const __m256i amcI = _mm256_sub_epi32(ai, ci);
    const __m256i bpdR = _mm256_add_epi32(br, dr);
    const __m256i bpdI = _mm256_add_epi32(bi, di);
    const __m256i bmdR = _mm256_sub_epi32(br, dr);
    const __m256i bmdI = _mm256_sub_epi32(bi, di);
    auto convert = [](__m256i v, __m256d& first, __m256d& second) {
        first = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
        second = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
    };
    convert(_mm256_add_epi32(apcR, bpdR), low.r0, high.r0);
    convert(_mm256_add_epi32(apcI, bpdI), low.i0, high.i0);
    convert(_mm256_add_epi32(amcR, bmdI), low.r1, high.r1);
    convert(_mm256_sub_epi32(amcI, bmdR), low.i1, high.i1);
    convert(_mm256_sub_epi32(apcR, bpdR), low.r2, high.r2);
    convert(_mm256_sub_epi32(apcI, bpdI), low.i2, high.i2);
    convert(_mm256_sub_epi32(amcR, bmdI), low.r3, high.r3);
    convert(_mm256_add_epi32(amcI, bmdR), low.i3, high.i3);
}

// Stores rows y0..y3, whose lanes hold p, p+2, p+1, p+3, transposed: out[4l + j] = y_j at p + l.
inline void StoreTransposed4(double* out, __m256d y0, __m256d y1, __m256d y2, __m256d y3) {
    const __m256d t0 = _mm256_unpacklo_pd(y0, y1);  // lanes of p, p+1: y0 y1 | y0 y1
    const __m256d t1 = _mm256_unpackhi_pd(y0, y1);  // lanes of p+2, p+3
    const __m256d t2 = _mm256_unpacklo_pd(y2, y3);
    const __m256d t3 = _mm256_unpackhi_pd(y2, y3);
    _mm256_storeu_pd(out, _mm256_permute2f128_pd(t0, t2, 0x20));
    _mm256_storeu_pd(out + 4, _mm256_permute2f128_pd(t0, t2, 0x31));
    _mm256_storeu_pd(out + 8, _mm256_permute2f128_pd(t1, t3, 0x20));
    _mm256_storeu_pd(out + 12, _mm256_permute2f128_pd(t1, t3, 0x31));
}

// The first radix-4 pass (length m >= 16, stride 1), reading the caller's real input as m
// interleaved complex values and writing split y. Vectorised over p, 4 lanes in the order
// (p, p+2, p+1, p+3), which is the order of the first block's twiddles in the table.
// Sample: double (the caller's array) or std::int16_t (a block of samples, converted as read;
// m a multiple of 32).
template <class Sample>
[[gnu::always_inline]] inline void FirstPass(const double* tw, std::size_t m,
                                             const Sample* interleaved, double* yr, double* yi) {
    const std::size_t quarter = m / 4;
    const double* w1r = tw;
    const double* w1i = w1r + quarter;
    const double* w2r = w1i + quarter;
    const double* w2i = w2r + quarter;
    const double* w3r = w2i + quarter;
    const double* w3i = w3r + quarter;
    // Twiddles and stores of the butterfly of p .. p+3.
    auto finish = [&](std::size_t p, Butterfly4<V4>& y) {
        Twiddle<V4>(y.r1, y.i1, V4::Load(w1r + p), V4::Load(w1i + p));
        Twiddle<V4>(y.r2, y.i2, V4::Load(w2r + p), V4::Load(w2i + p));
        Twiddle<V4>(y.r3, y.i3, V4::Load(w3r + p), V4::Load(w3i + p));
        StoreTransposed4(yr + 4 * p, y.r0, y.r1, y.r2, y.r3);
        StoreTransposed4(yi + 4 * p, y.i0, y.i1, y.i2, y.i3);
    };
    if constexpr (std::is_same_v<Sample, std::int16_t>) {
        for (std::size_t p = 0; p < quarter; p += 8) {
            Butterfly4<V4> low, high;
            FirstButterflies8(interleaved, p, quarter, low, high);
            finish(p, low);
            finish(p + 4, high);
        }
    } else {
        for (std::size_t p = 0; p < quarter; p += 4) {
            Butterfly4<V4> y = FirstButterfly(interleaved, p, quarter);
            finish(p, y);
        }
    }
}

// A whole radix-4 pass with its length and stride fixed at compile time, so that all its streams
// are addressed from one index (measured: the passes of 1024 points were bound by the count of
// instructions, much of it the stepping of a pointer per stream). Same arithmetic as
// Radix4Columns.
template <class V, std::size_t kLength, std::size_t kStride>
void Radix4Fixed(const double* tw, const double* xr, const double* xi, double* yr, double* yi) {
    static_assert(kStride % V::W == 0);
    Radix4ColumnsBody<V>(tw, kLength, kStride, kStride, kStride, xr, xi, yr, yi);
}

// The same for a radix-8 pass.
template <class V, std::size_t kLength, std::size_t kStride>
void Radix8Fixed(const double* tw, const double* xr, const double* xi, double* yr, double* yi) {
    static_assert(kStride % V::W == 0);
    Radix8ColumnsBody<V>(tw, kLength, kStride, kStride, kStride, xr, xi, yr, yi);
}

// The passes after the first one of half-lengths 32 to 2048 (radix-4: lengths m/4, m/16, m/64 at
// strides 4, 16, 64 up to 512 points and length 512 at stride 4 for 2048; radix-8: the passes
// of 1024 and 2048) with fixed length and stride; false for any other pass.
template <class V>
bool FixedPass(unsigned radix, std::size_t length, std::size_t stride, const double* tw,
               const double* xr, const double* xi, double* yr, double* yi) {
    using Fn = void (*)(const double*, const double*, const double*, double*, double*);
    Fn fn = nullptr;
    if (radix == 8) {
        fn = length == 64 && stride == 16    ? &Radix8Fixed<V, 64, 16>
             : length == 8 && stride == 128  ? &Radix8Fixed<V, 8, 128>
             : length == 128 && stride == 16 ? &Radix8Fixed<V, 128, 16>
             : length == 16 && stride == 128 ? &Radix8Fixed<V, 16, 128>
                                             : nullptr;
        if (fn == nullptr) return false;
        fn(tw, xr, xi, yr, yi);
        return true;
    }
    switch (stride) {
        case 4:
            fn = length == 512   ? &Radix4Fixed<V, 512, 4>
                 : length == 256 ? &Radix4Fixed<V, 256, 4>
                 : length == 128 ? &Radix4Fixed<V, 128, 4>
                 : length == 64  ? &Radix4Fixed<V, 64, 4>
                 : length == 32  ? &Radix4Fixed<V, 32, 4>
                 : length == 16  ? &Radix4Fixed<V, 16, 4>
                 : length == 8   ? &Radix4Fixed<V, 8, 4>
                                 : nullptr;
            break;
        case 16:
            fn = length == 32   ? &Radix4Fixed<V, 32, 16>
                 : length == 16 ? &Radix4Fixed<V, 16, 16>
                 : length == 8  ? &Radix4Fixed<V, 8, 16>
                 : length == 4  ? &Radix4Fixed<V, 4, 16>
                                : nullptr;
            break;
        case 64:
            fn = length == 8   ? &Radix4Fixed<V, 8, 64>
                 : length == 4 ? &Radix4Fixed<V, 4, 64>
                               : nullptr;
            break;
        default:
            break;
    }
    if (fn == nullptr) return false;
    fn(tw, xr, xi, yr, yi);
    return true;
}

// A whole pass: one of fixed length and stride where there is one, else over the stride's columns.
template <class V>
void WholePass(unsigned radix, const double* tw, std::size_t length, std::size_t stride,
               const double* xr, const double* xi, double* yr, double* yi) {
    if (FixedPass<V>(radix, length, stride, tw, xr, xi, yr, yi)) return;
    PlannedColumns<V>(radix, tw, length, stride, stride, stride, xr, xi, yr, yi);
}

// The last passes of long transforms run column block by column block. Once the stride is wide,
// a pass over the whole arrays reads and writes many streams a power of two apart, which crowd
// the same cache sets; but a few columns c of the remaining passes form a closed
// sub-transform of length L (elements c + stride*q), small enough for a local buffer. So each
// block of columns is read once, transformed through the remaining passes in the buffer, and
// written once.
//
// Measured: blocks of 64 columns (eight cache lines of each row, so that rows are read and written
// in runs), or 32 for 64 rows, beat narrower and longer blocks; below stride 256 whole passes
// stream well.
constexpr std::size_t kBlockMinStride = 256;
constexpr std::size_t kBlockMaxLength = 64;
constexpr std::size_t kBlockDoubles = 2048;  // per local array: two buffers of 32 KB on the stack

// Columns per block for passes starting at length L.
inline std::size_t BlockColumns(std::size_t length) {
    return length <= kBlockDoubles / 64 ? 64 : kBlockDoubles / length;
}

// True when passes `pass` .. plan.count-1 (length `length` at stride `stride` first) run block
// by block.
inline bool RunsInBlocks(const Plan& plan, unsigned pass, std::size_t length, std::size_t stride) {
    return stride >= kBlockMinStride && length <= kBlockMaxLength && plan.count - pass >= 2;
}

// Passes `pass` .. plan.count-1 of the plan, block by block: x (the pass's input, length L at
// stride s) to y. Same arithmetic as whole passes, in another order. tw: pass `pass`'s block.
// local: two buffers, each a real and an imaginary array of columns * length doubles.
template <class V>
void BlockPassesIn(const Plan& plan, unsigned pass, const double* tw, std::size_t length,
                   std::size_t stride, std::size_t columns, double* const (&local)[2][2],
                   const double* xr, const double* xi, double* yr, double* yi) {
    for (std::size_t c0 = 0; c0 < stride; c0 += columns) {
        const double* passTw = tw;
        std::size_t passLength = length;
        std::size_t spread = 1;  // product of the radices of the block's passes so far
        unsigned from = 0;       // the local buffer holding the block
        for (unsigned t = pass; t < plan.count; ++t) {
            const unsigned radix = PassRadix(plan, t);
            const std::size_t localStride = columns * spread;
            if (t == pass) {
                // The block's rows into local buffer 0, at local stride `columns`.
                PlannedColumns<V>(radix, passTw, passLength, stride, columns, columns, xr + c0,
                                  xi + c0, local[0][0], local[0][1]);
            } else if (t + 1 < plan.count) {
                PlannedColumns<V>(radix, passTw, passLength, localStride, localStride, localStride,
                                  local[from][0], local[from][1], local[1 - from][0],
                                  local[1 - from][1]);
                from = 1 - from;
            } else {
                // Local column `columns`*u + c is the global column c0 + c + stride*u.
                for (std::size_t u = 0; u < spread; ++u) {
                    const std::size_t to = c0 + stride * u;
                    PlannedColumns<V>(radix, passTw, passLength, localStride, stride * spread,
                                      columns, local[from][0] + columns * u,
                                      local[from][1] + columns * u, yr + to, yi + to);
                }
            }
            passTw += TwiddleBlockSize(passLength, radix);
            passLength /= radix;
            spread *= radix;
        }
    }
}

// The same with the block's buffers on the stack (the short blocks above).
template <class V>
void BlockPasses(const Plan& plan, unsigned pass, const double* tw, std::size_t length,
                 std::size_t stride, const double* xr, const double* xi, double* yr, double* yi) {
    // [buffer][real, imaginary], each array 40 doubles longer so that the four do not start at
    // the same place in a 4 KB page (their streams would compete for the same cache sets).
    alignas(64) double local[2][2][kBlockDoubles + 40];
    double* const arrays[2][2] = {{local[0][0], local[0][1]}, {local[1][0], local[1][1]}};
    BlockPassesIn<V>(plan, pass, tw, length, stride, BlockColumns(length), arrays, xr, xi, yr, yi);
}

// Long transforms, whose arrays outgrow the level-2 cache, run their later passes in long blocks
// too: from the first pass (at an even position, so that its input lies in the caller's array)
// whose length is at most kLongBlockLength, each block of columns is read once, goes through all
// the remaining passes in buffers of kLongBlockDoubles doubles per array that stay in the level-2
// cache, and is written back in place. The buffers are the scratch, free by then. A block's
// elements are a closed set, so writing them back where they were read is safe.
//
// Measured on 2^17 to 2^20 points: whole passes over arrays beyond the level-2 cache are bound by
// memory traffic; one read and one write of each block replace a sweep per pass.
constexpr std::size_t kLongBlockMinHalf = std::size_t{1} << 16;  // m from which they run
constexpr std::size_t kLongBlockDoubles = std::size_t{1} << 14;  // 128 KB per array
constexpr std::size_t kLongBlockLength = 2048;  // rows per block at most: columns >= 8
constexpr std::size_t kLongBlockPad = 72;       // doubles between the arrays: other cache sets

// The long blocks use the scratch as their buffers, so they never run where the scratch holds the
// passes' second buffer.
static_assert(kTwoBufferMaxLength < 2 * kLongBlockMinHalf);

// The pass at which the long blocks start, or 0 when the plan runs without them.
inline unsigned LongBlockStart(const Plan& plan, std::size_t m) {
    if (m < kLongBlockMinHalf) return 0;
    std::size_t length = m / 4;
    for (unsigned pass = 1; pass + 1 < plan.count; ++pass) {
        if (pass % 2 == 0 && length <= kLongBlockLength) return pass;
        length /= PassRadix(plan, pass);
    }
    return 0;
}

// Passes `pass` .. plan.count-1 in long blocks, in place on (xr, xi), with the scratch (at least
// 4 * (kLongBlockDoubles + kLongBlockPad) doubles) as buffers.
template <class V>
void LongBlockPasses(const Plan& plan, unsigned pass, const double* tw, std::size_t length,
                     std::size_t stride, double* xr, double* xi, double* scratch) {
    constexpr std::size_t kArray = kLongBlockDoubles + kLongBlockPad;
    double* const arrays[2][2] = {{scratch, scratch + kArray},
                                  {scratch + 2 * kArray, scratch + 3 * kArray}};
    BlockPassesIn<V>(plan, pass, tw, length, stride, kLongBlockDoubles / length, arrays, xr, xi, xr,
                     xi);
}

// Doubles between the scratch's real and imaginary halves on the vector paths.
constexpr std::size_t kScratchPad = 8;

// Where in the scratch (room doubles from its 64-byte boundary) to start an array of `needed`
// doubles that follows `other` one cache line later in the cache sets, as the scratch's own
// halves do; the scratch's start when the shift would leave too little room.
inline double* ScratchAfterInCacheSets(const double* other, double* scratch, std::size_t needed,
                                       std::size_t room) {
    const auto distance =
        (reinterpret_cast<std::uintptr_t>(other) + 64 - reinterpret_cast<std::uintptr_t>(scratch)) %
        4096;
    const std::size_t shift = distance / sizeof(double);
    return shift + needed <= room ? scratch + shift : scratch;
}

// The whole transform (n >= 2); lengths below 32 take the scalar path. scratch:
// VectorScratchDoubles(n) doubles on a 64-byte boundary. Inlined into TransformVector, once for any
// length and once per short length with the length fixed at compile time. With kPowers, the input
// is the request's samples instead of data, data is only a work area, and the result is the
// request's powers.
template <class V, bool kPowers = false>
[[gnu::always_inline]] inline void TransformVectorBody(double* data, std::size_t n,
                                                       const double* table, double* scratch,
                                                       const PowerRequest* request = nullptr) {
    const std::size_t m = n / 2;
    if (m < 16) {
        if constexpr (kPowers) {
            for (std::size_t j = 0; j < n; ++j) data[j] = request->samples[j];
        }
        TransformScalar(data, n, table, scratch);
        if constexpr (kPowers) PowersOfPacked<V1>(data, n, request->scale, request->power);
        return;
    }
    // Buffers: the scratch, the caller's array as work area, and the caller's array in the
    // layout the split step finishes in place (imaginary parts from element m + 1).
    // The second buffer: the caller's array when it is 32-byte aligned (the working set stays
    // smallest), else up to kTwoBufferMaxLength the scratch's second half, laid out as the first.
    const bool twoBuffers =
        n <= kTwoBufferMaxLength && reinterpret_cast<std::uintptr_t>(data) % 32 != 0;
    double* sr = scratch;
    // The imaginary half starts one cache line after m doubles, so that the real and imaginary
    // streams of a pass, otherwise a power of two apart, do not compete for the same cache sets.
    // The scratch block has room for it (n + 8 doubles from its 64-byte boundary).
    double* si = scratch + m + kScratchPad;
    if constexpr (kPowers) {
        // The power array (m + 1 doubles) is free until the split step writes the powers, so it
        // holds the first buffer's real half: 4 KB less to keep in the level-1 cache at 1024
        // points (measured: the spectrum frame's fastest ~678 -> ~667 ns, same bits).
        sr = request->power;
        si = ScratchAfterInCacheSets(sr, scratch, twoBuffers ? 3 * m + 2 * kScratchPad : m,
                                     VectorScratchDoubles(n));
    }
    double* const br = twoBuffers ? si + m + kScratchPad : data;
    const Plan plan = MakePlan(m);
    const double* tw = table + TwiddleOffset(n);

    if constexpr (kPowers) {
        if (m % 32 == 0) {
            FirstPass(tw, m, request->samples, sr, si);
        } else {
            // 16 points: too few for the first pass's eight-point steps on 16-bit samples, so
            // the samples are converted (exactly) into the work area first.
            for (std::size_t j = 0; j < n; ++j) data[j] = request->samples[j];
            FirstPass(tw, m, static_cast<const double*>(data), sr, si);
        }
    } else {
        FirstPass(tw, m, static_cast<const double*>(data), sr, si);
    }
    tw += TwiddleBlockSize(m, 4);
    const double* xr = sr;
    const double* xi = si;
    std::size_t length = m / 4;
    std::size_t stride = 4;
    const unsigned longStart = LongBlockStart(plan, m);
    for (unsigned pass = 1; pass < plan.count; ++pass) {
        if (pass == longStart) {
            // The input is in the caller's array, in its layout (written so by the pass before).
            LongBlockPasses<V>(plan, pass, tw, length, stride, data, data + m + 1, scratch);
            xr = data;
            xi = data + m + 1;
            break;
        }
        const bool blocks = RunsInBlocks(plan, pass, length, stride);
        double* yr = sr;
        double* yi = si;
        if (xr == sr && twoBuffers) {
            yr = br;
            yi = br + m + kScratchPad;
        } else if (xr == sr) {
            yr = data;
            // The block passes, which end the complex step, write the caller's layout; before
            // a split that runs in place, the imaginary half keeps the real half's alignment
            // and the split moves it by one element.
            yi = data + m + (blocks || pass + 1 == longStart ? 1 : 0);
        }
        if (blocks) {
            BlockPasses<V>(plan, pass, tw, length, stride, xr, xi, yr, yi);
            xr = yr;
            xi = yi;
            break;
        }
        const unsigned radix = PassRadix(plan, pass);
        WholePass<V>(radix, tw, length, stride, xr, xi, yr, yi);
        tw += TwiddleBlockSize(length, radix);
        length /= radix;
        stride *= radix;
        xr = yr;
        xi = yi;
    }
    if (plan.finalRadix2) {
        // The powers come straight from the split's registers.
        if constexpr (kPowers) {
            Radix2AndSplit<V>(table, n, xr, xi, PowerBins{request->power, request->scale});
        } else {
            Radix2AndSplit<V>(table, n, xr, xi, PackedBins{data, data + m + 1});  // xi: data + m
        }                                                                         // or + m + 1
        return;
    }
    if (xi == data + m) {
        SplitShiftedInPlace<V>(table, n, data);
    } else {
        Split<V>(table, n, xr, xi, data, data + m + 1);
    }
    if constexpr (kPowers) PowersOfPacked<V>(data, n, request->scale, request->power);
}

template <class V, std::size_t kN, bool kPowers = false>
void TransformFixed(double* data, const double* table, double* scratch,
                    const PowerRequest* request) {
    TransformVectorBody<V, kPowers>(data, kN, table, scratch, request);
}

// The whole transform (n >= 2): lengths from 64 to 4096 (the program's own among them) with the
// length fixed at compile time, so that the first pass and the split, like the passes between
// them, address all their streams from one index. With a request, the powers of its samples
// (the program's block length, 1024, fixed at compile time).
template <class V>
void TransformVector(double* data, std::size_t n, const double* table, double* scratch,
                     const PowerRequest* request = nullptr) {
    if (request != nullptr) {
        if (n == 1024) return TransformFixed<V, 1024, true>(data, table, scratch, request);
        return TransformVectorBody<V, true>(data, n, table, scratch, request);
    }
    switch (n) {
        case 64:
            return TransformFixed<V, 64>(data, table, scratch, nullptr);
        case 128:
            return TransformFixed<V, 128>(data, table, scratch, nullptr);
        case 256:
            return TransformFixed<V, 256>(data, table, scratch, nullptr);
        case 512:
            return TransformFixed<V, 512>(data, table, scratch, nullptr);
        case 1024:
            return TransformFixed<V, 1024>(data, table, scratch, nullptr);
        case 2048:
            return TransformFixed<V, 2048>(data, table, scratch, nullptr);
        case 4096:
            return TransformFixed<V, 4096>(data, table, scratch, nullptr);
        default:
            return TransformVectorBody<V>(data, n, table, scratch);
    }
}
