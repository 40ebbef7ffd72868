// The transform's pass kernels, written once over a small vector-traits type V (V::T the
// register type, V::W its number of doubles) and compiled once per instruction set: V1 (plain
// doubles) on the scalar path, 256-bit vectors on the vector path. Include this file
// only inside an unnamed namespace, so that every function here has internal linkage and no copy
// compiled for a wider instruction set can ever be picked for a narrower processor.
//
// The kernels follow the pass plan of fft_internal.h and read the table laid out there. Loads and
// stores are unaligned: the caller's array has no alignment guarantee.
//
// Requires <cstddef> and fft_internal.h included before the unnamed namespace.
#pragma once

// Returns v unchanged, but as a value the compiler cannot see through: a product passed through
// here is rounded on its own and never fused into a later addition (a source built with FMA may
// otherwise contract a*b + c).
template <class T>
inline T RoundedOnItsOwn(T v) {
#if defined(__x86_64__) || defined(__i386__)
    __asm__("" : "+v"(v));
#else
    __asm__("" : "+m"(v));
#endif
    return v;
}

// One double: the traits of the scalar path.
struct V1 {
    using T = double;
    static constexpr std::size_t W = 1;
    static T Load(const double* p) { return *p; }
    static T LoadHeld(const double* p) { return *p; }
    static void Store(double* p, T v) { *p = v; }
    static T Broadcast(const double* p) { return *p; }
    static T Zero() { return 0.0; }
    static T Add(T a, T b) { return a + b; }
    static T Sub(T a, T b) { return a - b; }
    static T Mul(T a, T b) { return a * b; }
    static T MulAdd(T a, T b, T c) { return a * b + c; }
    static T MulSub(T a, T b, T c) { return a * b - c; }
    static T Reverse(T v) { return v; }
    static T Square(T v) { return RoundedOnItsOwn(v * v); }
};

// Complex multiply (tr + i ti)(wr + i wi), result in tr/ti.
template <class V>
inline void Twiddle(typename V::T& tr, typename V::T& ti, typename V::T wr, typename V::T wi) {
    const typename V::T r = V::MulSub(tr, wr, V::Mul(ti, wi));
    ti = V::MulAdd(tr, wi, V::Mul(ti, wr));
    tr = r;
}

// One radix-4 butterfly on four vectors (a, b, c, d) of complex values: y0 = a+b+c+d,
// y1 = (a-c) - i(b-d), y2 = (a+c) - (b+d), y3 = (a-c) + i(b-d), before twiddles.
template <class V>
struct Butterfly4 {
    typename V::T r0, i0, r1, i1, r2, i2, r3, i3;
    Butterfly4() = default;  // outputs set by the caller
    Butterfly4(typename V::T ar, typename V::T ai, typename V::T br, typename V::T bi,
               typename V::T cr, typename V::T ci, typename V::T dr, typename V::T di) {
        const auto apcR = V::Add(ar, cr);
        const auto apcI = V::Add(ai, ci);
        const auto amcR = V::Sub(ar, cr);
        const auto amcI = V::Sub(ai, ci);
        const auto bpdR = V::Add(br, dr);
        const auto bpdI = V::Add(bi, di);
        const auto bmdR = V::Sub(br, dr);
        const auto bmdI = V::Sub(bi, di);
        r0 = V::Add(apcR, bpdR);
        i0 = V::Add(apcI, bpdI);
        r1 = V::Add(amcR, bmdI);
        i1 = V::Sub(amcI, bmdR);
        r2 = V::Sub(apcR, bpdR);
        i2 = V::Sub(apcI, bpdI);
        r3 = V::Sub(amcR, bmdI);
        i3 = V::Add(amcI, bmdR);
    }
};

