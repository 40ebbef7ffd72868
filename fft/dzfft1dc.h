// Real-input fast Fourier transform of power-of-two length.
//
//   DZFFT1DC(data, n, 0, table)   prepares table (2n + 4 doubles) for length n.
//   DZFFT1DC(data, n, -1, table)  transforms data (n + 2 doubles) in place: element k becomes
//                                 Re X[k] and element n/2 + 1 + k becomes Im X[k], k = 0 .. n/2,
//                                 where X[k] = sum_j x[j] exp(-2 pi i j k / n), unscaled.
//
// Any isign from -2 to 2 other than 0 performs the same forward transform. Parameter errors are
// reported on standard error as "FFT ERROR : Parameter <p> was incorrect on entry to DZFFT1DC"
// and leave data and table untouched. The caller's floating-point environment is preserved.
//
// Thread: any. The routine keeps no state; several threads may transform different data arrays
// with one table at the same time. A transform allocates only its scratch block, which each
// thread keeps for its later transforms of up to 65536 points.
#pragma once

#include <cstdint>

void DZFFT1DC(double* data, int n, int isign, double* table);

namespace kinetra::fft {

// The powers of a block of n 16-bit samples in one call, without the packed transform in
// between: power[k] = (Re X[k]^2 + Im X[k]^2) * scale for k = 0 .. n/2, X the transform DZFFT1DC
// computes from the samples converted to double. Each product, the sum and the scaling are
// rounded on their own, so every value equals DZFFT1DC followed by that arithmetic written
// plainly. table: prepared by DZFFT1DC(.., n, 0, table); work: n + 2 doubles, overwritten.
// Returns false, with DZFFT1DC's messages and power untouched, for a length that is not a power of
// two, an unprepared table or a null array, or when the scratch block cannot be had. power also
// serves as a work area during the call, so it must not overlap samples, table or work.
// Thread: any; allocates only as DZFFT1DC does.
bool BlockPowers(const std::int16_t* samples, int n, const double* table, double* work,
                 double scale, double* power);

}  // namespace kinetra::fft
