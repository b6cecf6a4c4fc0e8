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
  double volumeAt;  // the volume changes to `volume` then (seconds; 0 = never)
  float volume;
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
  EXPECT_TRUE(prepareEngine(engine, c.rate));
  Fnv fnv;
  std::vector<float> left(c.block), right(c.block);
  float* outs[2] = {left.data(), right.data()};
  const auto frames = static_cast<std::int64_t>(std::llround(c.seconds * c.rate));
  for (std::int64_t pos = 0; pos < frames; pos += c.block) {
    const int n = static_cast<int>(std::min<std::int64_t>(c.block, frames - pos));
    engine.controls.trigger = static_cast<double>(pos) / c.rate < c.releaseAt ? 1 : 0;
    if (c.volumeAt > 0.0 && static_cast<double>(pos) / c.rate >= c.volumeAt) engine.controls.volume = c.volume;
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
        all.push_back({"grid", tone, mode, speed, 48000.0, 4, 64, 0.12, 1e9, false, false, 0.0, 1.0f});
  // Longer renders through the switching of the slow oscillator, the heavy settings whose
  // budget runs out, other rates and factors, larger blocks, buttons, a release and a
  // volume that glides to a new value.
  const Case more[] = {
      {"default 1 s", 1, 0, 1, 48000.0, 4, 64, 1.0, 1e9, false, false, 0.0, 1.0f},
      {"tone 3 mode 2 speed 2", 3, 2, 2, 48000.0, 4, 64, 0.6, 1e9, false, false, 0.0, 1.0f},
      {"tone 3 mode 3 speed 3", 3, 3, 3, 48000.0, 4, 64, 0.6, 1e9, false, false, 0.0, 1.0f},
      {"44.1 kHz 8x", 2, 1, 0, 44100.0, 8, 128, 0.4, 1e9, false, false, 0.0, 1.0f},
      {"48 kHz 8x mode 2", 0, 2, 1, 48000.0, 8, 64, 0.3, 1e9, false, false, 0.0, 1.0f},
      {"96 kHz block 512", 1, 3, 2, 96000.0, 8, 512, 0.4, 1e9, false, false, 0.0, 1.0f},
      {"48 kHz 1x", 2, 0, 0, 48000.0, 1, 256, 0.5, 1e9, false, false, 0.0, 1.0f},
      {"buttons and release", 1, 1, 1, 48000.0, 4, 64, 0.6, 0.35, true, true, 0.0, 1.0f},
      {"volume glide", 2, 3, 1, 48000.0, 4, 64, 0.3, 1e9, false, false, 0.1, 0.3f},
      {"64 kHz 6x", 1, 0, 2, 64000.0, 8, 64, 0.2, 1e9, false, false, 0.0, 1.0f},
      {"192 kHz 2x", 0, 1, 1, 192000.0, 8, 256, 0.2, 1e9, false, false, 0.0, 1.0f},
  };
  for (const Case& c : more) all.push_back(c);
  return all;
}

// Digests recorded for cases() in order.
constexpr std::uint64_t kRecorded[] = {
    0xa514aa794af78015ULL, 0x77eeafbc02b580b5ULL, 0x46412ef82822e395ULL, 0x4cba2c9f42ec9f3fULL, 0xe53457a6be70bcf5ULL,
    0x94d36418f0583a9fULL, 0xc724b421346b17faULL, 0x5ebf3ced4af95541ULL, 0xdddbc1d85acbfd7bULL, 0x85c7cc8a9cec2c17ULL,
    0xc5422a2f7a5d3362ULL, 0xa72f555abf920ce5ULL, 0x353147967ac82ac4ULL, 0xf2883bf28865ddf7ULL, 0x9e246391e6fd8a12ULL,
    0x2e28ff0bd4a9cadfULL, 0x8e88124fa6a0c28aULL, 0x44e30014b87ae68eULL, 0xdad54b0ba1ffd6d4ULL, 0x196f240d874f0edbULL,
    0x5bad1024bab2d360ULL, 0x65aa3a4ca3670bc0ULL, 0x2bad7dc67bc0ad1aULL, 0x5d024aed31d90c2cULL, 0x765b46f04949fa29ULL,
    0x1b9002d72be862b4ULL, 0x38361910fd65d00aULL, 0x6449fbaacfa91a33ULL, 0x650247adf9e23930ULL, 0x1844810d98f69599ULL,
    0xdbc4ce904b03b240ULL, 0xab8fd5c062af3ed6ULL, 0x60a132dec78bda84ULL, 0x9ae12929c615416aULL, 0xdcf1ba5b8b31d7b9ULL,
    0x66c09623e1fb306bULL, 0xd1a88bd998086b2cULL, 0x48756aa26542c284ULL, 0x52714349a0f3d797ULL, 0x25eb7bb3145a3cfaULL,
    0x221d478346c8280fULL, 0x834d424b23d3bbb3ULL, 0x4e6f229866648fd6ULL, 0x404a920ebd259090ULL, 0xd2d965787a0f7111ULL,
    0x3eba6deac268c397ULL, 0x9c1b2d9381c4acf7ULL, 0xcfda59b7acb6dab1ULL, 0x8585d6e4616e1d02ULL, 0x6d7e832234183e27ULL,
    0x84d6101c8a684289ULL, 0xfb4c53d0a73803cbULL, 0xdc0a1f46a6f4cc83ULL, 0x50991ca54071ab48ULL, 0xc68827165bf90326ULL,
    0x8c200efed4756fb3ULL, 0x296600a082730f0ULL,  0x41ff3ec3e74b03c6ULL, 0x6388db17c500195fULL, 0xc581ebf10c242db5ULL,
    0xed224fe8aaa4de1aULL, 0x8bfc87f7b2894d2cULL, 0xe91fc686c13b7d33ULL, 0xe02e0dd6571a78acULL, 0x30575acaf78a2d51ULL,
    0xc5ce109c9114a081ULL, 0xaa8caca8555d197dULL, 0xccf3280ef952c0b0ULL, 0x2aa7ea02f923c125ULL, 0xf088579983162363ULL,
    0xe5eca262f9976a4bULL, 0x5ba8f08c3fb8681fULL, 0x9c7d76ea4e3073bdULL, 0x7c3eddb742a7b3b3ULL, 0xa9009da6f9ac64acULL,
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