// Radix-4 pass of length L >= 4 over `columns` columns (a multiple of V::W), vectorised over
// them: reads x[c + in*(p + j*L/4)], writes y[c + out*(4p + j)] for c < columns. A whole pass has
// in = out = columns = its stride; a part of one, or a pass between the caller's arrays and a
// small local buffer, has other strides. tw is the pass's twiddle block (unused when L = 4).
// Always inlined into Radix4Columns and into the vector paths' passes of fixed length and stride,
// where constant strides let every stream be addressed from one index.
template <class V, bool kFirstBlock = false>
[[gnu::always_inline]] inline void Radix4ColumnsBody(const double* tw, std::size_t length,
                                                     std::size_t in, std::size_t out,
                                                     std::size_t columns, const double* xr,
                                                     const double* xi, double* yr, double* yi) {
    const std::size_t quarter = length / 4;
    const std::size_t step = in * quarter;
    const std::size_t stride = out;
    for (std::size_t p = 0; p < quarter; ++p) {
        const double* ar = xr + in * p;
        const double* ai = xi + in * p;
        double* outR = yr + out * 4 * p;
        double* outI = yi + out * 4 * p;
        if (p == 0) {
            for (std::size_t c = 0; c < columns; c += V::W) {
                const Butterfly4<V> y(
                    V::LoadHeld(ar + c), V::LoadHeld(ai + c), V::LoadHeld(ar + c + step),
                    V::LoadHeld(ai + c + step), V::LoadHeld(ar + c + 2 * step),
                    V::LoadHeld(ai + c + 2 * step), V::LoadHeld(ar + c + 3 * step),
                    V::LoadHeld(ai + c + 3 * step));
                V::Store(outR + c, y.r0);
                V::Store(outI + c, y.i0);
                V::Store(outR + c + stride, y.r1);
                V::Store(outI + c + stride, y.i1);
                V::Store(outR + c + 2 * stride, y.r2);
                V::Store(outI + c + 2 * stride, y.i2);
                V::Store(outR + c + 3 * stride, y.r3);
                V::Store(outI + c + 3 * stride, y.i3);
            }
            continue;
        }
        if (columns == V::W && !kFirstBlock) {
            // A single column group (the pass at stride 4 of the 256-bit paths): the rest of the
            // pass in one loop over p, without an inner loop of one round.
            for (; p < quarter; ++p) {
                const double* br = xr + in * p;
                const double* bi = xi + in * p;
                double* oR = yr + out * 4 * p;
                double* oI = yi + out * 4 * p;
                Butterfly4<V> y(V::LoadHeld(br), V::LoadHeld(bi), V::LoadHeld(br + step),
                                V::LoadHeld(bi + step), V::LoadHeld(br + 2 * step),
                                V::LoadHeld(bi + 2 * step), V::LoadHeld(br + 3 * step),
                                V::LoadHeld(bi + 3 * step));
                Twiddle<V>(y.r1, y.i1, V::Broadcast(tw + p), V::Broadcast(tw + quarter + p));
                Twiddle<V>(y.r2, y.i2, V::Broadcast(tw + 2 * quarter + p),
                           V::Broadcast(tw + 3 * quarter + p));
                Twiddle<V>(y.r3, y.i3, V::Broadcast(tw + 4 * quarter + p),
                           V::Broadcast(tw + 5 * quarter + p));
                V::Store(oR, y.r0);
                V::Store(oI, y.i0);
                V::Store(oR + stride, y.r1);
                V::Store(oI + stride, y.i1);
                V::Store(oR + 2 * stride, y.r2);
                V::Store(oI + 2 * stride, y.i2);
                V::Store(oR + 3 * stride, y.r3);
                V::Store(oI + 3 * stride, y.i3);
            }
            return;
        }
        // The first pass's block keeps its twiddles in FirstBlockSlot order.
        const std::size_t slot = kFirstBlock ? FirstBlockSlot(p, length) : p;
        const auto w1r = V::Broadcast(tw + slot);
        const auto w1i = V::Broadcast(tw + quarter + slot);
        const auto w2r = V::Broadcast(tw + 2 * quarter + slot);
        const auto w2i = V::Broadcast(tw + 3 * quarter + slot);
        const auto w3r = V::Broadcast(tw + 4 * quarter + slot);
        const auto w3i = V::Broadcast(tw + 5 * quarter + slot);
        for (std::size_t c = 0; c < columns; c += V::W) {
            Butterfly4<V> y(V::LoadHeld(ar + c), V::LoadHeld(ai + c), V::LoadHeld(ar + c + step),
                            V::LoadHeld(ai + c + step), V::LoadHeld(ar + c + 2 * step),
                            V::LoadHeld(ai + c + 2 * step), V::LoadHeld(ar + c + 3 * step),
                            V::LoadHeld(ai + c + 3 * step));
            Twiddle<V>(y.r1, y.i1, w1r, w1i);
            Twiddle<V>(y.r2, y.i2, w2r, w2i);
            Twiddle<V>(y.r3, y.i3, w3r, w3i);
            V::Store(outR + c, y.r0);
            V::Store(outI + c, y.i0);
            V::Store(outR + c + stride, y.r1);
            V::Store(outI + c + stride, y.i1);
            V::Store(outR + c + 2 * stride, y.r2);
            V::Store(outI + c + 2 * stride, y.i2);
            V::Store(outR + c + 3 * stride, y.r3);
            V::Store(outI + c + 3 * stride, y.i3);
        }
    }
}

