// Internals shared by the transform's source files. Not for use outside fft/ and its tests.
#pragma once

#include <cstddef>

namespace kinetra::fft {

// Reports a failed parameter check: "FFT ERROR : Parameter <p> was incorrect on entry to <name>".
void ReportParameterError(int parameter, const char* routine);

// Reports an internal condition c <= 0:
// "FFT INTERNAL ERROR : Condition <c> detected in function <name>" (name cut to 10 characters).
void ReportInternalCondition(int condition, const char* routine);

// Work table layout for length n (m = n/2), in doubles from the table's start:
//   [0]                 m
//   [1]                 0.0
//   [kSplitOffset ..)   split coefficients: A[k] = (1 - sin t_k)/2 for k = 0 .. n/4-1, then
//                       B[k] = cos(t_k)/2 for k = 0 .. n/4-1, t_k = 2 pi k / n
//   [TwiddleOffset(n)..) the complex step's twiddles, one block per pass (see zfft1d_omp.cpp)
//   [2n - 1]            m
constexpr std::size_t kSplitOffset = 2;
inline std::size_t TwiddleOffset(std::size_t n) { return kSplitOffset + 2 * (n / 4); }

// Fills the complex step's part of the table for m complex points (m a power of two >= 1).
// Returns the number of doubles written from twiddles on.
std::size_t InitComplexTwiddles(double* twiddles, std::size_t m);

// Forward complex transform of m points held split in re[0..m) and im[0..m), natural order in
// and out. work must hold 2m doubles. The result ends in re/im.
void ZFFT1D(const double* twiddles, std::size_t m, double* re, double* im, double* work);

}  // namespace kinetra::fft
