#pragma once
// The main circuit's equations, linear solve and Newton step, shared by its baseline
// solver and its vector path: each includes this header and supplies its own junction
// exponentials, so that both compute every value in the same order.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "engine/damped_newton.h"
#include "engine/device_laws.h"
#include "engine/main_circuit.h"
#include "engine/main_circuit_netlist.h"

namespace corva {

// The main circuit's Newton step (see newtonStep) in AVX2 vectors, with results equal to
// the baseline code's bit for bit; only for CPUs that have AVX2.
bool newtonStepAvx2(Circuit& circuit, double h, bool instrumentNetlist);

namespace {

constexpr int kLineSearchTries = 5;
// Row stride of the augmented matrix the Newton step eliminates: the unknowns' columns,
// the right-hand side and padding up to whole 256-bit vectors.
constexpr int kStride = 16;
static_assert(kMaxNodes + 1 <= kStride);

// Four doubles handled as one value, element by element, in one 256-bit register where
// the CPU has them and in two 128-bit ones where not.
using Lanes = double __attribute__((vector_size(4 * sizeof(double))));

// Adds a current I flowing from a to b to the residuals and the current scales. The
// residual of a pinned node is replaced by its voltage error, so its sum is skipped.
inline void stampCurrent(const Circuit& L, double* F, double* S, std::int32_t a, std::int32_t b, double I) {
  if (!L.pinned[a]) F[a] += I;
  if (!L.pinned[b]) F[b] -= I;
  S[a] += std::fabs(I);
  S[b] += std::fabs(I);
}

// Adds a conductance g between a and b to the Jacobian (row stride Stride); a pinned
// node's row stays the unit row.
template <int Stride>
inline void stampConductance(const Circuit& L, double* J, std::int32_t a, std::int32_t b, double g) {
  if (!L.pinned[a]) {
    J[a * Stride + a] += g;
    J[a * Stride + b] -= g;
  }
  if (!L.pinned[b]) {
    J[b * Stride + b] += g;
    J[b * Stride + a] -= g;
  }
}

// The junctions' and transistors' exponentials of one evaluation: room for every one,
// a whole number of four-double groups.
constexpr int kJunctionExps = kMaxJunctions + 2 * kMaxTransistors;
static_assert(kJunctionExps % 4 == 0);

// The limited junction exponential (value e, slope) of each of count arguments, one by one.
inline void scalarJunctionExps(const double* argument, int count, double* e, double* slope) {
  for (int i = 0; i < count; ++i) {
    const LimitedExp x = limitedExp(argument[i]);
    e[i] = x.e;
    slope[i] = x.slope;
  }
}

// Where the elements sit: Net::of(c) gives the record whose counts, node indices and
// pinned flags the functions below follow, while c holds the values. RecordNetlist
// follows the record itself; InstrumentNetlist follows the instrument's netlist, known at
// compile time, so that the loops over its elements unroll into straight code with every
// node index fixed (for records with that netlist only, see hasInstrumentNetlist).
struct RecordNetlist {
  static constexpr int kFixedNodes = 0;
  static const Circuit& of(const Circuit& c) { return c; }
};
struct InstrumentNetlist {
  static constexpr int kFixedNodes = kInstrumentNetlist.nodeCount;
  static constexpr const Circuit& of(const Circuit&) { return kInstrumentNetlist; }
};

// The Jacobian of the linear elements for a backward-Euler step h from xPrev (row
// stride Stride, pinned nodes' rows the unit rows, padding zero), each capacitor's
// conductance C / h and its voltage at the step's start.
template <int Stride, class Net>
inline void stampLinearElements(const Circuit& c, double h, double* J, double* capacitorG, double* capacitorStart) {
  const Circuit& L = Net::of(c);
  const int n = L.nodeCount;
  if constexpr (Stride % 4 == 0) {
    // Cleared a group of four at a time, which the compiler keeps inline for a fixed n.
    const Lanes zero = {0.0, 0.0, 0.0, 0.0};
#pragma GCC unroll 64
    for (int j = 0; j < Stride * n; j += 4) std::memcpy(J + j, &zero, sizeof zero);
  } else {
    std::memset(J, 0, sizeof(double) * Stride * n);
  }
#pragma GCC unroll 16
  for (int i = 0; i < n; ++i) J[i * Stride + i] = L.pinned[i] ? 1.0 : 1e-9;
#pragma GCC unroll 16
  for (int k = 0; k < L.resistorCount; ++k)
    stampConductance<Stride>(L, J, L.resistors[k].a, L.resistors[k].b, c.resistors[k].G);
#pragma GCC unroll 16
  for (int k = 0; k < L.capacitorCount; ++k) {
    const int a = L.capacitors[k].a, b = L.capacitors[k].b;
    const double g = c.capacitors[k].C / h;
    capacitorG[k] = g;
    capacitorStart[k] = c.xPrev[a] - c.xPrev[b];
    stampConductance<Stride>(L, J, a, b, g);
  }
}

// Evaluates the equations at node voltages v: residual F (sum of currents leaving each
// node), current scale S and Jacobian J (row stride Stride), from the step's linear part.
// With Augmented, J's column n also receives the right-hand side -F.
// The Jacobian's entries are sums in element order: the linear elements first, then the
// junctions and transistors. Starting from the step's linear sums therefore gives the
// same values as stamping every element afresh.
// exps(arguments, count, e, slope) gives the limited junction exponential of each of the
// count arguments, from a kJunctionExps-long array whose entries past count are -1 V.
template <int Stride, bool Augmented, class Net, class JunctionExps>
inline void stampEquations(Circuit& c, const double* linearJ, const double* capacitorG, const double* capacitorStart,
                           const double* v, double* F, double* S, double* J, JunctionExps&& exps) {
  const Circuit& L = Net::of(c);
  c.evaluationCount += 1;
  const int n = L.nodeCount;
  if constexpr (Stride % 4 == 0) {
    // Copied a group of four at a time, which the compiler keeps inline for a fixed n.
#pragma GCC unroll 64
    for (int j = 0; j < Stride * n; j += 4) {
      Lanes x;
      std::memcpy(&x, linearJ + j, sizeof x);
      std::memcpy(J + j, &x, sizeof x);
    }
  } else {
    std::memcpy(J, linearJ, sizeof(double) * Stride * n);
  }
#pragma GCC unroll 16
  for (int i = 0; i < n; ++i) {
    F[i] = 1e-9 * v[i];
    S[i] = std::fabs(F[i]);
  }
#pragma GCC unroll 16
  for (int k = 0; k < L.resistorCount; ++k) {
    const int a = L.resistors[k].a, b = L.resistors[k].b;
    stampCurrent(L, F, S, a, b, (v[a] - v[b]) * c.resistors[k].G);
  }
#pragma GCC unroll 16
  for (int k = 0; k < L.currentSourceCount; ++k) {
    const int node = L.currentSources[k].node;
    const double current = c.currentSources[k].current;
    if (!L.pinned[node]) F[node] += current;
    S[node] += std::fabs(current);
  }
#pragma GCC unroll 16
  for (int k = 0; k < L.capacitorCount; ++k) {
    const int a = L.capacitors[k].a, b = L.capacitors[k].b;
    const double I = ((v[a] - v[b]) - capacitorStart[k]) * capacitorG[k];
    stampCurrent(L, F, S, a, b, I);
  }
  // The junctions' and transistors' exponentials, all at once: each junction's, then
  // each transistor's forward and reverse one.
  alignas(32) double argument[kJunctionExps];
  alignas(32) double expValue[kJunctionExps];
  alignas(32) double expSlope[kJunctionExps];
  int count = 0;
#pragma GCC unroll 8
  for (int k = 0; k < L.junctionCount; ++k) argument[count++] = v[L.junctions[k].anode] - v[L.junctions[k].cathode];
#pragma GCC unroll 8
  for (int k = 0; k < L.transistorCount; ++k) {
    const Transistor& q = L.transistors[k];
    const double p = c.transistors[k].polarity;
    argument[count++] = p * (v[q.base] - v[q.emitter]);
    argument[count++] = p * (v[q.base] - v[q.collector]);
  }
  // Padding takes -1 V, an argument of the common case.
  for (int i = count; i < kJunctionExps; ++i) argument[i] = -1.0;
  exps(argument, count, expValue, expSlope);
#pragma GCC unroll 8
  for (int k = 0; k < L.junctionCount; ++k) {
    const int a = L.junctions[k].anode, b = L.junctions[k].cathode;
    const double Is = c.junctions[k].Is;
    const LimitedExp e = {expValue[k], expSlope[k]};
    stampCurrent(L, F, S, a, b, Is * (e.e - 1.0));
    stampConductance<Stride>(L, J, a, b, Is * e.slope * kInverseThermalVoltage);
  }
#pragma GCC unroll 8
  for (int k = 0; k < L.transistorCount; ++k) {
    const Transistor& q = c.transistors[k];
    const int b = L.transistors[k].base, col = L.transistors[k].collector, em = L.transistors[k].emitter;
    const bool pb = L.pinned[b], pc = L.pinned[col], pe = L.pinned[em];
    const double p = q.polarity;
    const int fi = L.junctionCount + 2 * k;
    const LimitedExp f = {expValue[fi], expSlope[fi]};
    const LimitedExp r = {expValue[fi + 1], expSlope[fi + 1]};
    const double isF = q.Is / q.betaF, isR = q.Is / q.betaR;
    const double Ibe = isF * (f.e - 1.0);
    const double Ibc = isR * (r.e - 1.0);
    const double Ict = q.Is * (f.e - r.e);
    if (!pb) F[b] += p * (Ibe + Ibc);
    if (!pc) F[col] += p * (Ict - Ibc);
    if (!pe) F[em] -= p * (Ict + Ibe);
    S[b] += std::fabs(Ibe + Ibc);
    S[col] += std::fabs(Ict - Ibc);
    S[em] += std::fabs(Ict + Ibe);
    const double gPi = isF * f.slope * kInverseThermalVoltage;
    const double gMu = isR * r.slope * kInverseThermalVoltage;
    const double gF = q.Is * f.slope * kInverseThermalVoltage;
    const double gR = q.Is * r.slope * kInverseThermalVoltage;
    double* Jb = J + b * Stride;
    double* Jc = J + col * Stride;
    double* Je = J + em * Stride;
    if (!pb) {
      Jb[b] += gPi + gMu;
      Jb[em] -= gPi;
      Jb[col] -= gMu;
    }
    if (!pc) {
      Jc[b] += gF - gR - gMu;
      Jc[em] -= gF;
      Jc[col] += gR + gMu;
    }
    if (!pe) {
      Je[b] += gR - gF - gPi;
      Je[em] += gF + gPi;
      Je[col] -= gR;
    }
    if (q.breakdownVoltage > 0.0) {
      const LimitedExp d = limitedExp(-p * (v[b] - v[em]) - q.breakdownVoltage);
      const double I = q.breakdownIs * (d.e - 1.0);
      const double g = q.breakdownIs * d.slope * kInverseThermalVoltage;
      if (!pb) F[b] -= p * I;
      if (!pe) F[em] += p * I;
      S[b] += std::fabs(I);
      S[em] += std::fabs(I);
      if (!pb) {
        Jb[b] += g;
        Jb[em] -= g;
      }
      if (!pe) {
        Je[b] -= g;
        Je[em] += g;
      }
    }
  }
#pragma GCC unroll 16
  for (int i = 0; i < n; ++i)
    if (L.pinned[i]) F[i] = v[i] - c.pinnedVoltage[i];
  if constexpr (Augmented) {
#pragma GCC unroll 16
    for (int i = 0; i < n; ++i) J[i * Stride + n] = -F[i];
  }
}

// Largest change of any junction voltage (diodes, base-emitter, base-collector) that the
// update dx would make.
template <class Net>
inline double largestJunctionChange(const Circuit& c, const double* dx) {
  const Circuit& L = Net::of(c);
  double m = 0.0;
#pragma GCC unroll 8
  for (int k = 0; k < L.junctionCount; ++k)
    m = std::max(m, std::fabs(dx[L.junctions[k].anode] - dx[L.junctions[k].cathode]));
#pragma GCC unroll 8
  for (int k = 0; k < L.transistorCount; ++k) {
    const Transistor& q = L.transistors[k];
    m = std::max(m, std::fabs(dx[q.base] - dx[q.emitter]));
    m = std::max(m, std::fabs(dx[q.base] - dx[q.collector]));
  }
  return m;
}

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wpass-failed"
#endif
// Column c's pivot row: the candidate of largest magnitude, the first of equal ones
// winning (a later row must be strictly larger). Candidates are the rows from c on that
// are not unit rows, except row c itself, and, with a pattern, only those that may hold
// a nonzero entry there (candidate(r)).
template <class Candidate>
inline int choosePivot(int n, int c, const double* a, const std::uint8_t* unitRows, double& largest,
                       Candidate&& candidate) {
  int best = c;
  largest = std::fabs(a[c * kStride + c]);
#pragma GCC unroll 14
  for (int r = c + 1; r < n; ++r) {
    if ((unitRows != nullptr && unitRows[r]) || !candidate(r)) continue;
    const double magnitude = std::fabs(a[r * kStride + c]);
    if (magnitude > largest) {
      largest = magnitude;
      best = r;
    }
  }
  return best;
}

// Column c's pivot row best swapped into place and its reciprocal kept.
inline void placePivot(int n, int c, int best, double* a, double* inversePivot) {
  const int end = (n + 1 + 3) & ~3;
  if (best != c)
#pragma GCC unroll 4
    for (int j = c & ~3; j < end; j += 4) {
      Lanes upper, lower;
      std::memcpy(&upper, a + c * kStride + j, sizeof upper);
      std::memcpy(&lower, a + best * kStride + j, sizeof lower);
      std::memcpy(a + c * kStride + j, &lower, sizeof lower);
      std::memcpy(a + best * kStride + j, &upper, sizeof upper);
    }
  inversePivot[c] = 1.0 / a[c * kStride + c];
}

// Column c's row updates from row first on: every row that is not a unit row (and, with
// a pattern, may hold a nonzero entry in column c: updated(r)) updated where its factor is
// nonzero. A factor that is not a number is handed to notANumber(r) instead where given,
// which stops the updates when it returns false; so does the result.
template <class Updated, class NotANumber>
inline bool updateRows(int n, int c, int first, double* a, const double* inversePivot, const std::uint8_t* unitRows,
                       Updated&& updated, NotANumber&& notANumber) {
  const int end = (n + 1 + 3) & ~3;
  const double* pivotRow = a + c * kStride;
  const int from = (c + 1) & ~3;
#pragma GCC unroll 14
  for (int r = first; r < n; ++r) {
    if ((unitRows != nullptr && unitRows[r]) || !updated(r)) continue;
    double* row = a + r * kStride;
    const double f = row[c] * inversePivot[c];
    if (f != 0.0) {
      if constexpr (!std::is_same_v<std::decay_t<NotANumber>, std::nullptr_t>) {
        if (f != f) [[unlikely]]
          return notANumber(r);
      }
      const Lanes factor = {f, f, f, f};
#pragma GCC unroll 4
      for (int j = from; j < end; j += 4) {
        Lanes x, p;
        std::memcpy(&x, row + j, sizeof x);
        std::memcpy(&p, pivotRow + j, sizeof p);
        x -= factor * p;
        std::memcpy(row + j, &x, sizeof x);
      }
    }
  }
  return true;
}

// The back-substitution after the elimination.
template <int FixedN>
inline void backSubstitute(int n, const double* a, const double* inversePivot, double* dx) {
#pragma GCC unroll 14
  for (int i = n - 1; i >= 0; --i) {
    double sum = a[i * kStride + n];
#pragma GCC unroll 14
    for (int j = i + 1; j < n; ++j) sum -= a[i * kStride + j] * dx[j];
    dx[i] = sum * inversePivot[i];
  }
}

inline constexpr auto kEveryRow = [](int) { return true; };

// Columns c to n - 1 in turn, each pivot among all its candidates, and the
// back-substitution.
template <int FixedN>
[[nodiscard]] inline bool eliminateColumnsFrom(int c, int n, double* a, double* inversePivot, double* dx,
                                               const std::uint8_t* unitRows) {
#pragma GCC unroll 14
  for (; c < n; ++c) {
    double largest;
    const int best = choosePivot(n, c, a, unitRows, largest, kEveryRow);
    if (!(largest >= 1e-300)) return false;
    placePivot(n, c, best, a, inversePivot);
    (void)updateRows(n, c, c + 1, a, inversePivot, unitRows, kEveryRow, nullptr);
  }
  backSubstitute<FixedN>(n, a, inversePivot, dx);
  return true;
}

// The elimination from column c on, in plain loops, the columns before it done; with
// first > c, column c's pivot is in place and its rows before first are updated.
[[gnu::noinline]] [[nodiscard]] inline bool eliminateFrom(int c, int first, int n, double* a, double* inversePivot,
                                                          double* dx, const std::uint8_t* unitRows) {
  if (first > c) {
    (void)updateRows(n, c, first, a, inversePivot, unitRows, kEveryRow, nullptr);
    ++c;
  }
  return eliminateColumnsFrom<0>(c, n, a, inversePivot, dx, unitRows);
}

// Which entries of the instrument's matrix may be nonzero where its elimination reads
// them, when each column's pivot comes from the row pivot[c]: the netlist's stamps
// (those of every element kind, the transistors' breakdown included) and the fill-in of
// each column's updates. candidate[c][r] is row r's entry in column c before column c's
// swap, updated[c][r] the same after it. Every other entry is +0 there: the stamps leave
// it as cleared, and a row update subtracts from it a finite factor times +0 or -0.
struct EliminationPattern {
  std::int32_t pivot[kMaxNodes];
  bool candidate[kMaxNodes][kMaxNodes];
  bool updated[kMaxNodes][kMaxNodes];
};

constexpr EliminationPattern eliminationPattern(const Circuit& L, const std::int32_t (&pivot)[kMaxNodes]) {
  EliminationPattern p{};
  bool nonzero[kMaxNodes][kMaxNodes] = {};
  const int n = L.nodeCount;
  const auto mark = [&](int row, int column) {
    if (!L.pinned[row]) nonzero[row][column] = true;
  };
  const auto markPair = [&](int a, int b) {
    mark(a, a);
    mark(a, b);
    mark(b, b);
    mark(b, a);
  };
  for (int i = 0; i < n; ++i) nonzero[i][i] = true;
  for (int k = 0; k < L.resistorCount; ++k) markPair(L.resistors[k].a, L.resistors[k].b);
  for (int k = 0; k < L.capacitorCount; ++k) markPair(L.capacitors[k].a, L.capacitors[k].b);
  for (int k = 0; k < L.junctionCount; ++k) markPair(L.junctions[k].anode, L.junctions[k].cathode);
  for (int k = 0; k < L.transistorCount; ++k) {
    const int terminals[3] = {L.transistors[k].base, L.transistors[k].collector, L.transistors[k].emitter};
    for (int row : terminals)
      for (int column : terminals) mark(row, column);
  }
  for (int c = 0; c < n; ++c) {
    p.pivot[c] = pivot[c];
    for (int r = 0; r < n; ++r) p.candidate[c][r] = nonzero[r][c];
    for (int j = 0; j < n; ++j) {
      const bool upper = nonzero[c][j];
      nonzero[c][j] = nonzero[pivot[c]][j];
      nonzero[pivot[c]][j] = upper;
    }
    for (int r = 0; r < n; ++r) p.updated[c][r] = nonzero[r][c];
    for (int r = c + 1; r < n; ++r) {
      if (L.pinned[r] || !nonzero[r][c]) continue;
      for (int j = c + 1; j < n; ++j) nonzero[r][j] = nonzero[r][j] || nonzero[c][j];
    }
  }
  return p;
}

// The instrument's most frequent pivot rows where the oscillator is off: each column's
// own, but for the fifth, whose pivot is the next row.
inline constexpr EliminationPattern kInstrumentPattern = eliminationPattern(kInstrumentNetlist,
                                                                            {0, 1, 2, 3, 5, 5, 6, 7, 8, 9, 10, 11, 12});

// Gaussian elimination with partial pivoting on the augmented n x (n + 1) matrix `a`
// (row stride kStride, right-hand side in column n), in place. With FixedN > 0 the loops
// have a compile-time length and are unrolled.
// Below the pivot row, the columns up to the pivot's are never read again; the row
// updates and swaps still cover them, so that they work on whole aligned groups of four
// (the padding included), which the compiler turns into full vectors. Every entry that is
// read later gets exactly the value of an update of the live columns alone.
// With Patterned (the instrument's netlist only), a matrix whose first pivot is the
// pattern's is eliminated along kInstrumentPattern while the pivots follow it and every
// factor is a number: an entry the pattern knows to be +0 is never larger than the pivot
// candidate it is compared with, and gives a zero factor, so only the others are read.
// (With partial pivoting a factor that is a number is at most 1, so it is finite, and
// times +0 or -0 it leaves a +0 entry +0.) The first pivot off the pattern, or the first
// factor that is not a number, hands the rest to plain loops from where it stands. Either
// way the pivots and every value are those of the plain elimination.
// unitRows, when given, marks rows that hold the unit row (a pinned node's equation): such
// a row keeps its place and its zeros until its own column is reached, since a zero is
// never the pivot and a zero factor updates nothing, so it is passed over until then.
// Clang reports the runtime-length instantiation's loops as not unrolled; that one is
// meant to stay a plain loop.
template <int FixedN, bool Patterned = false>
[[nodiscard]] inline bool eliminateFor(int runtimeN, double* a, double* dx, const std::uint8_t* unitRows = nullptr) {
  const int n = FixedN > 0 ? FixedN : runtimeN;
  double inversePivot[kMaxNodes];
  int c = 0;
  if constexpr (Patterned) {
    static_assert(FixedN == kInstrumentNetlist.nodeCount);
    double largest;
    const int best = choosePivot(n, 0, a, unitRows, largest, kEveryRow);
    if (!(largest >= 1e-300)) return false;
    placePivot(n, 0, best, a, inversePivot);
    if (best == kInstrumentPattern.pivot[0]) {
      const EliminationPattern& P = kInstrumentPattern;
#pragma GCC unroll 14
      for (c = 0; c < n; ++c) {
        if (c > 0) {
          const int pivot = choosePivot(n, c, a, unitRows, largest, [&](int r) { return P.candidate[c][r]; });
          if (!(largest >= 1e-300)) return false;
          if (pivot != P.pivot[c]) [[unlikely]]
            return eliminateFrom(c, c, n, a, inversePivot, dx, unitRows);
          placePivot(n, c, pivot, a, inversePivot);
        }
        bool solved = false;
        if (!updateRows(
                n, c, c + 1, a, inversePivot, unitRows, [&](int r) { return P.updated[c][r]; },
                [&](int r) {
                  solved = eliminateFrom(c, r, n, a, inversePivot, dx, unitRows);
                  return false;
                }))
          return solved;
      }
      backSubstitute<FixedN>(n, a, inversePivot, dx);
      return true;
    }
    (void)updateRows(n, 0, 1, a, inversePivot, unitRows, kEveryRow, nullptr);
    c = 1;
  }
  return eliminateColumnsFrom<FixedN>(c, n, a, inversePivot, dx, unitRows);
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// Solves J dx = rhs (J row stride kMaxNodes) for the circuit's unknowns.
[[nodiscard]] inline bool solveCircuitSystem(const Circuit& circuit, const double* J, const double* rhs, double* dx) {
  const int n = circuit.nodeCount;
  alignas(32) double a[kMaxNodes * kStride] = {};
  for (int r = 0; r < n; ++r) {
    std::memcpy(a + r * kStride, J + r * kMaxNodes, sizeof(double) * n);
    a[r * kStride + n] = rhs[r];
  }
  return n == kInstrumentNetlist.nodeCount ? eliminateFor<kInstrumentNetlist.nodeCount>(n, a, dx)
                                           : eliminateFor<0>(n, a, dx);
}

// One backward-Euler step (see newtonStep) for the netlist Net gives, with the junction
// exponentials from exps; the equations are stamped straight into the augmented matrix
// that the elimination then solves in place.
template <class Net, class JunctionExps>
[[nodiscard]] inline bool newtonStepOn(Circuit& circuit, double h, JunctionExps&& exps) {
  const int n = Net::of(circuit).nodeCount;
  double v[kMaxNodes];
  std::memcpy(v, circuit.x, sizeof v);
  alignas(32) double linearJ[kMaxNodes * kStride];
  double capacitorG[kMaxCapacitors] = {};
  double capacitorStart[kMaxCapacitors] = {};
  stampLinearElements<kStride, Net>(circuit, h, linearJ, capacitorG, capacitorStart);
  return dampedNewton<kStride>(
      n, v, circuit.x, kLineSearchTries,
      [&](const double* at, NewtonEvaluation<kStride>& e) {
        stampEquations<kStride, true, Net>(circuit, linearJ, capacitorG, capacitorStart, at, e.F, e.S, e.J, exps);
      },
      [&](double* J, const double*, double* dx) {
        return eliminateFor<Net::kFixedNodes, Net::kFixedNodes != 0>(n, J, dx, Net::of(circuit).pinned);
      },
      [&](const double* dx) { return largestJunctionChange<Net>(circuit, dx); });
}

// One backward-Euler step (see newtonStep) with the junction exponentials from exps.
// instrumentNetlist says whether the record has the instrument's netlist (see
// hasInstrumentNetlist).
template <class JunctionExps>
[[nodiscard]] inline bool newtonStepWith(Circuit& circuit, double h, bool instrumentNetlist, JunctionExps&& exps) {
  if (instrumentNetlist) return newtonStepOn<InstrumentNetlist>(circuit, h, exps);
  return newtonStepOn<RecordNetlist>(circuit, h, exps);
}

}  // namespace
}  // namespace corva