template <class V, bool kFirstBlock = false>
void Radix4Columns(const double* tw, std::size_t length, std::size_t in, std::size_t out,
                   std::size_t columns, const double* xr, const double* xi, double* yr,
                   double* yi) {
    Radix4ColumnsBody<V, kFirstBlock>(tw, length, in, out, columns, xr, xi, yr, yi);
}

// A whole radix-4 pass of length L at a stride that is a multiple of V::W.
template <class V, bool kFirstBlock = false>
void Radix4Pass(const double* tw, std::size_t length, std::size_t stride, const double* xr,
                const double* xi, double* yr, double* yi) {
    Radix4Columns<V, kFirstBlock>(tw, length, stride, stride, stride, xr, xi, yr, yi);
}

// The final radix-2 pass (length 2) at a stride that is a multiple of V::W: no twiddles.
template <class V>
void Radix2LastPass(std::size_t stride, const double* xr, const double* xi, double* yr,
                    double* yi) {
    for (std::size_t c = 0; c < stride; c += V::W) {
        const auto ar = V::Load(xr + c);
        const auto ai = V::Load(xi + c);
        const auto br = V::Load(xr + c + stride);
        const auto bi = V::Load(xi + c + stride);
        V::Store(yr + c, V::Add(ar, br));
        V::Store(yi + c, V::Add(ai, bi));
        V::Store(yr + c + stride, V::Sub(ar, br));
        V::Store(yi + c + stride, V::Sub(ai, bi));
    }
}

