#include "plugin/stats_line.h"

#include <cstdio>
#include <cstdlib>

namespace corva {

bool statsLoggingOn() {
  static const bool on = std::getenv("CORVA_LOG") != nullptr;
  return on;
}

int formatStatsLine(char* out, std::size_t size, const CircuitEngine& e, int mode, int speed, int tone) {
  const int n = std::snprintf(out, size,
                              "[corva] pire travail %d/%d  blocs rognes %d/%d  en retard %d (pire %.0f%% de "
                              "l'echeance)  raffinement=%d cout=%.2fus (mesure %.2fus)  mode=%d speed=%d tone=%d  "
                              "C4=%.2f V  carre=%.2f V\n",
                              e.worstUsed, e.budgetStart, e.exhaustedBlocks, e.blockCount, e.lateBlocks,
                              e.worstLoad * 100.0, static_cast<int>(e.refinementOn),
                              static_cast<double>(e.costPerEvaluation) * 1000000.0,
                              static_cast<double>(e.measuredCost) * 1000000.0, mode, speed, tone,
                              static_cast<double>(e.c4Volts), static_cast<double>(e.squareVolts));
  if (n < 0 || size == 0) return 0;
  return static_cast<std::size_t>(n) < size ? n : static_cast<int>(size - 1);
}

void resetEngineStats(CircuitEngine& e) {
  e.measuredCost = 2e-7f;
  e.worstUsed = 0;
  e.exhaustedBlocks = 0;
  e.blockCount = 0;
  e.worstLoad = 0.0;
  e.lateBlocks = 0;
}

}  // namespace corva
