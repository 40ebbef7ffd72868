# An aligned ymm spill and an aligned zmm reload, as a kernel might leave them.
vmovaps %ymm0, 32(%rsp)
vmovdqa64 64(%rbp), %zmm1
