// Independent long-double references for the transform tests.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace kinetra::test {

using LongComplex = std::complex<long double>;

// X[k] = sum_j x[j] exp(-2 pi i j k / n) for k = 0 .. n/2, by the definition (O(n^2)).
std::vector<LongComplex> ReferenceDft(const std::vector<double>& x);

// The same by a plain recursive radix-2 FFT in long double, for lengths too long for the
// definition. n must be a power of two.
std::vector<LongComplex> ReferenceFft(const std::vector<double>& x);

// Bin k of the transform of x alone, by the definition with exact long-double roots (O(n)), for
// spot checks at lengths too long for a full reference.
LongComplex ReferenceBin(const std::vector<double>& x, std::size_t k);

// Largest |ours - reference| over bins 0 .. n/2, relative to the largest |reference|.
// ours is in the packed layout: Re at [k], Im at [n/2 + 1 + k].
double RelativeError(const std::vector<double>& packed, const std::vector<LongComplex>& reference);

}  // namespace kinetra::test
