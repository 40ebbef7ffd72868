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

void DZFFT1DC(double* data, int n, int isign, double* table);