// Radix-8 pass of length L >= 8 at a stride that is a multiple of V::W, vectorised over the
// stride. The butterfly is one radix-2 step across (i, i+4) with the factors w8^i, then two
// radix-4 butterflies giving the even and the odd outputs. tw is the pass's twiddle block:
// seven pairs of arrays (cos, -sin) of 2 pi j p / L for j = 1 .. 7 (unused when L = 8).
template <class V, bool kTwiddles>
inline void Radix8Column(const double* ar, const double* ai, double* outR, double* outI,
                         std::size_t step, std::size_t stride, const typename V::T* wr,
                         const typename V::T* wi) {
    using T = typename V::T;
    static constexpr double kHalfRoot = 0.70710678118654752440084436210484903928;
    const T half = V::Broadcast(&kHalfRoot);
    T ar0 = V::LoadHeld(ar), ai0 = V::LoadHeld(ai);
    T ar4 = V::LoadHeld(ar + 4 * step), ai4 = V::LoadHeld(ai + 4 * step);
    const T s0r = V::Add(ar0, ar4), s0i = V::Add(ai0, ai4);
    const T d0r = V::Sub(ar0, ar4), d0i = V::Sub(ai0, ai4);
    T ar1 = V::LoadHeld(ar + step), ai1 = V::LoadHeld(ai + step);
    T ar5 = V::LoadHeld(ar + 5 * step), ai5 = V::LoadHeld(ai + 5 * step);
    const T s1r = V::Add(ar1, ar5), s1i = V::Add(ai1, ai5);
    const T e1r = V::Sub(ar1, ar5), e1i = V::Sub(ai1, ai5);
    // (e1) w8 = ((r + i) / sqrt 2, (i - r) / sqrt 2)
    const T d1r = V::Mul(V::Add(e1r, e1i), half);
    const T d1i = V::Mul(V::Sub(e1i, e1r), half);
    T ar2 = V::LoadHeld(ar + 2 * step), ai2 = V::LoadHeld(ai + 2 * step);
    T ar6 = V::LoadHeld(ar + 6 * step), ai6 = V::LoadHeld(ai + 6 * step);
    const T s2r = V::Add(ar2, ar6), s2i = V::Add(ai2, ai6);
    // (e2) w8^2 = -i e2 = (i, -r)
    const T d2r = V::Sub(ai2, ai6);
    const T d2i = V::Sub(ar6, ar2);
    T ar3 = V::LoadHeld(ar + 3 * step), ai3 = V::LoadHeld(ai + 3 * step);
    T ar7 = V::LoadHeld(ar + 7 * step), ai7 = V::LoadHeld(ai + 7 * step);
    const T s3r = V::Add(ar3, ar7), s3i = V::Add(ai3, ai7);
    const T e3r = V::Sub(ar3, ar7), e3i = V::Sub(ai3, ai7);
    // (e3) w8^3 = ((i - r) / sqrt 2, -(r + i) / sqrt 2)
    const T d3r = V::Mul(V::Sub(e3i, e3r), half);
    const T d3i = V::Mul(V::Sub(V::Sub(V::Zero(), e3r), e3i), half);
    Butterfly4<V> even(s0r, s0i, s1r, s1i, s2r, s2i, s3r, s3i);
    Butterfly4<V> odd(d0r, d0i, d1r, d1i, d2r, d2i, d3r, d3i);
    if constexpr (kTwiddles) {
        Twiddle<V>(odd.r0, odd.i0, wr[0], wi[0]);    // y1
        Twiddle<V>(even.r1, even.i1, wr[1], wi[1]);  // y2
        Twiddle<V>(odd.r1, odd.i1, wr[2], wi[2]);    // y3
        Twiddle<V>(even.r2, even.i2, wr[3], wi[3]);  // y4
        Twiddle<V>(odd.r2, odd.i2, wr[4], wi[4]);    // y5
        Twiddle<V>(even.r3, even.i3, wr[5], wi[5]);  // y6
        Twiddle<V>(odd.r3, odd.i3, wr[6], wi[6]);    // y7
    }
    V::Store(outR, even.r0);
    V::Store(outI, even.i0);
    V::Store(outR + stride, odd.r0);
    V::Store(outI + stride, odd.i0);
    V::Store(outR + 2 * stride, even.r1);
    V::Store(outI + 2 * stride, even.i1);
    V::Store(outR + 3 * stride, odd.r1);
    V::Store(outI + 3 * stride, odd.i1);
    V::Store(outR + 4 * stride, even.r2);
    V::Store(outI + 4 * stride, even.i2);
    V::Store(outR + 5 * stride, odd.r2);
    V::Store(outI + 5 * stride, odd.i2);
    V::Store(outR + 6 * stride, even.r3);
    V::Store(outI + 6 * stride, even.i3);
    V::Store(outR + 7 * stride, odd.r3);
    V::Store(outI + 7 * stride, odd.i3);
}

// Radix-8 pass over columns, strides as for Radix4Columns.
// Always inlined, like Radix4ColumnsBody.
template <class V>
[[gnu::always_inline]] inline void Radix8ColumnsBody(const double* tw, std::size_t length,
                                                     std::size_t in, std::size_t out,
                                                     std::size_t columns, const double* xr,
                                                     const double* xi, double* yr, double* yi) {
    const std::size_t eighth = length / 8;
    const std::size_t step = in * eighth;
    const std::size_t stride = out;
    for (std::size_t p = 0; p < eighth; ++p) {
        const double* ar = xr + in * p;
        const double* ai = xi + in * p;
        double* outR = yr + out * 8 * p;
        double* outI = yi + out * 8 * p;
        if (p == 0) {
            for (std::size_t c = 0; c < columns; c += V::W) {
                Radix8Column<V, false>(ar + c, ai + c, outR + c, outI + c, step, stride, nullptr,
                                       nullptr);
            }
            continue;
        }
        typename V::T wr[7], wi[7];
        for (std::size_t j = 0; j < 7; ++j) {
            wr[j] = V::Broadcast(tw + 2 * j * eighth + p);
            wi[j] = V::Broadcast(tw + (2 * j + 1) * eighth + p);
        }
        for (std::size_t c = 0; c < columns; c += V::W) {
            Radix8Column<V, true>(ar + c, ai + c, outR + c, outI + c, step, stride, wr, wi);
        }
    }
}

