// The output stage's Newton solve in 256-bit vectors, compiled for AVX2 and FMA (the
// vector part of x86-64-v3) and run only on CPUs that have both. The four unknowns fill one vector: each
// evaluation computes its four junction exponentials together, sums every node's
// currents lane by lane, and the 4 x 4 elimination updates whole rows.
//
// Every value equals the baseline path's bit for bit. Each lane performs the same IEEE
// operations in the same order as the scalar code (no contraction: a product and a sum
// stay two roundings); padding lanes add -0.0 or subtract +0.0, which leave any value as
// it is. The exponential repeats the system library's exp step for step (its table, its
// polynomial and its fused multiply-adds), which is the exp the baseline path calls on
// every CPU that has FMA and AVX2.

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/output_stage_steps.h"

namespace corva {

namespace {

// exp(x) = 2^(k/128) * exp(r), with k = round(x * 128 / ln 2) and |r| <= ln 2 / 256.
// The table holds, for each k mod 128, the bits of 2^(k/128) rounded to double less
// (k << 45), and the tail (2^(k/128) - that double) / that double.
alignas(64) constexpr std::uint64_t kExpTable[256] = {
    0x0000000000000000, 0x3ff0000000000000, 0x3c9b3b4f1a88bf6e, 0x3feff63da9fb3335,
    0xbc7160139cd8dc5d, 0x3fefec9a3e778061, 0xbc905e7a108766d1, 0x3fefe315e86e7f85,
    0x3c8cd2523567f613, 0x3fefd9b0d3158574, 0xbc8bce8023f98efa, 0x3fefd06b29ddf6de,
    0x3c60f74e61e6c861, 0x3fefc74518759bc8, 0x3c90a3e45b33d399, 0x3fefbe3ecac6f383,
    0x3c979aa65d837b6d, 0x3fefb5586cf9890f, 0x3c8eb51a92fdeffc, 0x3fefac922b7247f7,
    0x3c3ebe3d702f9cd1, 0x3fefa3ec32d3d1a2, 0xbc6a033489906e0b, 0x3fef9b66affed31b,
    0xbc9556522a2fbd0e, 0x3fef9301d0125b51, 0xbc5080ef8c4eea55, 0x3fef8abdc06c31cc,
    0xbc91c923b9d5f416, 0x3fef829aaea92de0, 0x3c80d3e3e95c55af, 0x3fef7a98c8a58e51,
    0xbc801b15eaa59348, 0x3fef72b83c7d517b, 0xbc8f1ff055de323d, 0x3fef6af9388c8dea,
    0x3c8b898c3f1353bf, 0x3fef635beb6fcb75, 0xbc96d99c7611eb26, 0x3fef5be084045cd4,
    0x3c9aecf73e3a2f60, 0x3fef54873168b9aa, 0xbc8fe782cb86389d, 0x3fef4d5022fcd91d,
    0x3c8a6f4144a6c38d, 0x3fef463b88628cd6, 0x3c807a05b0e4047d, 0x3fef3f49917ddc96,
    0x3c968efde3a8a894, 0x3fef387a6e756238, 0x3c875e18f274487d, 0x3fef31ce4fb2a63f,
    0x3c80472b981fe7f2, 0x3fef2b4565e27cdd, 0xbc96b87b3f71085e, 0x3fef24dfe1f56381,
    0x3c82f7e16d09ab31, 0x3fef1e9df51fdee1, 0xbc3d219b1a6fbffa, 0x3fef187fd0dad990,
    0x3c8b3782720c0ab4, 0x3fef1285a6e4030b, 0x3c6e149289cecb8f, 0x3fef0cafa93e2f56,
    0x3c834d754db0abb6, 0x3fef06fe0a31b715, 0x3c864201e2ac744c, 0x3fef0170fc4cd831,
    0x3c8fdd395dd3f84a, 0x3feefc08b26416ff, 0xbc86a3803b8e5b04, 0x3feef6c55f929ff1,
    0xbc924aedcc4b5068, 0x3feef1a7373aa9cb, 0xbc9907f81b512d8e, 0x3feeecae6d05d866,
    0xbc71d1e83e9436d2, 0x3feee7db34e59ff7, 0xbc991919b3ce1b15, 0x3feee32dc313a8e5,
    0x3c859f48a72a4c6d, 0x3feedea64c123422, 0xbc9312607a28698a, 0x3feeda4504ac801c,
    0xbc58a78f4817895b, 0x3feed60a21f72e2a, 0xbc7c2c9b67499a1b, 0x3feed1f5d950a897,
    0x3c4363ed60c2ac11, 0x3feece086061892d, 0x3c9666093b0664ef, 0x3feeca41ed1d0057,
    0x3c6ecce1daa10379, 0x3feec6a2b5c13cd0, 0x3c93ff8e3f0f1230, 0x3feec32af0d7d3de,
    0x3c7690cebb7aafb0, 0x3feebfdad5362a27, 0x3c931dbdeb54e077, 0x3feebcb299fddd0d,
    0xbc8f94340071a38e, 0x3feeb9b2769d2ca7, 0xbc87deccdc93a349, 0x3feeb6daa2cf6642,
    0xbc78dec6bd0f385f, 0x3feeb42b569d4f82, 0xbc861246ec7b5cf6, 0x3feeb1a4ca5d920f,
    0x3c93350518fdd78e, 0x3feeaf4736b527da, 0x3c7b98b72f8a9b05, 0x3feead12d497c7fd,
    0x3c9063e1e21c5409, 0x3feeab07dd485429, 0x3c34c7855019c6ea, 0x3feea9268a5946b7,
    0x3c9432e62b64c035, 0x3feea76f15ad2148, 0xbc8ce44a6199769f, 0x3feea5e1b976dc09,
    0xbc8c33c53bef4da8, 0x3feea47eb03a5585, 0xbc845378892be9ae, 0x3feea34634ccc320,
    0xbc93cedd78565858, 0x3feea23882552225, 0x3c5710aa807e1964, 0x3feea155d44ca973,
    0xbc93b3efbf5e2228, 0x3feea09e667f3bcd, 0xbc6a12ad8734b982, 0x3feea012750bdabf,
    0xbc6367efb86da9ee, 0x3fee9fb23c651a2f, 0xbc80dc3d54e08851, 0x3fee9f7df9519484,
    0xbc781f647e5a3ecf, 0x3fee9f75e8ec5f74, 0xbc86ee4ac08b7db0, 0x3fee9f9a48a58174,
    0xbc8619321e55e68a, 0x3fee9feb564267c9, 0x3c909ccb5e09d4d3, 0x3feea0694fde5d3f,
    0xbc7b32dcb94da51d, 0x3feea11473eb0187, 0x3c94ecfd5467c06b, 0x3feea1ed0130c132,
    0x3c65ebe1abd66c55, 0x3feea2f336cf4e62, 0xbc88a1c52fb3cf42, 0x3feea427543e1a12,
    0xbc9369b6f13b3734, 0x3feea589994cce13, 0xbc805e843a19ff1e, 0x3feea71a4623c7ad,
    0xbc94d450d872576e, 0x3feea8d99b4492ed, 0x3c90ad675b0e8a00, 0x3feeaac7d98a6699,
    0x3c8db72fc1f0eab4, 0x3feeace5422aa0db, 0xbc65b6609cc5e7ff, 0x3feeaf3216b5448c,
    0x3c7bf68359f35f44, 0x3feeb1ae99157736, 0xbc93091fa71e3d83, 0x3feeb45b0b91ffc6,
    0xbc5da9b88b6c1e29, 0x3feeb737b0cdc5e5, 0xbc6c23f97c90b959, 0x3feeba44cbc8520f,
    0xbc92434322f4f9aa, 0x3feebd829fde4e50, 0xbc85ca6cd7668e4b, 0x3feec0f170ca07ba,
    0x3c71affc2b91ce27, 0x3feec49182a3f090, 0x3c6dd235e10a73bb, 0x3feec86319e32323,
    0xbc87c50422622263, 0x3feecc667b5de565, 0x3c8b1c86e3e231d5, 0x3feed09bec4a2d33,
    0xbc91bbd1d3bcbb15, 0x3feed503b23e255d, 0x3c90cc319cee31d2, 0x3feed99e1330b358,
    0x3c8469846e735ab3, 0x3feede6b5579fdbf, 0xbc82dfcd978e9db4, 0x3feee36bbfd3f37a,
    0x3c8c1a7792cb3387, 0x3feee89f995ad3ad, 0xbc907b8f4ad1d9fa, 0x3feeee07298db666,
    0xbc55c3d956dcaeba, 0x3feef3a2b84f15fb, 0xbc90a40e3da6f640, 0x3feef9728de5593a,
    0xbc68d6f438ad9334, 0x3feeff76f2fb5e47, 0xbc91eee26b588a35, 0x3fef05b030a1064a,
    0x3c74ffd70a5fddcd, 0x3fef0c1e904bc1d2, 0xbc91bdfbfa9298ac, 0x3fef12c25bd71e09,
    0x3c736eae30af0cb3, 0x3fef199bdd85529c, 0x3c8ee3325c9ffd94, 0x3fef20ab5fffd07a,
    0x3c84e08fd10959ac, 0x3fef27f12e57d14b, 0x3c63cdaf384e1a67, 0x3fef2f6d9406e7b5,
    0x3c676b2c6c921968, 0x3fef3720dcef9069, 0xbc808a1883ccb5d2, 0x3fef3f0b555dc3fa,
    0xbc8fad5d3ffffa6f, 0x3fef472d4a07897c, 0xbc900dae3875a949, 0x3fef4f87080d89f2,
    0x3c74a385a63d07a7, 0x3fef5818dcfba487, 0xbc82919e2040220f, 0x3fef60e316c98398,
    0x3c8e5a50d5c192ac, 0x3fef69e603db3285, 0x3c843a59ac016b4b, 0x3fef7321f301b460,
    0xbc82d52107b43e1f, 0x3fef7c97337b9b5f, 0xbc892ab93b470dc9, 0x3fef864614f5a129,
    0x3c74b604603a88d3, 0x3fef902ee78b3ff6, 0x3c83c5ec519d7271, 0x3fef9a51fbc74c83,
    0xbc8ff7128fd391f0, 0x3fefa4afa2a490da, 0xbc8dae98e223747d, 0x3fefaf482d8e67f1,
    0x3c8ec3bc41aa2008, 0x3fefba1bee615a27, 0x3c842b94c3a9eb32, 0x3fefc52b376bba97,
    0x3c8a64a931d185ee, 0x3fefd0765b6e4540, 0xbc8e37bae43be3ed, 0x3fefdbfdad9cbe14,
    0x3c77893b4d91cd9d, 0x3fefe7c1819e90d8, 0x3c5305c14160cc89, 0x3feff3c22b8f71f1,
};

constexpr double kExpInvLn2N = 0x1.71547652b82fep7;     // 128 / ln 2
constexpr double kExpNegLn2HiN = -0x1.62e42fefa0000p-8;  // -ln 2 / 128, high part
constexpr double kExpNegLn2LoN = -0x1.cf79abc9e3b3ap-47;  // and the rest
constexpr double kExpShift = 0x1.8p52;                  // rounds x * 128 / ln 2 to an integer
// Polynomial for exp(r) - 1 - r.
constexpr double kExpC2 = 0x1.ffffffffffdbdp-2;
constexpr double kExpC3 = 0x1.555555555543cp-3;
constexpr double kExpC4 = 0x1.55555cf172b91p-5;
constexpr double kExpC5 = 0x1.1111167a4d017p-7;

inline __m256d set1(double x) { return _mm256_set1_pd(x); }

// exp of four arguments. Arguments of magnitude 512 or more, infinities and NaNs are
// handed to std::exp one by one; tiny ones give 1 + x, as in std::exp.
inline __m256d exp4(__m256d x) {
  const __m256i bits = _mm256_castpd_si256(x);
  const __m256i abstop = _mm256_and_si256(_mm256_srli_epi64(bits, 52), _mm256_set1_epi64x(0x7ff));
  // abstop - 0x3c9 >= 0x3f (unsigned): tiny, or 512 and beyond.
  const __m256i offset = _mm256_sub_epi64(abstop, _mm256_set1_epi64x(0x3c9));
  const __m256i outside = _mm256_cmpgt_epi64(offset, _mm256_set1_epi64x(0x3e));
  const __m256i tiny = _mm256_cmpgt_epi64(_mm256_setzero_si256(), offset);

  __m256d kd = _mm256_fmadd_pd(x, set1(kExpInvLn2N), set1(kExpShift));
  const __m256i ki = _mm256_castpd_si256(kd);
  kd = _mm256_sub_pd(kd, set1(kExpShift));
  __m256d r = _mm256_fmadd_pd(kd, set1(kExpNegLn2HiN), x);
  r = _mm256_fmadd_pd(kd, set1(kExpNegLn2LoN), r);
  const __m256i index = _mm256_slli_epi64(_mm256_and_si256(ki, _mm256_set1_epi64x(127)), 1);
  const __m256i top = _mm256_slli_epi64(ki, 45);
  // Each lane's tail and scale sit side by side in the table: one 16-byte load per lane
  // (on this path's CPUs a gather is slower), then a transpose.
  alignas(32) std::uint64_t slot[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(slot), index);
  const auto entry = [](std::uint64_t i) { return _mm_load_si128(reinterpret_cast<const __m128i*>(kExpTable + i)); };
  const __m256i lanes02 = _mm256_set_m128i(entry(slot[2]), entry(slot[0]));
  const __m256i lanes13 = _mm256_set_m128i(entry(slot[3]), entry(slot[1]));
  const __m256d tail = _mm256_castsi256_pd(_mm256_unpacklo_epi64(lanes02, lanes13));
  const __m256i sbits = _mm256_add_epi64(_mm256_unpackhi_epi64(lanes02, lanes13), top);
  const __m256d r2 = _mm256_mul_pd(r, r);
  const __m256d p23 = _mm256_fmadd_pd(r, set1(kExpC3), set1(kExpC2));
  const __m256d tailPlusR = _mm256_add_pd(r, tail);
  const __m256d p45 = _mm256_fmadd_pd(r, set1(kExpC5), set1(kExpC4));
  const __m256d low = _mm256_fmadd_pd(p23, r2, tailPlusR);
  const __m256d tmp = _mm256_fmadd_pd(_mm256_mul_pd(r2, r2), p45, low);
  const __m256d scale = _mm256_castsi256_pd(sbits);
  __m256d e = _mm256_fmadd_pd(scale, tmp, scale);

  const int special = _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_or_si256(outside, tiny)));
  if (special != 0) [[unlikely]] {
    const __m256d onePlusX = _mm256_add_pd(set1(1.0), x);
    e = _mm256_blendv_pd(e, onePlusX, _mm256_castsi256_pd(tiny));
    const int large = _mm256_movemask_pd(_mm256_castsi256_pd(outside));
    if (large != 0) {
      alignas(32) double xs[4];
      alignas(32) double es[4];
      _mm256_store_pd(xs, x);
      _mm256_store_pd(es, e);
      for (int i = 0; i < 4; ++i)
        if (large & (1 << i)) es[i] = std::exp(xs[i]);
      e = _mm256_load_pd(es);
    }
  }
  return e;
}

