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
    0xa14361fd938db108ULL,
    0xe33fe07e18b644ULL,
    0x1047627d19e02e8aULL,
    0x44b3dafafb26aed1ULL,
    0x74e72a1acd973d8aULL,
    0xcfcac4a4af198d43ULL,
    0x20654516da497247ULL,
    0x5ebf3ced4af95541ULL,
    0x7859396178268929ULL,
    0x2e2ad58dd6ce3e43ULL,
    0x24bc18902e9393f7ULL,
    0xab6d1a0d79609107ULL,
    0xab7c3cac6afe5880ULL,
    0x1369e0185965fda3ULL,
    0xd64d5eabce1c15d1ULL,
    0x4dd4a2c3326c5c15ULL,
    0xbd4f02d2964bc46fULL,
    0x4ad6746ea4b633cfULL,
    0xe3e817423db46db3ULL,
    0x196f240d874f0edbULL,
    0x892704e7920985c7ULL,
    0x951c49429a3f3e77ULL,
    0x2c2c6bc44cc631adULL,
    0x5d024aed31d90c2cULL,
    0x32d0de92db9436bfULL,
    0x96ceab73f27d2fc0ULL,
    0x99e2da4c57e11c17ULL,
    0xc663d2658edf4092ULL,
    0xb4a79e271141b680ULL,
    0xeecba5f532d0086aULL,
    0x2f3f0fbf47b87703ULL,
    0x1fc6875922906bc6ULL,
    0x4e36a0dda8d0ee76ULL,
    0x340ceaf4c1432bf7ULL,
    0x5a2f6a65b997429cULL,
    0x66c09623e1fb306bULL,
    0xec3c1acecf14cdeaULL,
    0xd2b9c15ed7eb741ULL,
    0xd39c97b0f9a85eadULL,
    0x25eb7bb3145a3cfaULL,
    0x2507535affda163eULL,
    0xe155e52215c96359ULL,
    0x9be8403222d71a42ULL,
    0x2d050dfb3e6cc906ULL,
    0x556a64783a089b8cULL,
    0x225a10908a80dd1ULL,
    0xacd1fdf0c9cc583eULL,
    0x5efca31b7b522081ULL,
    0x84dde79ce838556eULL,
    0x425b511bb5a6937eULL,
    0x9c9384a6685cb901ULL,
    0xfb4c53d0a73803cbULL,
    0x3421f77ae91cccf6ULL,
    0xb9620314a31d6eeaULL,
    0x49a7722f3a323de2ULL,
    0x8c200efed4756fb3ULL,
    0xd69347fdc89b640fULL,
    0x13311b0c481d7815ULL,
    0xdfbe45a502a330acULL,
    0xf5c0ac4d536e6dd9ULL,
    0x5785a7e38d89883eULL,
    0x12af146c5b2c2c9eULL,
    0xc0ee962617524f20ULL,
    0x580d734c7558ce43ULL,
    0x487cd15adca0ee7eULL,
    0xaab6756faf198b6cULL,
    0xf4f5a6df62d9d66bULL,
    0x3f57a6dc7f532edeULL,
    0xc005b812c7bd6daULL,
    0xf2be6b7b9cd193c6ULL,
    0xd918f6000b1e4aa3ULL,
    0x12a8e51eacbfa08fULL,
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