template <class V>
void Radix8Columns(const double* tw, std::size_t length, std::size_t in, std::size_t out,
                   std::size_t columns, const double* xr, const double* xi, double* yr,
                   double* yi) {
    Radix8ColumnsBody<V>(tw, length, in, out, columns, xr, xi, yr, yi);
}

// Radix-8 or radix-4 pass over columns as the plan says.
template <class V>
void PlannedColumns(unsigned radix, const double* tw, std::size_t length, std::size_t in,
                    std::size_t out, std::size_t columns, const double* xr, const double* xi,
                    double* yr, double* yi) {
    if (radix == 8) {
        Radix8Columns<V>(tw, length, in, out, columns, xr, xi, yr, yi);
    } else {
        Radix4Columns<V>(tw, length, in, out, columns, xr, xi, yr, yi);
    }
}

// Radix-8 or radix-4 pass as the plan says.
template <class V>
void PlannedPass(unsigned radix, const double* tw, std::size_t length, std::size_t stride,
                 const double* xr, const double* xi, double* yr, double* yi) {
    PlannedColumns<V>(radix, tw, length, stride, stride, stride, xr, xi, yr, yi);
}

// One split pair (see SplitStep in fft_internal.h), V::W pairs at a time: Z[k] = (zrk, zik) and
// Z[m-k] = (zrj, zij) with the coefficients (ak, bk) of k give X[k] and X[m-k]. On V1 this is the
// scalar split step of every path.
template <class V>
inline void SplitPair(typename V::T zrk, typename V::T zik, typename V::T zrj, typename V::T zij,
                      typename V::T ak, typename V::T bk, typename V::T& xrk, typename V::T& xik,
                      typename V::T& xrj, typename V::T& xij) {
    const auto d = V::Sub(zrk, zrj);
    const auto s = V::Add(zik, zij);
    typename V::T h, g;
    if constexpr (V::W == 1) {
        // Written out, so that where the compiler may fuse a product into an addition (a source
        // built with FMA) it fuses the one the vector lanes fuse.
        h = d * ak + s * bk;
        g = s * ak - d * bk;
    } else {
        h = V::MulAdd(d, ak, V::Mul(s, bk));
        g = V::MulSub(s, ak, V::Mul(d, bk));
    }
    xrk = V::Add(zrj, h);
    xrj = V::Sub(zrk, h);
    xik = V::Sub(g, zij);
    xij = V::Sub(g, zik);
}

