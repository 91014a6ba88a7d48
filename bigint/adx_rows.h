#pragma once
// Rows of Montgomery products with the mulx/adcx/adox instructions (BMI2 and ADX):
// two independent carry chains, one for the high halves of the products and one for
// the sum with the row already there, so a limb product costs four instructions
// instead of the eight that unsigned __int128 compiles to. Only for x86-64 CPUs that
// report both features; callers check adx_rows_available() first.

#include <cstddef>
#include <cstdint>

namespace velmora {

// True when this build has the rows and the CPU runs them.
bool adx_rows_available();

#if defined(__x86_64__) && defined(__GNUC__)
#define VELMORA_HAVE_ADX_ROWS 1

// r[0 .. L) += a[0 .. L) * b; returns the carry limb.
template <std::size_t L>
std::uint64_t adx_add_mul_row(std::uint64_t* r, const std::uint64_t* a, std::uint64_t b);

// One limb: the product of a[j] and b (in rdx) lands in lo and the new high half;
// adcx adds the previous high half, adox the limb of r.
#define VM_STEP(j, prev, next)                  \
  "mulx 8*" #j "(%[a]), %[lo], %[" #next "]\n\t" \
  "adcx %[" #prev "], %[lo]\n\t"                 \
  "adox 8*" #j "(%[r]), %[lo]\n\t"               \
  "mov %[lo], 8*" #j "(%[r])\n\t"
#define VM_E(j) VM_STEP(j, h0, h1)
#define VM_O(j) VM_STEP(j, h1, h0)
#define VM_ROW_1 VM_E(0)
#define VM_ROW_2 VM_ROW_1 VM_O(1)
#define VM_ROW_3 VM_ROW_2 VM_E(2)
#define VM_ROW_4 VM_ROW_3 VM_O(3)
#define VM_ROW_5 VM_ROW_4 VM_E(4)
#define VM_ROW_6 VM_ROW_5 VM_O(5)
#define VM_ROW_7 VM_ROW_6 VM_E(6)
#define VM_ROW_8 VM_ROW_7 VM_O(7)
#define VM_ROW_9 VM_ROW_8 VM_E(8)
#define VM_ROW_10 VM_ROW_9 VM_O(9)
#define VM_ROW_11 VM_ROW_10 VM_E(10)
#define VM_ROW_12 VM_ROW_11 VM_O(11)
#define VM_ROW_13 VM_ROW_12 VM_E(12)
#define VM_ROW_14 VM_ROW_13 VM_O(13)
#define VM_ROW_15 VM_ROW_14 VM_E(14)
#define VM_ROW_16 VM_ROW_15 VM_O(15)
#define VM_ROW_17 VM_ROW_16 VM_E(16)
#define VM_ROW_18 VM_ROW_17 VM_O(17)
#define VM_ROW_19 VM_ROW_18 VM_E(18)
#define VM_ROW_20 VM_ROW_19 VM_O(19)
#define VM_ROW_21 VM_ROW_20 VM_E(20)
#define VM_ROW_22 VM_ROW_21 VM_O(21)
#define VM_ROW_23 VM_ROW_22 VM_E(22)
#define VM_ROW_24 VM_ROW_23 VM_O(23)
#define VM_ROW_25 VM_ROW_24 VM_E(24)
#define VM_ROW_26 VM_ROW_25 VM_O(25)
#define VM_ROW_27 VM_ROW_26 VM_E(26)
#define VM_ROW_28 VM_ROW_27 VM_O(27)
#define VM_ROW_29 VM_ROW_28 VM_E(28)
#define VM_ROW_30 VM_ROW_29 VM_O(29)
#define VM_ROW_31 VM_ROW_30 VM_E(30)
#define VM_ROW_32 VM_ROW_31 VM_O(31)

// xor clears both carry flags and the first high half; the carry out is the last
// high half plus both flags, which cannot overflow since the row's sum fits L + 1 limbs.
#define VM_DEFINE_ROW(L, last)                                                         \
  template <>                                                                          \
  inline std::uint64_t adx_add_mul_row<L>(std::uint64_t * r, const std::uint64_t* a,   \
                                          std::uint64_t b) {                           \
    std::uint64_t lo, h0, h1;                                                          \
    asm volatile("xor %k[h0], %k[h0]\n\t" VM_ROW_##L "mov $0, %[lo]\n\t"               \
                 "adcx %[lo], %[" #last "]\n\t"                                        \
                 "adox %[lo], %[" #last "]\n\t"                                        \
                 : [lo] "=&r"(lo), [h0] "=&r"(h0), [h1] "=&r"(h1)                      \
                 : [r] "r"(r), [a] "r"(a), "d"(b)                                      \
                 : "cc", "memory");                                                    \
    return last;                                                                       \
  }
VM_DEFINE_ROW(1, h1)
VM_DEFINE_ROW(2, h0)
VM_DEFINE_ROW(3, h1)
VM_DEFINE_ROW(4, h0)
VM_DEFINE_ROW(5, h1)
VM_DEFINE_ROW(6, h0)
VM_DEFINE_ROW(7, h1)
VM_DEFINE_ROW(8, h0)
VM_DEFINE_ROW(9, h1)
VM_DEFINE_ROW(10, h0)
VM_DEFINE_ROW(11, h1)
VM_DEFINE_ROW(12, h0)
VM_DEFINE_ROW(13, h1)
VM_DEFINE_ROW(14, h0)
VM_DEFINE_ROW(15, h1)
VM_DEFINE_ROW(16, h0)
VM_DEFINE_ROW(17, h1)
VM_DEFINE_ROW(18, h0)
VM_DEFINE_ROW(19, h1)
VM_DEFINE_ROW(20, h0)
VM_DEFINE_ROW(21, h1)
VM_DEFINE_ROW(22, h0)
VM_DEFINE_ROW(23, h1)
VM_DEFINE_ROW(24, h0)
VM_DEFINE_ROW(25, h1)
VM_DEFINE_ROW(26, h0)
VM_DEFINE_ROW(27, h1)
VM_DEFINE_ROW(28, h0)
VM_DEFINE_ROW(29, h1)
VM_DEFINE_ROW(30, h0)
VM_DEFINE_ROW(31, h1)
VM_DEFINE_ROW(32, h0)

#undef VM_DEFINE_ROW
#undef VM_ROW_1
#undef VM_ROW_2
#undef VM_ROW_3
#undef VM_ROW_4
#undef VM_ROW_5
#undef VM_ROW_6
#undef VM_ROW_7
#undef VM_ROW_8
#undef VM_ROW_9
#undef VM_ROW_10
#undef VM_ROW_11
#undef VM_ROW_12
#undef VM_ROW_13
#undef VM_ROW_14
#undef VM_ROW_15
#undef VM_ROW_16
#undef VM_ROW_17
#undef VM_ROW_18
#undef VM_ROW_19
#undef VM_ROW_20
#undef VM_ROW_21
#undef VM_ROW_22
#undef VM_ROW_23
#undef VM_ROW_24
#undef VM_ROW_25
#undef VM_ROW_26
#undef VM_ROW_27
#undef VM_ROW_28
#undef VM_ROW_29
#undef VM_ROW_30
#undef VM_ROW_31
#undef VM_ROW_32
#undef VM_O
#undef VM_E
#undef VM_STEP

// t[0 .. 2L) := 2 t + the squares of a[0 .. L): adcx doubles limb by limb, carrying the
// top bit, adox adds the square. The caller guarantees the sum fits 2L limbs.
template <std::size_t L>
void adx_double_add_squares(std::uint64_t* t, const std::uint64_t* a);

#define VM_HALF(k, part)             \
  "mov " k "(%[t]), %[x]\n\t"         \
  "adcx %[x], %[x]\n\t"              \
  "adox %[" #part "], %[x]\n\t"      \
  "mov %[x], " k "(%[t])\n\t"
#define VM_D(i)                              \
  "mov 8*" #i "(%[a]), %%rdx\n\t"           \
  "mulx %%rdx, %[lo], %[hi]\n\t"            \
  VM_HALF("16*" #i, lo) VM_HALF("16*" #i "+8", hi)
#define VM_DIAG_1 VM_D(0)
#define VM_DIAG_2 VM_DIAG_1 VM_D(1)
#define VM_DIAG_3 VM_DIAG_2 VM_D(2)
#define VM_DIAG_4 VM_DIAG_3 VM_D(3)
#define VM_DIAG_5 VM_DIAG_4 VM_D(4)
#define VM_DIAG_6 VM_DIAG_5 VM_D(5)
#define VM_DIAG_7 VM_DIAG_6 VM_D(6)
#define VM_DIAG_8 VM_DIAG_7 VM_D(7)
#define VM_DIAG_9 VM_DIAG_8 VM_D(8)
#define VM_DIAG_10 VM_DIAG_9 VM_D(9)
#define VM_DIAG_11 VM_DIAG_10 VM_D(10)
#define VM_DIAG_12 VM_DIAG_11 VM_D(11)
#define VM_DIAG_13 VM_DIAG_12 VM_D(12)
#define VM_DIAG_14 VM_DIAG_13 VM_D(13)
#define VM_DIAG_15 VM_DIAG_14 VM_D(14)
#define VM_DIAG_16 VM_DIAG_15 VM_D(15)
#define VM_DIAG_17 VM_DIAG_16 VM_D(16)
#define VM_DIAG_18 VM_DIAG_17 VM_D(17)
#define VM_DIAG_19 VM_DIAG_18 VM_D(18)
#define VM_DIAG_20 VM_DIAG_19 VM_D(19)
#define VM_DIAG_21 VM_DIAG_20 VM_D(20)
#define VM_DIAG_22 VM_DIAG_21 VM_D(21)
#define VM_DIAG_23 VM_DIAG_22 VM_D(22)
#define VM_DIAG_24 VM_DIAG_23 VM_D(23)
#define VM_DIAG_25 VM_DIAG_24 VM_D(24)
#define VM_DIAG_26 VM_DIAG_25 VM_D(25)
#define VM_DIAG_27 VM_DIAG_26 VM_D(26)
#define VM_DIAG_28 VM_DIAG_27 VM_D(27)
#define VM_DIAG_29 VM_DIAG_28 VM_D(28)
#define VM_DIAG_30 VM_DIAG_29 VM_D(29)
#define VM_DIAG_31 VM_DIAG_30 VM_D(30)
#define VM_DIAG_32 VM_DIAG_31 VM_D(31)

#define VM_DEFINE_SQUARES(L)                                                              \
  template <>                                                                             \
  inline void adx_double_add_squares<L>(std::uint64_t * t, const std::uint64_t* a) {      \
    std::uint64_t lo, hi, x;                                                              \
    asm volatile("xor %k[x], %k[x]\n\t" VM_DIAG_##L                                     \
                 : [lo] "=&r"(lo), [hi] "=&r"(hi), [x] "=&r"(x)                           \
                 : [t] "r"(t), [a] "r"(a)                                                 \
                 : "rdx", "cc", "memory");                                                \
  }
VM_DEFINE_SQUARES(8)
VM_DEFINE_SQUARES(16)
VM_DEFINE_SQUARES(32)

#undef VM_DEFINE_SQUARES
#undef VM_DIAG_1
#undef VM_DIAG_2
#undef VM_DIAG_3
#undef VM_DIAG_4
#undef VM_DIAG_5
#undef VM_DIAG_6
#undef VM_DIAG_7
#undef VM_DIAG_8
#undef VM_DIAG_9
#undef VM_DIAG_10
#undef VM_DIAG_11
#undef VM_DIAG_12
#undef VM_DIAG_13
#undef VM_DIAG_14
#undef VM_DIAG_15
#undef VM_DIAG_16
#undef VM_DIAG_17
#undef VM_DIAG_18
#undef VM_DIAG_19
#undef VM_DIAG_20
#undef VM_DIAG_21
#undef VM_DIAG_22
#undef VM_DIAG_23
#undef VM_DIAG_24
#undef VM_DIAG_25
#undef VM_DIAG_26
#undef VM_DIAG_27
#undef VM_DIAG_28
#undef VM_DIAG_29
#undef VM_DIAG_30
#undef VM_DIAG_31
#undef VM_DIAG_32
#undef VM_D
#undef VM_HALF

#endif

}  // namespace velmora
