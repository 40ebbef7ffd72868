// Vector kernels of the transform, written once over a small vector-traits type and compiled
// once per instruction set. Include this file only inside an unnamed namespace of a source file
// that is compiled for the instruction set its traits need (zfft1d_avx2.cpp, zfft1d_avx512.cpp):
// every function here then has internal linkage, so no copy compiled for a wider instruction set
// can ever be picked for a narrower processor.
//
// The kernels follow the pass plan of fft_internal.h and read the same table as the scalar path.
// Loads and stores are unaligned: the caller's array has no alignment guarantee.
//
// Requires: <immintrin.h>, <cstddef> and fft_internal.h included before the unnamed namespace.

// 4 doubles in a 256-bit register.
struct V4 {
    using T = __m256d;
    static constexpr std::size_t W = 4;
    static T Load(const double* p) { return _mm256_loadu_pd(p); }
    static void Store(double* p, T v) { _mm256_storeu_pd(p, v); }
    static T Broadcast(const double* p) { return _mm256_broadcast_sd(p); }
    static T Add(T a, T b) { return _mm256_add_pd(a, b); }
    static T Sub(T a, T b) { return _mm256_sub_pd(a, b); }
    static T Mul(T a, T b) { return _mm256_mul_pd(a, b); }
    static T MulAdd(T a, T b, T c) { return _mm256_fmadd_pd(a, b, c); }  // a*b + c
    static T MulSub(T a, T b, T c) { return _mm256_fmsub_pd(a, b, c); }  // a*b - c
    static T Reverse(T v) { return _mm256_permute4x64_pd(v, 0x1B); }
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

// Radix-4 pass of length L >= 4 at a stride that is a multiple of V::W, vectorised over the
// stride. tw is the pass's twiddle block (unused when L = 4).
template <class V>
void Radix4Pass(const double* tw, std::size_t length, std::size_t stride, const double* xr,
                const double* xi, double* yr, double* yi) {
    const std::size_t quarter = length / 4;
    const std::size_t step = stride * quarter;
    for (std::size_t p = 0; p < quarter; ++p) {
        const double* ar = xr + stride * p;
        const double* ai = xi + stride * p;
        double* outR = yr + stride * 4 * p;
        double* outI = yi + stride * 4 * p;
        if (p == 0) {
            for (std::size_t c = 0; c < stride; c += V::W) {
                const Butterfly4<V> y(V::Load(ar + c), V::Load(ai + c), V::Load(ar + c + step),
                                      V::Load(ai + c + step), V::Load(ar + c + 2 * step),
                                      V::Load(ai + c + 2 * step), V::Load(ar + c + 3 * step),
                                      V::Load(ai + c + 3 * step));
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
        const auto w1r = V::Broadcast(tw + p);
        const auto w1i = V::Broadcast(tw + quarter + p);
        const auto w2r = V::Broadcast(tw + 2 * quarter + p);
        const auto w2i = V::Broadcast(tw + 3 * quarter + p);
        const auto w3r = V::Broadcast(tw + 4 * quarter + p);
        const auto w3i = V::Broadcast(tw + 5 * quarter + p);
        for (std::size_t c = 0; c < stride; c += V::W) {
            Butterfly4<V> y(V::Load(ar + c), V::Load(ai + c), V::Load(ar + c + step),
                            V::Load(ai + c + step), V::Load(ar + c + 2 * step),
                            V::Load(ai + c + 2 * step), V::Load(ar + c + 3 * step),
                            V::Load(ai + c + 3 * step));
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

// Loads the 4 complex values at interleaved[2a .. 2a+7] as split re/im vectors.
inline void LoadInterleaved4(const double* interleaved, __m256d& re, __m256d& im) {
    // (r0 i0 | r2 i2) and (r1 i1 | r3 i3), then one unpack each way.
    const __m256d v02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(interleaved)),
                                             _mm_loadu_pd(interleaved + 4), 1);
    const __m256d v13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(interleaved + 2)),
                                             _mm_loadu_pd(interleaved + 6), 1);
    re = _mm256_unpacklo_pd(v02, v13);
    im = _mm256_unpackhi_pd(v02, v13);
}

// Stores rows y0..y3 (row j holding lanes p .. p+3) transposed: out[4l + j] = y_j[l].
inline void StoreTransposed4(double* out, __m256d y0, __m256d y1, __m256d y2, __m256d y3) {
    const __m256d t0 = _mm256_unpacklo_pd(y0, y1);  // y0[0] y1[0] y0[2] y1[2]
    const __m256d t1 = _mm256_unpackhi_pd(y0, y1);  // y0[1] y1[1] y0[3] y1[3]
    const __m256d t2 = _mm256_unpacklo_pd(y2, y3);
    const __m256d t3 = _mm256_unpackhi_pd(y2, y3);
    _mm256_storeu_pd(out, _mm256_permute2f128_pd(t0, t2, 0x20));
    _mm256_storeu_pd(out + 4, _mm256_permute2f128_pd(t1, t3, 0x20));
    _mm256_storeu_pd(out + 8, _mm256_permute2f128_pd(t0, t2, 0x31));
    _mm256_storeu_pd(out + 12, _mm256_permute2f128_pd(t1, t3, 0x31));
}

// The first radix-4 pass (length m >= 16, stride 1), reading the caller's real input as m
// interleaved complex values and writing split y. Vectorised over p, 4 lanes.
inline void FirstPass(const double* tw, std::size_t m, const double* interleaved, double* yr,
                      double* yi) {
    const std::size_t quarter = m / 4;
    const double* w1r = tw;
    const double* w1i = w1r + quarter;
    const double* w2r = w1i + quarter;
    const double* w2i = w2r + quarter;
    const double* w3r = w2i + quarter;
    const double* w3i = w3r + quarter;
    for (std::size_t p = 0; p < quarter; p += 4) {
        __m256d ar, ai, br, bi, cr, ci, dr, di;
        LoadInterleaved4(interleaved + 2 * p, ar, ai);
        LoadInterleaved4(interleaved + 2 * (p + quarter), br, bi);
        LoadInterleaved4(interleaved + 2 * (p + 2 * quarter), cr, ci);
        LoadInterleaved4(interleaved + 2 * (p + 3 * quarter), dr, di);
        Butterfly4<V4> y(ar, ai, br, bi, cr, ci, dr, di);
        Twiddle<V4>(y.r1, y.i1, V4::Load(w1r + p), V4::Load(w1i + p));
        Twiddle<V4>(y.r2, y.i2, V4::Load(w2r + p), V4::Load(w2i + p));
        Twiddle<V4>(y.r3, y.i3, V4::Load(w3r + p), V4::Load(w3i + p));
        StoreTransposed4(yr + 4 * p, y.r0, y.r1, y.r2, y.r3);
        StoreTransposed4(yi + 4 * p, y.i0, y.i1, y.i2, y.i3);
    }
}

// The split step (see SplitStep in fft_internal.h), V::W pairs at a time from the ends inwards.
// In place is allowed as in the scalar version: each group reads all it needs before writing.
template <class V>
void Split(const double* table, std::size_t n, const double* zr, const double* zi, double* xr,
           double* xi) {
    const std::size_t m = n / 2;
    const std::size_t quarter = n / 4;
    const double* a = table + kSplitOffset;
    const double* b = a + quarter;
    std::size_t k = 1;
    for (; k + V::W <= quarter; k += V::W) {
        const std::size_t j = m - k - (V::W - 1);  // lowest partner index of the group
        const auto zrk = V::Load(zr + k);
        const auto zik = V::Load(zi + k);
        const auto zrj = V::Reverse(V::Load(zr + j));
        const auto zij = V::Reverse(V::Load(zi + j));
        const auto ak = V::Load(a + k);
        const auto bk = V::Load(b + k);
        const auto d = V::Sub(zrk, zrj);
        const auto s = V::Add(zik, zij);
        const auto h = V::MulAdd(d, ak, V::Mul(s, bk));
        const auto g = V::MulSub(s, ak, V::Mul(d, bk));
        V::Store(xr + k, V::Add(zrj, h));
        V::Store(xr + j, V::Reverse(V::Sub(zrk, h)));
        V::Store(xi + k, V::Sub(g, zij));
        V::Store(xi + j, V::Reverse(V::Sub(g, zik)));
    }
    for (; k < quarter; ++k) {
        const std::size_t j = m - k;
        const double zrk = zr[k];
        const double zrj = zr[j];
        const double zik = zi[k];
        const double zij = zi[j];
        const double d = zrk - zrj;
        const double s = zik + zij;
        const double h = d * a[k] + s * b[k];
        const double g = s * a[k] - d * b[k];
        xr[k] = zrj + h;
        xr[j] = zrk - h;
        xi[k] = g - zij;
        xi[j] = g - zik;
    }
    xr[quarter] = zr[quarter];
    xi[quarter] = -zi[quarter];
    const double r0 = zr[0];
    const double i0 = zi[0];
    xr[0] = r0 + i0;
    xr[m] = r0 - i0;
    xi[0] = 0.0;
    xi[m] = 0.0;
}

// The final radix-2 pass (length 2, stride m/2) fused with the split step, for odd log2 m. x holds
// the input of that pass; with h = m/2, Z[c] = x[c] + x[c+h] and Z[c+h] = x[c] - x[c+h]. The
// pairs (k, m-k) and (h-k, h+k) of the split read and write exactly the positions k, h-k, h+k,
// m-k of x, so each such quadruple is done at once, and x may be the output itself (in place).
template <class V>
void Radix2AndSplit(const double* table, std::size_t n, const double* xr, const double* xi,
                    double* outR, double* outI) {
    const std::size_t m = n / 2;
    const std::size_t h = m / 2;
    const std::size_t quarter = m / 4;
    const double* a = table + kSplitOffset;
    const double* b = a + h;
    // One split pair: Z[k] = (pr, pi), Z[m-k] = (qr, qi) with coefficients (ak, bk); returns the
    // new values of positions k (xk) and m-k (xj).
    auto split = [](auto pr, auto pi, auto qr, auto qi, auto ak, auto bk, auto& xkR, auto& xkI,
                    auto& xjR, auto& xjI) {
        const auto d = V::Sub(pr, qr);
        const auto s = V::Add(pi, qi);
        const auto hh = V::MulAdd(d, ak, V::Mul(s, bk));
        const auto g = V::MulSub(s, ak, V::Mul(d, bk));
        xkR = V::Add(qr, hh);
        xjR = V::Sub(pr, hh);
        xkI = V::Sub(g, qi);
        xjI = V::Sub(g, pi);
    };
    std::size_t k = 1;
    for (; k + V::W <= quarter; k += V::W) {
        const std::size_t low = h - k - (V::W - 1);  // lowest index of the h-k group
        const std::size_t top = m - k - (V::W - 1);  // lowest index of the m-k group
        const auto x1r = V::Load(xr + k);
        const auto x1i = V::Load(xi + k);
        const auto x2r = V::Load(xr + k + h);
        const auto x2i = V::Load(xi + k + h);
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
        split(z1r, z1i, z4r, z4i, V::Load(a + k), V::Load(b + k), o1r, o1i, o4r, o4i);
        split(z3r, z3i, z2r, z2i, V::Reverse(V::Load(a + low)), V::Reverse(V::Load(b + low)), o3r,
              o3i, o2r, o2i);
        V::Store(outR + k, o1r);
        V::Store(outI + k, o1i);
        V::Store(outR + k + h, o2r);
        V::Store(outI + k + h, o2i);
        V::Store(outR + low, V::Reverse(o3r));
        V::Store(outI + low, V::Reverse(o3i));
        V::Store(outR + top, V::Reverse(o4r));
        V::Store(outI + top, V::Reverse(o4i));
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
            const double d = p[0] - q[0];
            const double sum = p[1] + q[1];
            const double hh = d * a[c] + sum * b[c];
            const double g = sum * a[c] - d * b[c];
            ok[0] = q[0] + hh;
            oj[0] = p[0] - hh;
            ok[1] = g - q[1];
            oj[1] = g - p[1];
        };
        pair(z[0], z[3], k, o[0], o[3]);
        if (k != quarter) pair(z[2], z[1], h - k, o[2], o[1]);
        outR[k] = o[0][0];
        outI[k] = o[0][1];
        outR[m - k] = o[3][0];
        outI[m - k] = o[3][1];
        if (k != quarter) {
            outR[h - k] = o[2][0];
            outI[h - k] = o[2][1];
            outR[h + k] = o[1][0];
            outI[h + k] = o[1][1];
        }
    }
    // Bins 0, m/2 and m.
    const double x0r = xr[0], x0i = xi[0], xhr = xr[h], xhi = xi[h];
    const double z0r = x0r + xhr;
    const double z0i = x0i + xhi;
    outR[h] = x0r - xhr;
    outI[h] = -(x0i - xhi);
    outR[0] = z0r + z0i;
    outR[m] = z0r - z0i;
    outI[0] = 0.0;
    outI[m] = 0.0;
}

// Radix-4 pass with the widest traits whose width divides the stride.
template <class V>
void Radix4PassWidest(const double* tw, std::size_t length, std::size_t stride, const double* xr,
                      const double* xi, double* yr, double* yi) {
    if (stride % V::W == 0) {
        Radix4Pass<V>(tw, length, stride, xr, xi, yr, yi);
    } else {
        Radix4Pass<V4>(tw, length, stride, xr, xi, yr, yi);
    }
}

// The whole transform (n >= 2); lengths below 32 take the scalar path.
template <class V>
void TransformVector(double* data, std::size_t n, const double* table, double* scratch) {
    const std::size_t m = n / 2;
    if (m < 16) {
        TransformScalar(data, n, table, scratch);
        return;
    }
    // Buffers: the scratch, the caller's array as work area, and the caller's array in the
    // layout the split step finishes in place (imaginary parts from element m + 1).
    double* const sr = scratch;
    double* const si = scratch + m;
    // With odd log2 m the final radix-2 pass is done inside the split step.
    const bool fusedRadix2 = (Log2(m) & 1U) != 0;
    const unsigned passes = PassCount(m) - (fusedRadix2 ? 1U : 0U);
    const double* tw = table + TwiddleOffset(n);

    FirstPass(tw, m, data, sr, si);
    tw += 6 * (m / 4);
    const double* xr = sr;
    const double* xi = si;
    std::size_t length = m / 4;
    std::size_t stride = 4;
    for (unsigned pass = 2; pass <= passes; ++pass) {
        double* yr = sr;
        double* yi = si;
        if (xr == sr) {
            yr = data;
            yi = data + m + (pass == passes ? 1 : 0);
        }
        if (length >= 4) {
            Radix4PassWidest<V>(tw, length, stride, xr, xi, yr, yi);
            if (length >= 8) tw += 6 * (length / 4);
            length /= 4;
            stride *= 4;
        } else {
            Radix2LastPass<V>(stride, xr, xi, yr, yi);
            length = 1;
        }
        xr = yr;
        xi = yi;
    }
    if (fusedRadix2) {
        Radix2AndSplit<V>(table, n, xr, xi, data, data + m + 1);
    } else {
        Split<V>(table, n, xr, xi, data, data + m + 1);
    }
}