// The split step (see SplitStep in fft_internal.h) from pair `first` on, V::W pairs at a time from
// the ends inwards, the pairs left over one at a time (on V1), then bins n/4, 0 and m. In place
// is allowed: each group reads all it needs before writing.
template <class V>
[[gnu::always_inline]] inline void Split(const double* table, std::size_t n, const double* zr,
                                         const double* zi, double* xr, double* xi,
                                         std::size_t first = 1) {
    const std::size_t m = n / 2;
    const std::size_t quarter = n / 4;
    const double* a = table + kSplitOffset;
    const double* b = a + quarter;
    std::size_t k = first;
    for (; k + V::W <= quarter; k += V::W) {
        const std::size_t j = m - k - (V::W - 1);  // lowest partner index of the group
        typename V::T xrk, xik, xrj, xij;
        SplitPair<V>(V::Load(zr + k), V::Load(zi + k), V::Reverse(V::Load(zr + j)),
                     V::Reverse(V::Load(zi + j)), V::Load(a + k), V::Load(b + k), xrk, xik, xrj,
                     xij);
        V::Store(xr + k, xrk);
        V::Store(xi + k, xik);
        V::Store(xr + j, V::Reverse(xrj));
        V::Store(xi + j, V::Reverse(xij));
    }
    if constexpr (V::W > 1) {
        // Out of place, the pairs left over are one more group that overlaps the one before:
        // those pairs are computed again from the same, unchanged inputs and stored again.
        if (zr != xr && k < quarter && quarter > V::W) {
            k = quarter - V::W;
            const std::size_t j = m - k - (V::W - 1);
            typename V::T xrk, xik, xrj, xij;
            SplitPair<V>(V::Load(zr + k), V::Load(zi + k), V::Reverse(V::Load(zr + j)),
                         V::Reverse(V::Load(zi + j)), V::Load(a + k), V::Load(b + k), xrk, xik, xrj,
                         xij);
            V::Store(xr + k, xrk);
            V::Store(xi + k, xik);
            V::Store(xr + j, V::Reverse(xrj));
            V::Store(xi + j, V::Reverse(xij));
            k = quarter;
        }
        Split<V1>(table, n, zr, zi, xr, xi, k);
        return;
    }
    if (n >= 4) {
        xr[quarter] = zr[quarter];
        xi[quarter] = -zi[quarter];
    }
    const double r0 = zr[0];
    const double i0 = zi[0];
    xr[0] = r0 + i0;
    xr[m] = r0 - i0;
    xi[0] = 0.0;
    xi[m] = 0.0;
}

// The split step in place on the caller's array with the imaginary input one element before its
// output: Z's real parts at x[0 .. m), imaginary parts at x[m .. 2m), X written as the caller's
// layout (imaginary parts from x[m + 1]), so that the pass before it writes both halves at the
// same alignment. Same arithmetic as Split; each group's imaginary output overwrites the first
// imaginary input of the next ascending group, which is therefore loaded one group ahead, and the
// inputs of the pairs left over one at a time, of bin n/4 and of bin 0 are read before any write.
// V::W pairs at a time; n/4 must be at least V::W.
template <class V>
[[gnu::always_inline]] inline void SplitShiftedInPlace(const double* table, std::size_t n,
                                                       double* x) {
    const std::size_t m = n / 2;
    const std::size_t quarter = n / 4;
    const double* a = table + kSplitOffset;
    const double* b = a + quarter;
    double* const xr = x;
    const double* const zi = x + m;
    double* const outI = x + m + 1;
    // The pairs left over, k = rest .. n/4 - 1, and bin n/4: imaginary inputs of k (low) and of
    // m - k (high), index k - rest; low[V::W - 1] is bin n/4.
    const std::size_t rest = quarter - (V::W - 1);
    double low[V::W], high[V::W];
    for (std::size_t k = rest; k <= quarter; ++k) {
        low[k - rest] = zi[k];
        high[k - rest] = zi[m - k];
    }
    const double r0 = xr[0];
    const double i0 = zi[0];
    auto nextI = V::Load(zi + 1);
    for (std::size_t k = 1; k < rest; k += V::W) {
        const std::size_t j = m - k - (V::W - 1);  // lowest partner index of the group
        const auto zik = nextI;
        if (k + V::W < rest) nextI = V::Load(zi + k + V::W);
        typename V::T xrk, xik, xrj, xij;
        SplitPair<V>(V::Load(xr + k), zik, V::Reverse(V::Load(xr + j)), V::Reverse(V::Load(zi + j)),
                     V::Load(a + k), V::Load(b + k), xrk, xik, xrj, xij);
        V::Store(xr + k, xrk);
        V::Store(outI + k, xik);
        V::Store(xr + j, V::Reverse(xrj));
        V::Store(outI + j, V::Reverse(xij));
    }
    for (std::size_t k = rest; k < quarter; ++k) {
        double xrk, xik, xrj, xij;
        SplitPair<V1>(xr[k], low[k - rest], xr[m - k], high[k - rest], a[k], b[k], xrk, xik, xrj,
                      xij);
        xr[k] = xrk;
        outI[k] = xik;
        xr[m - k] = xrj;
        outI[m - k] = xij;
    }
    outI[quarter] = -low[V::W - 1];
    xr[0] = r0 + i0;
    xr[m] = r0 - i0;  // the first imaginary input's place, read above
    outI[0] = 0.0;
    outI[m] = 0.0;
}

