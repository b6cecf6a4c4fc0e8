// The engine's sound is pinned down bit for bit: every case below is rendered block by
// block as the plug-in renders it, and a digest of the output samples and of each
// block's evaluation counts must equal the recorded one. Any change to the arithmetic of
// either circuit, or to how the budget shares evaluations between blocks, shows here.
//
// The system's exp differs in the last bit between its FMA and its generic variant, and
// the engine's sound follows it, so a digest is kept for each.

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

enum class ExpVariant { fma, generic, unknown };

// Which of the two exp variants the system library picked on this machine.
ExpVariant systemExpVariant() {
  volatile double x = -0x1.df6f7e3c2a4fcp+4;
  const double e = std::exp(x);
  if (e == 0x1.b49034bc1fa09p-44) return ExpVariant::fma;
  if (e == 0x1.b49034bc1fa08p-44) return ExpVariant::generic;
  return ExpVariant::unknown;
}

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

// Digests recorded for cases() in order: {FMA exp, generic exp}.
constexpr std::uint64_t kRecorded[][2] = {
    {0x698d56436b02926aULL, 0xa98d4ae1bccd2296ULL},
    {0x55c143d29c9018eaULL, 0x796ecc0c54bfb182ULL},
    {0xd7dd83c5afde5d06ULL, 0x63b02ea53618075aULL},
    {0xfcd77f43e54f0b33ULL, 0x7b574c9ee6d5de4aULL},
    {0xd2d3e0edc6c4aa2aULL, 0x772ab03cd1294fabULL},
    {0xb2f81c4a89381b2ULL, 0xb9d3287823872c64ULL},
    {0x7c3c44f69495fbd4ULL, 0x70848ca11a0fc082ULL},
    {0xdda67e24411232c3ULL, 0xdda67e24411232c3ULL},
    {0x6b7c99ccceba6585ULL, 0x1e615104ce2447f2ULL},
    {0xa947499973398a31ULL, 0x1e1dca943b802631ULL},
    {0xac260c8f8fa9eeefULL, 0x702fb74c79338eebULL},
    {0x2d5a0f66f39b5a20ULL, 0xb607423711a7a7c2ULL},
    {0x54886d2f5ebddbc1ULL, 0xac0f90aeefbb1e1ULL},
    {0x688fd3bed6737f75ULL, 0xe7cce21395f5825fULL},
    {0xba7edf94f7946341ULL, 0x599d89d23cc14368ULL},
    {0x9a663126933aae20ULL, 0xd3c6b4eaee68614eULL},
    {0x7052d8cb32660ba0ULL, 0x271808cd96a58fd9ULL},
    {0x7999a0970dd6b27cULL, 0x243553c467c44934ULL},
    {0x9c7a65f96b465b82ULL, 0x183d0008fb63d025ULL},
    {0x9ff560c0a0680c49ULL, 0x9ff560c0a0680c49ULL},
    {0xe9f53b7562623c02ULL, 0x197d8b45fb9ec83cULL},
    {0xb45f9221e49fea96ULL, 0xabbda86b8ea2ca5eULL},
    {0x85abacd93b06ad23ULL, 0xc99a6670d1a329bbULL},
    {0x9480dc1023d47d8fULL, 0x9480dc1023d47d8fULL},
    {0xaa1f3a6f50222a88ULL, 0xc1ac40d3e303b52fULL},
    {0x582bed17bc1134feULL, 0x84830ed778dceec9ULL},
    {0xfcef52419916b45eULL, 0xf71fc4f3e79e1c70ULL},
    {0xa70086e7e3776ee9ULL, 0xd6d1dcf3f959d296ULL},
    {0x5bfe03af9b85ccc6ULL, 0xde1772e710ff20eeULL},
    {0x7cb0f76d4a268ae3ULL, 0x484e9dc17f00a1abULL},
    {0x9d6257f7c84b8716ULL, 0x2cd5d5f9574aec47ULL},
    {0xaa3dc32a23dd5817ULL, 0x16791e26461852e0ULL},
    {0x17c6f3c11c206f78ULL, 0x57e72eae85825408ULL},
    {0x39f1819b7a4eefc8ULL, 0xc0c9f33f4ccff90dULL},
    {0x54926f8552466c6bULL, 0x8e69edb29d9ca8b7ULL},
    {0x42617b44c686a030ULL, 0x42617b44c686a030ULL},
    {0xdaadea286bfff74dULL, 0x4fc6679cf105e166ULL},
    {0x4800e3bf356eabcbULL, 0x30ce6901519f1c5fULL},
    {0xabf5dd759b67ab57ULL, 0x8edb7644ec7168dULL},
    {0xb7433abe97a6707cULL, 0xb7433abe97a6707cULL},
    {0x3daaa246e661e37dULL, 0xa25d09c50e9ce40fULL},
    {0x8830ec207d2824ffULL, 0x9289feb49be9c04ULL},
    {0x5035cd15ec260d54ULL, 0x4c970a91332cd081ULL},
    {0xe50f9fc598fcec6fULL, 0x930bf899b2087165ULL},
    {0xe5fc4dea054682dbULL, 0x89aeb6b6e70e281bULL},
    {0x9521b3db013a33a7ULL, 0x221f7a4a3f7a1b20ULL},
    {0x5ac8323fc4520a44ULL, 0xcf15c6708901e539ULL},
    {0xab4a7e04868cc12dULL, 0x1f7357ae357690b4ULL},
    {0x3ba266944d02cf90ULL, 0x913f0fe541f1557aULL},
    {0xaa890e4175abdba0ULL, 0x2fd287e171a614f2ULL},
    {0x40743b0705d7ccecULL, 0xaca5d39edbb5136aULL},
    {0x940c451b6c486232ULL, 0x940c451b6c486232ULL},
    {0x4ba18699ec061864ULL, 0xf3c62d20db7c0ab1ULL},
    {0x32209e3abd416f16ULL, 0x8ade903d072d617fULL},
    {0x706b201596779b60ULL, 0x4e05a0fb9fb0ba10ULL},
    {0xb68bdf4d296c4040ULL, 0xb68bdf4d296c4040ULL},
    {0x6f8522435dd0a8beULL, 0xee04707c2cb76219ULL},
    {0xa91c40cb8fe2a48bULL, 0x1e3a9f67bf74a226ULL},
    {0x215b8152aef201d0ULL, 0x80616f62bd512113ULL},
    {0xd71b47c1d7fac19eULL, 0xb1df332427abdecdULL},
    {0x119ac323ce8bcd74ULL, 0xe718e159a33948a6ULL},
    {0xab488340f9a083edULL, 0x782ff12fa1646de9ULL},
    {0x3ec491d5fa1eda58ULL, 0x7e8deca8f30a2bd2ULL},
    {0x778d1c9b972d32c8ULL, 0x18a672e69405a96bULL},
    {0x8a67d9938a59363eULL, 0xfbb0aa3ad2267c1cULL},
    {0x75be3d38e9443048ULL, 0x5997da93bd76b593ULL},
    {0x373029453a7fce1bULL, 0x80553fdf9b541e3dULL},
    {0xc75924e9c573749aULL, 0x367ddbe76873be96ULL},
    {0x4ddad885f4c9dedbULL, 0xb4eb8e90b08284cULL},
    {0x9667cfb2f25faca5ULL, 0x179c7c3af13ab309ULL},
    {0xa8597aff0710d88eULL, 0x99d0a5b213e80247ULL},
    {0xf11539c2fd99f8bbULL, 0x3cc44562812117b0ULL},
};

// Both code paths of the two circuits' solvers, where the CPU has the vector one.
TEST(ReferenceRender, EverySettingSoundsAsRecorded) {
  const ExpVariant variant = systemExpVariant();
  if (variant == ExpVariant::unknown) GTEST_SKIP() << "the system's exp is neither recorded variant";
  const std::vector<Case> all = cases();
  ASSERT_EQ(all.size(), std::size(kRecorded));
  for (const bool vector : {true, false}) {
    if (vector && !outputStageVectorPathAvailable()) continue;
    useOutputStageVectorPath(vector);
    for (std::size_t i = 0; i < all.size(); ++i) {
      const Case& c = all[i];
      const std::uint64_t expected = kRecorded[i][variant == ExpVariant::fma ? 0 : 1];
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