inline __m256d absolute(__m256d x) { return _mm256_andnot_pd(set1(-0.0), x); }
inline __m128d absolute(__m128d x) { return _mm_andnot_pd(_mm_set1_pd(-0.0), x); }

// The sub-step's constants in vector form, lane i belonging to unknown i, with the
// same values as the scalar SubStep.
struct VectorSubStep {
  __m256d source;       // source A, gate, source B, gate
  __m256d conductance;  // 1/rA, collector load, 1/rB, collector load
  __m256d gc03, start03, history03;  // capacitors Cc1, Cc2, Cbe1, Cbe2
  __m256d gc45, start45, history45;  // Cbc1, Cbc1, Cbc2, Cbc2
  __m256d row[4];       // the Jacobian without the transistors (and bias paths)
  double gc[6];
  double biasVoltage;
  double diagA, diagB;  // without the capacitors in mode 2
};

// The voltages across Cc1, Cc2, Cbe1, Cbe2 (v1 - v2, v3 - v0, v0, v2).
inline __m256d acrossFirstFour(__m256d v) {
  return _mm256_sub_pd(_mm256_permute4x64_pd(v, 0b10'00'11'01),
                       _mm256_blend_pd(_mm256_permute4x64_pd(v, 0b00'00'00'10), _mm256_setzero_pd(), 0b1100));
}

// The voltages across Cbc1 (v0 - v1, lanes 0 and 1) and Cbc2 (v2 - v3, lanes 2 and 3).
inline __m256d acrossLastTwo(__m256d v) { return _mm256_sub_pd(_mm256_unpacklo_pd(v, v), _mm256_unpackhi_pd(v, v)); }

constexpr double kCapacitance03[4] = {kCc1, kCc2, kCbe, kCbe};
constexpr double kTwiceCapacitance03[4] = {2.0 * kCc1, 2.0 * kCc2, 2.0 * kCbe, 2.0 * kCbe};

inline VectorSubStep prepareVector(const OutputStage& s, double step, const StageDrive& drive) {
  VectorSubStep w;
  const double gA = 1.0 / drive.rA;
  const double gB = 1.0 / drive.rB;
  w.source = _mm256_setr_pd(drive.sourceA, drive.gate, drive.sourceB, drive.gate);
  w.conductance = _mm256_setr_pd(gA, kCollectorLoad, gB, kCollectorLoad);
  const __m256d stepV = set1(step);
  const __m256d start = _mm256_loadu_pd(s.vStart);
  w.start03 = acrossFirstFour(start);
  w.start45 = acrossLastTwo(start);
  if (s.trapezoid) {
    w.gc03 = _mm256_div_pd(_mm256_loadu_pd(kTwiceCapacitance03), stepV);
    w.gc45 = _mm256_div_pd(set1(2.0 * kCbc), stepV);
    w.history03 = _mm256_loadu_pd(s.capCurrent);
    w.history45 = _mm256_setr_pd(s.capCurrent[4], s.capCurrent[4], s.capCurrent[5], s.capCurrent[5]);
  } else {
    w.gc03 = _mm256_div_pd(_mm256_loadu_pd(kCapacitance03), stepV);
    w.gc45 = _mm256_div_pd(set1(kCbc), stepV);
    w.history03 = _mm256_setzero_pd();
    w.history45 = _mm256_setzero_pd();
  }
  _mm256_storeu_pd(w.gc, w.gc03);
  w.gc[4] = w.gc45[0];
  w.gc[5] = w.gc45[2];
  const double off0 = 0.0 - w.gc[0], off1 = 0.0 - w.gc[1], off4 = 0.0 - w.gc[4], off5 = 0.0 - w.gc[5];
  w.biasVoltage = drive.biasVoltage;
  w.diagA = kLeak + gA;
  w.diagB = kLeak + gB;
  double diagA = w.diagA, diagB = w.diagB;
  if (!drive.modeTwo) {
    diagA = diagA + w.gc[1] + w.gc[2] + w.gc[4];
    diagB = diagB + w.gc[0] + w.gc[3] + w.gc[5];
  }
  const double diagCA = kLeak + kCollectorLoad + w.gc[0] + w.gc[4];
  const double diagCB = kLeak + kCollectorLoad + w.gc[1] + w.gc[5];
  // In mode 2 the bases' diagonal entries are replaced per evaluation.
  w.row[0] = _mm256_setr_pd(diagA, off4, 0.0, off1);
  w.row[1] = _mm256_setr_pd(off4, diagCA, off0, 0.0);
  w.row[2] = _mm256_setr_pd(0.0, off0, diagB, off5);
  w.row[3] = _mm256_setr_pd(off1, 0.0, off5, diagCB);
  return w;
}

// One evaluation: the iterate, residual F, scale S, the Jacobian rows and -F.
struct VectorEvaluation {
  __m256d v;
  __m256d F;
  __m256d S;
  __m256d col[4];  // Jacobian columns, lane i holding row i
  __m256d rhs;
  double r;  // sum of the squared residuals
};

// ((F0^2 + F1^2) + F2^2) + F3^2, the order of the scalar sum.
inline double sumOfSquares(__m256d F) {
  const __m256d sq = _mm256_mul_pd(F, F);
  double r = sq[0] + sq[1];
  r += sq[2];
  r += sq[3];
  return r;
}

// The junction exponentials of both transistors at once: lanes 0 and 1 are the forward
// junctions of A and B (argument vb), lanes 2 and 3 the reverse junctions (vb - vc).
// Returns the limited exponential in e and its slope in slope; a skipped junction gives 0.
inline void junctionExponentials(__m256d argument, __m256d skip, __m256d& e, __m256d& slope) {
  const __m256d below = _mm256_cmp_pd(argument, set1(1.0), _CMP_LE_OQ);
  // Lanes whose exponential is not used get -1, an argument of the common case.
  const __m256d x =
      _mm256_blendv_pd(set1(-1.0), _mm256_mul_pd(argument, set1(kInvVT)), _mm256_andnot_pd(skip, below));
  const __m256d ex = exp4(x);
  const __m256d limit = set1(kJunctionExpLimit);
  const __m256d tangent = _mm256_mul_pd(
      _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(argument, set1(1.0)), set1(kInvVT)), set1(1.0)), limit);
  e = _mm256_andnot_pd(skip, _mm256_blendv_pd(tangent, ex, below));
  slope = _mm256_andnot_pd(skip, _mm256_blendv_pd(limit, ex, below));
}

// Both bias paths' junction solves (base A in lane 0, base B in lane 1) side by side:
// each lane runs the baseline's Newton iteration step for step and stops when it has
// converged, so that both give the baseline's values.
inline void seriesJunctionPair(double sourceVoltage, double nodeA, double nodeB, double (&junctionVoltage)[2],
                               SeriesJunctionResult (&out)[2]) {
  constexpr double Is = kSeriesJunctionIs;
  constexpr double R = kBiasResistor;
  double start[2];
  double drive[2];
  const double nodes[2] = {nodeA, nodeB};
  for (int i = 0; i < 2; ++i) {
    const double vt = sourceVoltage - nodes[i];
    drive[i] = vt;
    if (vt <= 0.3)
      start[i] = vt;
    else if (junctionVoltage[i] > 0.0 && vt > junctionVoltage[i])
      start[i] = junctionVoltage[i];
    else
      start[i] = std::min(VT * std::log(vt / (Is * R)), vt);
  }
  const __m256d vt = _mm256_setr_pd(drive[0], drive[1], drive[0], drive[1]);
  __m256d vd = _mm256_setr_pd(start[0], start[1], start[0], start[1]);
  const __m256d noSkip = _mm256_setzero_pd();
  const __m256d RIs = set1(R * Is);
  __m256d e = _mm256_setzero_pd();
  __m256d slope = _mm256_setzero_pd();
  __m256d active = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  for (int iteration = 0; iteration < 8; ++iteration) {
    __m256d eNow, slopeNow;
    junctionExponentials(vd, noSkip, eNow, slopeNow);
    e = _mm256_blendv_pd(e, eNow, active);
    slope = _mm256_blendv_pd(slope, slopeNow, active);
    const __m256d f = _mm256_sub_pd(_mm256_sub_pd(vt, vd), _mm256_mul_pd(RIs, _mm256_sub_pd(eNow, set1(1.0))));
    const __m256d fPrime = _mm256_sub_pd(set1(-1.0), _mm256_mul_pd(_mm256_mul_pd(RIs, slopeNow), set1(kInvVT)));
    const __m256d step = _mm256_min_pd(
        set1(0.5), _mm256_max_pd(set1(-0.5), _mm256_div_pd(_mm256_xor_pd(f, set1(-0.0)), fPrime)));
    vd = _mm256_blendv_pd(vd, _mm256_add_pd(vd, step), active);
    const __m256d converged = _mm256_cmp_pd(absolute(step), set1(1e-7), _CMP_LT_OQ);
    active = _mm256_andnot_pd(converged, active);
    if ((_mm256_movemask_pd(active) & 0b11) == 0) break;
  }
  // A lane that ran out of iterations takes its current and conductance at its final
  // voltage.
  if ((_mm256_movemask_pd(active) & 0b11) != 0) {
    __m256d eNow, slopeNow;
    junctionExponentials(vd, noSkip, eNow, slopeNow);
    e = _mm256_blendv_pd(e, eNow, active);
    slope = _mm256_blendv_pd(slope, slopeNow, active);
  }
  for (int i = 0; i < 2; ++i) {
    junctionVoltage[i] = vd[i];
    const double gd = Is * slope[i] * kInvVT;
    out[i] = {Is * (e[i] - 1.0), -gd / (gd * R + 1.0)};
  }
}

template <bool ModeTwo>
inline void evaluate(const VectorSubStep& w, double (&junctionVoltage)[2], __m256d v, VectorEvaluation& e) {
  const __m256d negativeZero = set1(-0.0);
  e.v = v;
  __m256d F = _mm256_mul_pd(set1(kLeak), v);
  __m256d S = absolute(F);
  // Base resistors and collector loads.
  const __m256d resistors = _mm256_mul_pd(_mm256_sub_pd(v, w.source), w.conductance);
  F = _mm256_add_pd(F, resistors);
  S = _mm256_add_pd(S, absolute(resistors));

  __m256d row0 = w.row[0];
  __m256d row2 = w.row[2];
  if constexpr (ModeTwo) {
    const VectorSubStep& k = w;
    SeriesJunctionResult bias[2];
    seriesJunctionPair(k.biasVoltage, v[0], v[2], junctionVoltage, bias);
    const SeriesJunctionResult& a = bias[0];
    const SeriesJunctionResult& b = bias[1];
    const __m256d biasCurrent = _mm256_setr_pd(a.current, 0.0, b.current, 0.0);
    F = _mm256_sub_pd(F, biasCurrent);
    S = _mm256_add_pd(S, absolute(biasCurrent));
    double J00 = k.diagA - a.conductance;
    double J22 = k.diagB - b.conductance;
    J00 = J00 + k.gc[1] + k.gc[2] + k.gc[4];
    J22 = J22 + k.gc[0] + k.gc[3] + k.gc[5];
    row0 = _mm256_blend_pd(row0, set1(J00), 0b0001);
    row2 = _mm256_blend_pd(row2, set1(J22), 0b0100);
  }

  // Capacitors: Cc1, Cc2, Cbe1, Cbe2 in lanes 0..3 (voltages across: v1 - v2, v3 - v0,
  // v0, v2); Cbc1 in lanes 0 and 1 (v0 - v1), Cbc2 in lanes 2 and 3 (v2 - v3).
  const __m256d I03 = _mm256_sub_pd(_mm256_mul_pd(w.gc03, _mm256_sub_pd(acrossFirstFour(v), w.start03)), w.history03);
  const __m256d I45 = _mm256_sub_pd(_mm256_mul_pd(w.gc45, _mm256_sub_pd(acrossLastTwo(v), w.start45)), w.history45);
  // Each node adds its capacitor currents in the order of the element list: base A -Cc2,
  // +Cbe1, +Cbc1; collector A +Cc1, -Cbc1; base B -Cc1, +Cbe2, +Cbc2; collector B +Cc2,
  // -Cbc2. Adding -x is subtracting x.
  const __m256d first = _mm256_xor_pd(_mm256_permute4x64_pd(I03, 0b01'00'00'01), _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0));
  const __m256d second = _mm256_xor_pd(_mm256_blend_pd(_mm256_permute4x64_pd(I03, 0b00'11'00'10), I45, 0b1010),
                                       _mm256_setr_pd(0.0, -0.0, 0.0, -0.0));
  const __m256d third = _mm256_blend_pd(I45, negativeZero, 0b1010);
  F = _mm256_add_pd(F, first);
  S = _mm256_add_pd(S, absolute(first));
  F = _mm256_add_pd(F, second);
  S = _mm256_add_pd(S, absolute(second));
  F = _mm256_add_pd(F, third);
  S = _mm256_add_pd(S, absolute(third));

  // Both transistors, A in the low lane of each pair and B in the high lane.
  const __m128d lo = _mm256_castpd256_pd128(v);
  const __m128d hi = _mm256_extractf128_pd(v, 1);
  const __m128d vb = _mm_unpacklo_pd(lo, hi);
  const __m128d vc = _mm_unpackhi_pd(lo, hi);
  // An exponential below exp(-50) of the terms it joins cannot change their sum; its exp
  // is skipped (see the baseline transistor law).
  constexpr double kNegligible = 50.0 * VT;
  const __m128d skipForward = _mm_cmplt_pd(vb, _mm_set1_pd(-kNegligible));
  const __m128d skipReverse = _mm_and_pd(_mm_cmpgt_pd(_mm_sub_pd(vc, vb), _mm_set1_pd(kNegligible)),
                                         _mm_cmpgt_pd(vc, _mm_set1_pd(kNegligible)));
  __m256d junctionE, junctionSlope;
  junctionExponentials(_mm256_set_m128d(_mm_sub_pd(vb, vc), vb), _mm256_set_m128d(skipReverse, skipForward),
                       junctionE, junctionSlope);
  const __m128d fe = _mm256_castpd256_pd128(junctionE);
  const __m128d re = _mm256_extractf128_pd(junctionE, 1);
  const __m128d fs = _mm256_castpd256_pd128(junctionSlope);
  const __m128d rs = _mm256_extractf128_pd(junctionSlope, 1);
  // Base-emitter breakdown: conducts only with a base below about -8.47 V.
  const __m128d breakdownArgument = _mm_sub_pd(_mm_xor_pd(vb, _mm_set1_pd(-0.0)), _mm_set1_pd(kBreakdownVoltage));
  const int breakdownLive =
      _mm_movemask_pd(_mm_cmpnlt_pd(breakdownArgument, _mm_set1_pd(-40.0 * VT)));
  __m128d de = _mm_setzero_pd();
  __m128d ds = _mm_setzero_pd();
  if (breakdownLive != 0) [[unlikely]] {
    LimitedExp d[2] = {{0.0, 0.0}, {0.0, 0.0}};
    for (int i = 0; i < 2; ++i)
      if (breakdownLive & (1 << i)) d[i] = limitedExp(breakdownArgument[i]);
    de = _mm_setr_pd(d[0].e, d[1].e);
    ds = _mm_setr_pd(d[0].slope, d[1].slope);
  }
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d isF = _mm_set1_pd(kIsOverBetaF);
  const __m128d isR = _mm_set1_pd(kIsOverBetaR);
  const __m128d is = _mm_set1_pd(kIs);
  const __m128d isD = _mm_set1_pd(kBreakdownIs);
  const __m128d invVT = _mm_set1_pd(kInvVT);
  const __m128d Ibd = _mm_mul_pd(isD, _mm_sub_pd(de, one));
  const __m128d reverseBase = _mm_mul_pd(isR, _mm_sub_pd(re, one));
  const __m128d Ib = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(isF, _mm_sub_pd(fe, one)), reverseBase), Ibd);
  const __m128d IbScale = _mm_add_pd(absolute(Ib), absolute(Ibd));
  const __m128d Ic = _mm_sub_pd(_mm_mul_pd(is, _mm_sub_pd(fe, re)), reverseBase);
  const __m128d isRrs = _mm_mul_pd(isR, rs);
  const __m128d isrs = _mm_mul_pd(is, rs);
  const __m128d gBB = _mm_mul_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(isF, fs), isRrs), _mm_mul_pd(isD, ds)), invVT);
  const __m128d gBC = _mm_mul_pd(isRrs, invVT);
  const __m128d gCB = _mm_mul_pd(_mm_sub_pd(_mm_sub_pd(_mm_mul_pd(is, fs), isrs), isRrs), invVT);
  const __m128d gCC = _mm_mul_pd(_mm_add_pd(isrs, isRrs), invVT);

  const __m256d transistorF = _mm256_set_m128d(_mm_unpackhi_pd(Ib, Ic), _mm_unpacklo_pd(Ib, Ic));
  const __m256d transistorS =
      _mm256_set_m128d(_mm_unpackhi_pd(IbScale, absolute(Ic)), _mm_unpacklo_pd(IbScale, absolute(Ic)));
  F = _mm256_add_pd(F, transistorF);
  S = _mm256_add_pd(S, transistorS);
  e.F = F;
  e.S = S;
  e.rhs = _mm256_xor_pd(F, negativeZero);

  const __m128d pad = _mm_set1_pd(-0.0);
  const __m128d minusGBC = _mm_xor_pd(gBC, pad);
  // The base Jacobian is symmetric, so its rows serve as its columns; the transistors
  // add to column 0 (base A) gBB, gCB; column 1 (collector A) -gBC, gCC; columns 2 and 3
  // likewise for B. Padding lanes add -0.
  e.col[0] = _mm256_add_pd(row0, _mm256_set_m128d(pad, _mm_unpacklo_pd(gBB, gCB)));
  e.col[1] = _mm256_add_pd(w.row[1], _mm256_set_m128d(pad, _mm_unpacklo_pd(minusGBC, gCC)));
  e.col[2] = _mm256_add_pd(row2, _mm256_set_m128d(_mm_unpackhi_pd(gBB, gCB), pad));
  e.col[3] = _mm256_add_pd(w.row[3], _mm256_set_m128d(_mm_unpackhi_pd(minusGBC, gCC), pad));
  e.r = sumOfSquares(F);
}

// Gaussian elimination with partial pivoting of J dx = rhs on whole columns. Row r of
// the system stays in lane r; as in the baseline solve, a row exchange swaps two entries
// of the compile-time row order P (row P[i] stands at position i). Eliminating column C
// subtracts f_r times the pivot row's entry from each later column in the lanes of the
// rows below the pivot, f_r = J[r][C] / pivot, the scalar multiply and subtract per
// entry; the other lanes subtract +0, which leaves them as they are.
struct Columns {
  __m256d col[4];
  __m256d rhs;
};

template <int C, int P0, int P1, int P2, int P3>
inline bool eliminateFrom(Columns& a, double (&inversePivot)[4], double* dx);

// Lane `lane` of x in all four lanes.
template <int Lane>
inline __m256d broadcastLane(__m256d x) {
  return _mm256_permute4x64_pd(x, Lane * 0x55);
}

// -1 (all bits) when row `lane` stands below position C in the row order, else 0.
template <int C, int P0, int P1, int P2, int P3>
constexpr long long rowBelow(int lane) {
  return (C < 1 && P1 == lane) || (C < 2 && P2 == lane) || (C < 3 && P3 == lane) ? -1 : 0;
}

template <int C, int P0, int P1, int P2, int P3>
inline bool eliminateColumn(Columns& a, double (&inversePivot)[4], double* dx) {
  constexpr int P[4] = {P0, P1, P2, P3};
  constexpr int p = P[C];
  const __m256d rowsBelow = _mm256_castsi256_pd(_mm256_setr_epi64x(
      rowBelow<C, P0, P1, P2, P3>(0), rowBelow<C, P0, P1, P2, P3>(1), rowBelow<C, P0, P1, P2, P3>(2),
      rowBelow<C, P0, P1, P2, P3>(3)));
  inversePivot[C] = 1.0 / a.col[C][p];
  const __m256d f = _mm256_mul_pd(a.col[C], set1(inversePivot[C]));
#pragma GCC unroll 4
  for (int j = C + 1; j < 4; ++j)
    a.col[j] = _mm256_sub_pd(a.col[j], _mm256_and_pd(_mm256_mul_pd(f, broadcastLane<p>(a.col[j])), rowsBelow));
  a.rhs = _mm256_sub_pd(a.rhs, _mm256_and_pd(_mm256_mul_pd(f, broadcastLane<p>(a.rhs)), rowsBelow));
  return eliminateFrom<C + 1, P0, P1, P2, P3>(a, inversePivot, dx);
}

template <int C, int B, int P0, int P1, int P2, int P3>
inline bool pivotOn(Columns& a, double (&inversePivot)[4], double* dx) {
  constexpr int P[4] = {P0, P1, P2, P3};
  constexpr int Q[4] = {B == 0 ? P[C] : C == 0 ? P[B] : P[0], B == 1 ? P[C] : C == 1 ? P[B] : P[1],
                        B == 2 ? P[C] : C == 2 ? P[B] : P[2], B == 3 ? P[C] : C == 3 ? P[B] : P[3]};
  return eliminateColumn<C, Q[0], Q[1], Q[2], Q[3]>(a, inversePivot, dx);
}

template <int C, int P0, int P1, int P2, int P3>
inline bool eliminateFrom(Columns& a, double (&inversePivot)[4], double* dx) {
  constexpr int P[4] = {P0, P1, P2, P3};
  if constexpr (C == 4) {
    alignas(32) double m[4][4];  // m[j][r]: column j, row r
    alignas(32) double rhs[4];
    for (int j = 1; j < 4; ++j) _mm256_store_pd(m[j], a.col[j]);
    _mm256_store_pd(rhs, a.rhs);
#pragma GCC unroll 4
    for (int i = 3; i >= 0; --i) {
      double sum = rhs[P[i]];
#pragma GCC unroll 4
      for (int j = i + 1; j < 4; ++j) sum -= m[j][P[i]] * dx[j];
      dx[i] = sum * inversePivot[i];
    }
    return true;
  } else {
    alignas(32) double column[4];
    _mm256_store_pd(column, absolute(a.col[C]));
    // The first of equal candidates wins: a later row must be strictly larger.
    double largest = column[P[C]];
    int best = C;
#pragma GCC unroll 4
    for (int r = C + 1; r < 4; ++r) {
      if (column[P[r]] > largest) {
        largest = column[P[r]];
        best = r;
      }
    }
    if (!(largest >= 1e-300)) return false;
    if constexpr (C < 3) {
      if (best == C + 1) return pivotOn<C, (C < 3 ? C + 1 : C), P0, P1, P2, P3>(a, inversePivot, dx);
    }
    if constexpr (C < 2) {
      if (best == C + 2) return pivotOn<C, (C < 2 ? C + 2 : C), P0, P1, P2, P3>(a, inversePivot, dx);
    }
    if constexpr (C < 1) {
      if (best == 3) return pivotOn<C, 3, P0, P1, P2, P3>(a, inversePivot, dx);
    }
    return eliminateColumn<C, P0, P1, P2, P3>(a, inversePivot, dx);
  }
}

inline bool solve(const VectorEvaluation& e, __m256d& dx) {
  Columns a{{e.col[0], e.col[1], e.col[2], e.col[3]}, e.rhs};
  double inversePivot[4];
  double x[4];
  if (!eliminateFrom<0, 0, 1, 2, 3>(a, inversePivot, x)) return false;
  // Assembled in registers: a vector load of four values just stored one by one would
  // wait for the stores to retire.
  dx = _mm256_setr_pd(x[0], x[1], x[2], x[3]);
  return true;
}

// All four lanes of a comparison hold.
inline bool all(__m256d mask) { return _mm256_movemask_pd(mask) == 0xf; }

// The damped Newton iteration from guess, as the baseline path's; on success the
// solution is written to stage.v.
template <bool ModeTwo>
inline bool newton(OutputStage& stage, const VectorSubStep& w, const double* guess) {
  VectorEvaluation evaluations[2];
  VectorEvaluation* cur = &evaluations[0];
  VectorEvaluation* trial = &evaluations[1];
  std::int32_t count = stage.stampCount;
  double junctionVoltage[2] = {stage.junctionVoltage[0], stage.junctionVoltage[1]};
  const auto finish = [&](bool solved) {
    stage.stampCount = count;
    if constexpr (ModeTwo) {
      stage.junctionVoltage[0] = junctionVoltage[0];
      stage.junctionVoltage[1] = junctionVoltage[1];
    }
    return solved;
  };
  evaluate<ModeTwo>(w, junctionVoltage, _mm256_loadu_pd(guess), *cur);
  ++count;
  for (int iteration = 0; iteration < kNewtonIterations; ++iteration) {
    const __m256d v = cur->v;
    __m256d dx;
    if (!solve(*cur, dx)) return finish(false);
    const __m256d stepBound = _mm256_add_pd(_mm256_mul_pd(set1(1e-6), absolute(v)), set1(1e-9));
    if (all(_mm256_cmp_pd(absolute(dx), stepBound, _CMP_LE_OQ))) {
      _mm256_storeu_pd(stage.v, _mm256_add_pd(v, dx));
      return finish(true);
    }
    const __m256d residualBound = _mm256_add_pd(_mm256_mul_pd(set1(1e-3), cur->S), set1(1e-12));
    if (all(_mm256_cmp_pd(absolute(cur->F), residualBound, _CMP_LE_OQ))) {
      _mm256_storeu_pd(stage.v, v);
      return finish(true);
    }
    const double m = std::max({std::fabs(dx[kBaseA]), std::fabs(dx[kBaseA] - dx[kCollectorA]),
                               std::fabs(dx[kBaseB]), std::fabs(dx[kBaseB] - dx[kCollectorB])});
    double alpha = m > 0.5 ? 0.5 / m : 1.0;
    bool improved = false;
    for (int attempt = 0; attempt < kLineSearchTries; ++attempt) {
      evaluate<ModeTwo>(w, junctionVoltage, _mm256_add_pd(v, _mm256_mul_pd(set1(alpha), dx)), *trial);
      ++count;
      if (trial->r < cur->r) {
        std::swap(cur, trial);
        improved = true;
        break;
      }
      alpha /= 2.0;
    }
    if (!improved) return finish(false);
  }
  return finish(false);
}

// The sub-step control's arithmetic on the four unknowns at once.
struct VectorSubStepArithmetic {
  static void predict(OutputStage& s, double step, double* guess) {
    const __m256d v = _mm256_loadu_pd(s.v);
    _mm256_storeu_pd(s.vStart, v);
    const __m256d slope = s.lastStep > 0.0
                              ? _mm256_div_pd(_mm256_sub_pd(v, _mm256_loadu_pd(s.vHist)), set1(s.lastStep))
                              : _mm256_setzero_pd();
    // std::clamp(x, -0.5, 0.5): max(-0.5, x) keeps x unless -0.5 > x, then min(0.5, .)
    // keeps it unless 0.5 < it, a NaN included.
    const __m256d clamped = _mm256_min_pd(set1(0.5), _mm256_max_pd(set1(-0.5), _mm256_mul_pd(slope, set1(step))));
    _mm256_storeu_pd(guess, _mm256_add_pd(v, clamped));
  }
  static double largestChange(const OutputStage& s) {
    __m256d d = absolute(_mm256_sub_pd(_mm256_loadu_pd(s.v), _mm256_loadu_pd(s.vStart)));
    // The scalar maximum passes over NaNs; so does this one.
    d = _mm256_and_pd(d, _mm256_cmp_pd(d, d, _CMP_ORD_Q));
    const __m128d pair = _mm_max_pd(_mm256_castpd256_pd128(d), _mm256_extractf128_pd(d, 1));
    return _mm_cvtsd_f64(_mm_max_sd(pair, _mm_unpackhi_pd(pair, pair)));
  }
  static VectorSubStep prepare(const OutputStage& s, double step, const StageDrive& drive) {
    return prepareVector(s, step, drive);
  }
  static void acceptHistory(OutputStage& s, const VectorSubStep& w) {
    const __m256d v = _mm256_loadu_pd(s.v);
    const __m256d I03 = _mm256_sub_pd(_mm256_mul_pd(w.gc03, _mm256_sub_pd(acrossFirstFour(v), w.start03)), w.history03);
    const __m256d I45 = _mm256_sub_pd(_mm256_mul_pd(w.gc45, _mm256_sub_pd(acrossLastTwo(v), w.start45)), w.history45);
    _mm256_storeu_pd(s.capCurrent, I03);
    s.capCurrent[4] = I45[0];
    s.capCurrent[5] = I45[2];
    // One store, so that the next sub-step's vector load of vHist is served from it.
    _mm256_storeu_pd(s.vHist, _mm256_loadu_pd(s.vStart));
  }
};

template <bool ModeTwo>
[[gnu::flatten]] bool integrate(OutputStage& s, double h, const StageDrive& drive, std::int32_t budget) {
  return integrateSubSteps<VectorSubStepArithmetic>(s, h, drive, budget, [](OutputStage& stage, const VectorSubStep& k, const double* guess) {
    return newton<ModeTwo>(stage, k, guess);
  });
}

}  // namespace

bool integrateOutputStageAvx2(OutputStage& stage, double h, const StageDrive& drive, std::int32_t budget) {
  return drive.modeTwo ? integrate<true>(stage, h, drive, budget) : integrate<false>(stage, h, drive, budget);
}

}  // namespace corva