// The final radix-2 pass (length 2, stride m/2) fused with the split step, for odd log2 m. x holds
// the input of that pass; with h = m/2, Z[c] = x[c] + x[c+h] and Z[c+h] = x[c] - x[c+h]. The
// pairs (k, m-k) and (h-k, h+k) of the split read and write exactly the positions k, h-k, h+k,
// m-k of x, so each such quadruple is done at once. The bins go to `out` (PackedBins or
// PowerBins below), and x may be the packed output itself (in place).
// In place, the imaginary output may also start one element past its input (out.im = xi + 1, the
// caller's layout, so that the pass before it writes both halves at the same alignment): bins 0
// and m/2 are read first, and the ascending groups' imaginary inputs, whose first element the
// group before them overwrites, are loaded one group ahead. m/4 must then be a multiple of V::W.
template <class V, class Bins>
[[gnu::always_inline]] inline void Radix2AndSplit(const double* table, std::size_t n,
                                                  const double* xr, const double* xi, Bins out) {
    const std::size_t m = n / 2;
    const std::size_t h = m / 2;
    const std::size_t quarter = m / 4;
    const double* a = table + kSplitOffset;
    const double* b = a + h;
    const double x0r = xr[0], x0i = xi[0], xhr = xr[h], xhi = xi[h];
    std::size_t k = 1;
    // Groups of V::W from k = 1. m/4, when not below V::W, is a multiple of it, so the last
    // group ends at k = m/4, whose pair is its own mirror (h-k = k): both halves of that lane
    // compute the same values from the same inputs and store them twice, harmlessly.
    typename V::T next1i{}, next2i{};
    if (V::W <= quarter) {
        next1i = V::Load(xi + k);
        next2i = V::Load(xi + k + h);
    }
    for (; k + V::W <= quarter + 1; k += V::W) {
        const std::size_t low = h - k - (V::W - 1);  // lowest index of the h-k group
        const std::size_t top = m - k - (V::W - 1);  // lowest index of the m-k group
        const auto x1r = V::Load(xr + k);
        const auto x1i = next1i;
        const auto x2r = V::Load(xr + k + h);
        const auto x2i = next2i;
        if (k + 2 * V::W <= quarter + 1) {
            next1i = V::Load(xi + k + V::W);
            next2i = V::Load(xi + k + V::W + h);
        }
        const auto x3r = V::Reverse(V::Load(xr + low));
        const auto x3i = V::Reverse(V::Load(xi + low));
        const auto x4r = V::Reverse(V::Load(xr + top));
        const auto x4i = V::Reverse(V::Load(xi + top));
        // Z at k, h+k, h-k, m-k.
        const auto z1r = V::Add(x1r, x2r);
        const auto z1i = V::Add(x1i, x2i);
        const auto z2r = V::Sub(x1r, x2r);
        const auto z2i = V::Sub(x1i, x2i);
        const auto z3r = V::Add(x3r, x4r);
        const auto z3i = V::Add(x3i, x4i);
        const auto z4r = V::Sub(x3r, x4r);
        const auto z4i = V::Sub(x3i, x4i);
        typename V::T o1r, o1i, o2r, o2i, o3r, o3i, o4r, o4i;
        SplitPair<V>(z1r, z1i, z4r, z4i, V::Load(a + k), V::Load(b + k), o1r, o1i, o4r, o4i);
        SplitPair<V>(z3r, z3i, z2r, z2i, V::Reverse(V::Load(a + low)), V::Reverse(V::Load(b + low)),
                     o3r, o3i, o2r, o2i);
        out.template Put<V>(k, o1r, o1i);
        out.template Put<V>(k + h, o2r, o2i);
        out.template PutReversed<V>(low, o3r, o3i);
        out.template PutReversed<V>(top, o4r, o4i);
    }
    for (; k <= quarter; ++k) {
        // Scalar rest, k = m/4 included (where h-k = k and m-k = h+k).
        const double x1r = xr[k], x1i = xi[k], x2r = xr[k + h], x2i = xi[k + h];
        const double x3r = xr[h - k], x3i = xi[h - k], x4r = xr[m - k], x4i = xi[m - k];
        const double z[4][2] = {{x1r + x2r, x1i + x2i},
                                {x1r - x2r, x1i - x2i},
                                {x3r + x4r, x3i + x4i},
                                {x3r - x4r, x3i - x4i}};
        double o[4][2];
        auto pair = [&](const double* p, const double* q, std::size_t c, double* ok, double* oj) {
            SplitPair<V1>(p[0], p[1], q[0], q[1], a[c], b[c], ok[0], ok[1], oj[0], oj[1]);
        };
        pair(z[0], z[3], k, o[0], o[3]);
        if (k != quarter) pair(z[2], z[1], h - k, o[2], o[1]);
        out.template Put<V1>(k, o[0][0], o[0][1]);
        out.template Put<V1>(m - k, o[3][0], o[3][1]);
        if (k != quarter) {
            out.template Put<V1>(h - k, o[2][0], o[2][1]);
            out.template Put<V1>(h + k, o[1][0], o[1][1]);
        }
    }
    // Bins 0, m/2 and m.
    const double z0r = x0r + xhr;
    const double z0i = x0i + xhi;
    out.template Put<V1>(h, x0r - xhr, -(x0i - xhi));
    out.template Put<V1>(0, z0r + z0i, 0.0);
    out.template Put<V1>(m, z0r - z0i, 0.0);
}

