// The engine's sound is pinned down bit for bit: every case below is rendered block by
// block as the plug-in renders it, and a digest of the output samples and of each
// block's evaluation counts must equal the recorded one. Any change to the arithmetic of
// either circuit, or to how the budget shares evaluations between blocks, shows here.
// The engine computes its own exponential, so one digest holds on every x86-64 machine,
// whichever code path its CPU takes and whichever math library it runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "engine/circuit_engine.h"
#include "engine/denormals.h"
#include "engine/output_stage_solver.h"

namespace corva {
namespace {

struct Case {
  const char* name;
  int tone, mode, speed;
  double rate;
  int oversamplingCap;
  int block;
  double seconds;
  double releaseAt;  // the trigger is held until then (seconds)
  bool toneBtn, corvaBtn;
};

struct Fnv {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  void add(std::uint64_t word) {
    for (int i = 0; i < 8; ++i) {
      h ^= (word >> (8 * i)) & 0xff;
      h *= 0x100000001b3ULL;
    }
  }
};

std::uint64_t renderDigest(const Case& c) {
  flushDenormals();
  CircuitEngine engine;
  engine.controls.tone = c.tone;
  engine.controls.mode = c.mode;
  engine.controls.speed = c.speed;
  engine.controls.oversamplingCap = c.oversamplingCap;
  engine.controls.toneBtn = c.toneBtn;
  engine.controls.corvaBtn = c.corvaBtn;
  prepareEngine(engine, c.rate);
  Fnv fnv;
  std::vector<float> left(c.block), right(c.block);
  float* outs[2] = {left.data(), right.data()};
  const auto frames = static_cast<std::int64_t>(std::llround(c.seconds * c.rate));
  for (std::int64_t pos = 0; pos < frames; pos += c.block) {
    const int n = static_cast<int>(std::min<std::int64_t>(c.block, frames - pos));
    engine.controls.trigger = static_cast<double>(pos) / c.rate < c.releaseAt ? 1 : 0;
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    renderCircuitBlock(engine, outs, 2, n);
    for (int i = 0; i < n; ++i) {
      std::uint32_t bits;
      std::memcpy(&bits, &left[i], sizeof bits);
      fnv.add(bits);
    }
    fnv.add(static_cast<std::uint64_t>(engine.lastUsed));
    fnv.add(static_cast<std::uint64_t>(engine.circuit.evaluationCount));
  }
  return fnv.h;
}

std::vector<Case> cases() {
  std::vector<Case> all;
  // Every tone x mode x speed setting with the trigger held, at 48 kHz, 4x, 64 frames.
  for (int tone = 0; tone < 4; ++tone)
    for (int mode = 0; mode < 4; ++mode)
      for (int speed = 0; speed < 4; ++speed)
        all.push_back({"grid", tone, mode, speed, 48000.0, 4, 64, 0.12, 1e9, false, false});
  // Longer renders through the switching of the slow oscillator, the heavy settings whose
  // budget runs out, other rates and factors, larger blocks, buttons and a release.
  const Case more[] = {
      {"default 1 s", 1, 0, 1, 48000.0, 4, 64, 1.0, 1e9, false, false},
      {"tone 3 mode 2 speed 2", 3, 2, 2, 48000.0, 4, 64, 0.6, 1e9, false, false},
      {"tone 3 mode 3 speed 3", 3, 3, 3, 48000.0, 4, 64, 0.6, 1e9, false, false},
      {"44.1 kHz 8x", 2, 1, 0, 44100.0, 8, 128, 0.4, 1e9, false, false},
      {"48 kHz 8x mode 2", 0, 2, 1, 48000.0, 8, 64, 0.3, 1e9, false, false},
      {"96 kHz block 512", 1, 3, 2, 96000.0, 8, 512, 0.4, 1e9, false, false},
      {"48 kHz 1x", 2, 0, 0, 48000.0, 1, 256, 0.5, 1e9, false, false},
      {"buttons and release", 1, 1, 1, 48000.0, 4, 64, 0.6, 0.35, true, true},
  };
  for (const Case& c : more) all.push_back(c);
  return all;
}

// Digests recorded for cases() in order.
constexpr std::uint64_t kRecorded[] = {
    0x5cd0cb9ce96ffb3bULL,
    0x602181d3d9834a4eULL,
    0x94ccf1cd088c49caULL,
    0x1f5df50242d673bbULL,
    0xf7910e772f7803afULL,
    0x29d3b890d02fdcc0ULL,
    0xaa83f4cbe114dceeULL,
    0x5ebf3ced4af95541ULL,
    0x505e82f9ad86119dULL,
    0x23fab630196f2614ULL,
    0x121bfae59f697068ULL,
    0xe2a5a5d7f8640c9eULL,
    0xd5b5f2bda04948c1ULL,
    0xda649e6e2b3bcb42ULL,
    0x8303e9d24d70467ULL,
    0xd039e7f1373f7f63ULL,
    0x82aaaf604fa6f0f1ULL,
    0x91a756333901cd30ULL,
    0xa41b8d19d158f248ULL,
    0x196f240d874f0edbULL,
    0xb9235d380c2c335eULL,
    0x4de44300c0986b05ULL,
    0xbbc380f01d404f91ULL,
    0x5d024aed31d90c2cULL,
    0x25803c0d4d6011ccULL,
    0xb83b8eed391f45c6ULL,
    0x8b8a52a52e8e2a59ULL,
    0x44d58eddd37c3e44ULL,
    0x521066efd00603bbULL,
    0xc70dcb9c24a9829bULL,
    0xac83a9189519e1f3ULL,
    0x54ea93dab321d83bULL,
    0xb75a259ee1651eebULL,
    0x8f3b81ba380b6acbULL,
    0x459f1fa66232f165ULL,
    0x66c09623e1fb306bULL,
    0xdd97af2d32746453ULL,
    0xfd415e16c0a69310ULL,
    0xcd5f85fd6374a14bULL,
    0x25eb7bb3145a3cfaULL,
    0x59d94cc0599b3242ULL,
    0xb927dddd877203b8ULL,
    0xf953d3f83322bdccULL,
    0x144d6e419207b8ccULL,
    0xc4b8886d78a14979ULL,
    0x7145312f0c4d6ec5ULL,
    0xf01a3c6aa562134fULL,
    0x83cdd105db21d54dULL,
    0xfcb6cee80428e0ebULL,
    0xd36c983fd0cdb9b6ULL,
    0xca93e6f9c4352de6ULL,
    0xfb4c53d0a73803cbULL,
    0x6ac2f3cfcef6089eULL,
    0x3d4150f87bca7259ULL,
    0xaa58a5a80a0df8c6ULL,
    0x8c200efed4756fb3ULL,
    0xcaee6cb611815e6cULL,
    0x3b1817f4c53a7875ULL,
    0x4e392931f5325a9fULL,
    0xc1aaeac2960f03bfULL,
    0xf28985ad5878cea6ULL,
    0x5c12a0d75f482e44ULL,
    0xdc612b4b41dc08c6ULL,
    0xbb3634420d0eed7cULL,
    0xb448134d676631ffULL,
    0x39f371648cebada0ULL,
    0x22e4e52d5c2bb5b3ULL,
    0xd5e0a8a7369490ccULL,
    0x66d4bd8e4c9c93d0ULL,
    0x7ae6ee5dd9d98687ULL,
    0x6817d9e64a57b64eULL,
    0x430fc45bd8b04e6bULL,
};

// Both code paths of the two circuits' solvers, where the CPU has the vector one.
TEST(ReferenceRender, EverySettingSoundsAsRecorded) {
  const std::vector<Case> all = cases();
  ASSERT_EQ(all.size(), std::size(kRecorded));
  for (const bool vector : {true, false}) {
    if (vector && !outputStageVectorPathAvailable()) continue;
    useOutputStageVectorPath(vector);
    for (std::size_t i = 0; i < all.size(); ++i) {
      const Case& c = all[i];
      const std::uint64_t expected = kRecorded[i];
      const std::uint64_t got = renderDigest(c);
      EXPECT_EQ(got, expected) << (vector ? "vector path, " : "baseline path, ") << c.name << " tone " << c.tone
                               << " mode " << c.mode << " speed " << c.speed << ": digest 0x" << std::hex << got
                               << " case " << std::dec << i;
    }
  }
  useOutputStageVectorPath(true);
}

}  // namespace
}  // namespace corva