// Power of a bin, V::W bins at a time: (re^2 + im^2) * scale, each product, the sum and the
// scaling rounded on its own, as plain double arithmetic does.
template <class V>
inline typename V::T Power(typename V::T re, typename V::T im, typename V::T scale) {
    return V::Mul(V::Add(V::Square(re), V::Square(im)), scale);
}

// Where the split step puts bin k: the caller's layout (real parts at re[k], imaginary parts at
// im[k]) ...
struct PackedBins {
    double* re;
    double* im;
    template <class V>
    void Put(std::size_t k, typename V::T r, typename V::T i) const {
        V::Store(re + k, r);
        V::Store(im + k, i);
    }
    // Bins k .. k + V::W - 1 given in reverse lane order.
    template <class V>
    void PutReversed(std::size_t k, typename V::T r, typename V::T i) const {
        V::Store(re + k, V::Reverse(r));
        V::Store(im + k, V::Reverse(i));
    }
};

// ... or only its power, at power[k].
struct PowerBins {
    double* power;
    double scale;
    // The scale is copied before it is broadcast: read through this, GCC assumes each store of
    // powers may change it and loads it again for every group (four loads per split step).
    template <class V>
    void Put(std::size_t k, typename V::T r, typename V::T i) const {
        const double factor = scale;
        V::Store(power + k, Power<V>(r, i, V::Broadcast(&factor)));
    }
    template <class V>
    void PutReversed(std::size_t k, typename V::T r, typename V::T i) const {
        const double factor = scale;
        V::Store(power + k, V::Reverse(Power<V>(r, i, V::Broadcast(&factor))));
    }
};

// The powers of bins 0 .. n/2 of a transform in the caller's layout (data, n + 2 doubles), V::W
// bins at a time and the rest one at a time.
template <class V>
void PowersOfPacked(const double* data, std::size_t n, double scale, double* power) {
    const std::size_t bins = n / 2 + 1;
    const double* im = data + bins;
    const auto factor = V::Broadcast(&scale);
    std::size_t k = 0;
    for (; k + V::W <= bins; k += V::W) {
        V::Store(power + k, Power<V>(V::Load(data + k), V::Load(im + k), factor));
    }
    for (; k < bins; ++k) power[k] = Power<V1>(data[k], im[k], scale);
}
