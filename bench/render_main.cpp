// corva-render: renders the instrument offline for given parameter values, writes a WAV
// when asked, and prints the cost, the engine's budget figures and a pitch estimate.
// With --grid it runs every tone x mode x speed setting with the trigger held; --sweep
// runs that grid at several rates and block sizes and compares each setting's pitch with
// the same setting at 48 kHz in 512-frame blocks.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/pitch_estimate.h"
#include "bench/render_session.h"
#include "bench/wav_file.h"

namespace {

using corva::bench::RenderResult;
using corva::bench::RenderSettings;

const char* const kUsage =
    "usage: corva-render [options]\n"
    "  --seconds S         length of the render (default 6)\n"
    "  --rate HZ           sample rate (default 48000)\n"
    "  --block N           frames per block (default 64)\n"
    "  --tone 0..3         tone selector (default 1)\n"
    "  --mode 0..3         mode selector (default 0)\n"
    "  --speed 0..3        speed selector, 3 = OFF (default 1)\n"
    "  --volume V          0..1 (default 1)\n"
    "  --supply VOLTS      supply voltage (default 12.2)\n"
    "  --tone-btn 0|1      hold the Tone button\n"
    "  --corva-btn 0|1     hold the Corva button\n"
    "  --hold 0|1          latch Hold\n"
    "  --trigger P         held | off | release:SECONDS | cycle:ON:OFF (default held)\n"
    "  --oversample 0..3   oversampling setting: 1x, 2x, 4x, 8x (default 2 = 4x)\n"
    "  --echo 0|1  --feedback 0..1  --time MS  --reverb 0..1   effects\n"
    "  --wav PATH          write the render as a stereo 32-bit float WAV\n"
    "  --switch-block N    from --switch-at on, blocks of N frames (pitch measured after)\n"
    "  --switch-at S       time of the block-size switch (default half the render)\n"
    "  --grid              run all 64 tone x mode x speed settings, trigger held\n"
    "  --sweep             the grid at each of --rates and --blocks against 48 kHz, 512 frames\n"
    "  --rates LIST        sweep rates (default 44100,48000,96000,192000)\n"
    "  --blocks LIST       sweep block sizes; A>B switches from A to B halfway\n"
    "                      (default 1,8,16,32,64,512,64>1)\n";

bool parseNumber(const char* text, double lo, double hi, double& out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
  out = v;
  return true;
}

struct Options {
  RenderSettings settings;
  std::string wavPath;
  bool grid = false;
  bool sweep = false;
  bool switchAtGiven = false;
  std::string rates = "44100,48000,96000,192000";
  std::string blocks = "1,8,16,32,64,512,64>1";
};

// Returns 0 on success, 2 with a message on stderr for bad arguments, 1 for --help.
int parseOptions(int argc, char** argv, Options& o) {
  RenderSettings& s = o.settings;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      std::fputs(kUsage, stdout);
      return 1;
    }
    if (name == "--grid" || name == "--sweep") {
      (name == "--grid" ? o.grid : o.sweep) = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "corva-render: %s needs a value\n%s", name.c_str(), kUsage);
      return 2;
    }
    const char* value = argv[++i];
    double v = 0.0;
    bool ok = true;
    if (name == "--seconds") ok = parseNumber(value, 0.0, 3600.0, s.seconds);
    else if (name == "--rate") ok = parseNumber(value, corva::kMinEngineRate, corva::kMaxEngineRate, s.sampleRate);
    else if (name == "--block") ok = parseNumber(value, 1, 65536, v), s.blockSize = static_cast<int>(v);
    else if (name == "--tone") ok = parseNumber(value, 0, 3, v), s.controls.tone = static_cast<int>(v);
    else if (name == "--mode") ok = parseNumber(value, 0, 3, v), s.controls.mode = static_cast<int>(v);
    else if (name == "--speed") ok = parseNumber(value, 0, 3, v), s.controls.speed = static_cast<int>(v);
    else if (name == "--volume") ok = parseNumber(value, 0, 1, v), s.controls.volume = static_cast<float>(v);
    else if (name == "--supply") ok = parseNumber(value, 0, 30, v), s.controls.supply = static_cast<float>(v);
    else if (name == "--tone-btn") ok = parseNumber(value, 0, 1, v), s.controls.toneBtn = v > 0.5;
    else if (name == "--corva-btn") ok = parseNumber(value, 0, 1, v), s.controls.corvaBtn = v > 0.5;
    else if (name == "--hold") ok = parseNumber(value, 0, 1, v), s.controls.hold = v > 0.5;
    else if (name == "--oversample")
      ok = parseNumber(value, 0, 3, v), s.controls.oversamplingCap = 1 << static_cast<int>(std::lround(v));
    else if (name == "--echo") ok = parseNumber(value, 0, 1, v), s.echo = v >= 0.5;
    else if (name == "--feedback") ok = parseNumber(value, 0, 1, v), s.feedback = static_cast<float>(v);
    else if (name == "--time") ok = parseNumber(value, 40, 800, v), s.timeMs = static_cast<float>(v);
    else if (name == "--reverb") ok = parseNumber(value, 0, 1, v), s.reverb = static_cast<float>(v);
    else if (name == "--trigger") ok = corva::bench::parseTriggerPattern(value, s.trigger);
    else if (name == "--switch-block") ok = parseNumber(value, 1, 65536, v), s.laterBlockSize = static_cast<int>(v);
    else if (name == "--switch-at") ok = parseNumber(value, 0.0, 3600.0, s.laterSeconds), o.switchAtGiven = true;
    else if (name == "--rates") o.rates = value;
    else if (name == "--blocks") o.blocks = value;
    else if (name == "--wav") o.wavPath = value;
    else {
      std::fprintf(stderr, "corva-render: unknown option %s\n%s", name.c_str(), kUsage);
      return 2;
    }
    if (!ok) {
      std::fprintf(stderr, "corva-render: bad value for %s: %s\n", name.c_str(), value);
      return 2;
    }
  }
  if (s.laterBlockSize > 0 && !o.switchAtGiven) s.laterSeconds = s.seconds / 2.0;
  return 0;
}

// The span in which the trigger is held, less the first half second of attack; after a
// block-size switch, only what follows it.
corva::bench::PitchEstimate pitchOf(const RenderSettings& s, const RenderResult& r) {
  double to = s.seconds;
  if (s.trigger.kind == corva::bench::TriggerPattern::Kind::releaseAt) to = std::min(to, s.trigger.releaseSeconds);
  double from = std::min(0.5, to / 4.0);
  if (s.laterBlockSize > 0) from = std::max(from, std::min(s.laterSeconds + 0.1, to));
  const auto at = [&](double t) { return static_cast<std::size_t>(std::max(t, 0.0) * s.sampleRate); };
  return corva::bench::estimatePitch(r.audio, at(from), at(to), s.sampleRate);
}

int runSingle(const Options& o) {
  const RenderSettings& s = o.settings;
  const RenderResult r = corva::bench::render(s);
  const auto pitch = pitchOf(s, r);
  const double rt = r.cpuSeconds > 0.0 ? r.audioSeconds / r.cpuSeconds : 0.0;
  std::printf("render: %.2f s at %.0f Hz, block %d, factor %d, latency %d, effects %s\n", r.audioSeconds, s.sampleRate,
              s.blockSize, r.factor, r.latency, r.effects ? "on" : "not built");
  std::printf("cost: %.4f CPU s per audio s (%.1fx real time)\n",
              r.audioSeconds > 0 ? r.cpuSeconds / r.audioSeconds : 0.0, rt);
  std::printf(
      "budget: mean used %.0f, worst used %d / %d, exhausted blocks %d of %d, late blocks %d (worst load %.0f%%)\n",
      r.meanUsed, r.worstUsed, r.budget, r.exhaustedBlocks, r.blockCount, r.lateBlocks, r.worstLoad * 100.0);
  std::printf("signal: peak %.4f, rms %.4f, pitch %.1f Hz (50 ms windows %.1f..%.1f Hz)%s\n", r.peak, pitch.rms,
              pitch.meanHz, pitch.lowHz, pitch.highHz, r.finite ? "" : ", NON-FINITE OR UNEQUAL CHANNELS");
  if (!o.wavPath.empty()) {
    const std::string error = corva::bench::writeWav(o.wavPath, r.audio, static_cast<int>(std::lround(s.sampleRate)));
    if (!error.empty()) {
      std::fprintf(stderr, "corva-render: %s\n", error.c_str());
      return 1;
    }
    std::printf("wrote %s\n", o.wavPath.c_str());
  }
  return r.finite ? 0 : 1;
}

int runGrid(const Options& o) {
  RenderSettings s = o.settings;
  s.trigger.kind = corva::bench::TriggerPattern::Kind::held;
  std::printf("tone mode speed  x-realtime  cpu-s/s  worst/budget  exhausted  late  pitch-Hz (range)\n");
  double sum = 0.0, worst = 1e30;
  int exhausted = 0, late = 0, count = 0;
  bool finite = true;
  for (int tone = 0; tone < 4; ++tone)
    for (int mode = 0; mode < 4; ++mode)
      for (int speed = 0; speed < 4; ++speed) {
        s.controls.tone = tone;
        s.controls.mode = mode;
        s.controls.speed = speed;
        const RenderResult r = corva::bench::render(s);
        const auto pitch = pitchOf(s, r);
        const double rt = r.cpuSeconds > 0.0 ? r.audioSeconds / r.cpuSeconds : 0.0;
        std::printf("%4d %4d %5s  %10.1f  %7.4f  %5d/%-6d  %9d  %4d  %7.1f (%.1f..%.1f)\n", tone + 1, mode + 1,
                    speed == 3 ? "OFF" : std::to_string(speed + 1).c_str(), rt, r.cpuSeconds / r.audioSeconds,
                    r.worstUsed, r.budget, r.exhaustedBlocks, r.lateBlocks, pitch.meanHz, pitch.lowHz, pitch.highHz);
        std::fflush(stdout);
        sum += rt;
        worst = std::min(worst, rt);
        exhausted += r.exhaustedBlocks;
        late += r.lateBlocks;
        finite = finite && r.finite;
        ++count;
      }
  std::printf(
      "summary: %d settings at %.0f Hz, factor cap %d, block %d, %.1f s each: min %.1fx, mean %.1fx real time, "
      "exhausted blocks %d, late blocks %d%s\n",
      count, s.sampleRate, s.controls.oversamplingCap, s.blockSize, s.seconds, worst, sum / count, exhausted, late,
      finite ? "" : ", NON-FINITE OUTPUT");
  return finite ? 0 : 1;
}

// Splits "a,b,c" into its items.
std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

// "N" or "A>B" (A frames, then B frames from halfway on) into the settings.
bool applyBlockItem(const std::string& item, RenderSettings& s) {
  const std::size_t arrow = item.find('>');
  double first = 0.0, later = 0.0;
  if (!parseNumber(item.substr(0, arrow).c_str(), 1, 65536, first)) return false;
  if (arrow != std::string::npos && !parseNumber(item.substr(arrow + 1).c_str(), 1, 65536, later)) return false;
  s.blockSize = static_cast<int>(first);
  s.laterBlockSize = static_cast<int>(later);
  s.laterSeconds = s.seconds / 2.0;
  return true;
}

double centsBetween(double hz, double referenceHz) { return 1200.0 * std::log2(hz / referenceHz); }

int runSweep(const Options& o) {
  RenderSettings base = o.settings;
  base.trigger.kind = corva::bench::TriggerPattern::Kind::held;
  base.laterBlockSize = 0;
  std::vector<double> rates;
  for (const std::string& item : splitList(o.rates)) {
    double rate = 0.0;
    if (!parseNumber(item.c_str(), corva::kMinEngineRate, corva::kMaxEngineRate, rate)) {
      std::fprintf(stderr, "corva-render: bad rate in --rates: %s\n", item.c_str());
      return 2;
    }
    rates.push_back(rate);
  }
  const std::vector<std::string> blocks = splitList(o.blocks);
  for (const std::string& item : blocks)
    if (RenderSettings probe = base; !applyBlockItem(item, probe)) {
      std::fprintf(stderr, "corva-render: bad block size in --blocks: %s\n", item.c_str());
      return 2;
    }

  // The reference: every setting at 48 kHz in 512-frame blocks, its pitch over the whole
  // held span and over the second half (what a block-size switch is measured on).
  const auto settingAt = [&](RenderSettings s, int index) {
    s.controls.tone = index / 16;
    s.controls.mode = index / 4 % 4;
    s.controls.speed = index % 4;
    return s;
  };
  double refWhole[64], refLater[64];
  for (int i = 0; i < 64; ++i) {
    RenderSettings s = settingAt(base, i);
    s.sampleRate = 48000.0;
    s.blockSize = 512;
    const RenderResult r = corva::bench::render(s);
    refWhole[i] = pitchOf(s, r).meanHz;
    s.laterBlockSize = 512;
    s.laterSeconds = s.seconds / 2.0;
    refLater[i] = pitchOf(s, r).meanHz;
  }

  std::printf("rate    block   within-10c  worst-cents (tone mode speed)  silent  exhausted  late  (%.1f s each)\n",
              base.seconds);
  bool allFinite = true;
  for (double rate : rates)
    for (const std::string& item : blocks) {
      int within = 0, silent = 0, exhausted = 0, late = 0, worstAt = 0;
      double worst = 0.0;
      std::string beyond;
      for (int i = 0; i < 64; ++i) {
        RenderSettings s = settingAt(base, i);
        s.sampleRate = rate;
        applyBlockItem(item, s);
        const RenderResult r = corva::bench::render(s);
        allFinite = allFinite && r.finite;
        exhausted += r.exhaustedBlocks;
        late += r.lateBlocks;
        const double ref = s.laterBlockSize > 0 ? refLater[i] : refWhole[i];
        const double hz = pitchOf(s, r).meanHz;
        char line[160];
        std::snprintf(line, sizeof line, "    tone %d mode %d speed %d: %.1f Hz against %.1f Hz\n", s.controls.tone + 1,
                      s.controls.mode + 1, s.controls.speed + 1, hz, ref);
        if (ref <= 0.0 || hz <= 0.0) {
          if (ref <= 0.0 && hz <= 0.0) ++within;
          else if (hz <= 0.0) ++silent, beyond += line;
          else beyond += line;
          continue;
        }
        const double cents = centsBetween(hz, ref);
        if (std::fabs(cents) <= 10.0) ++within;
        else beyond += line;
        if (std::fabs(cents) > std::fabs(worst)) worst = cents, worstAt = i;
      }
      std::printf("%-7.0f %-7s %5d/64     %+8.1f (%d %d %d)             %6d  %9d  %4d\n%s", rate, item.c_str(), within,
                  worst, worstAt / 16 + 1, worstAt / 4 % 4 + 1, worstAt % 4 + 1, silent, exhausted, late,
                  beyond.c_str());
      std::fflush(stdout);
    }
  return allFinite ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const int parsed = parseOptions(argc, argv, o);
  if (parsed == 1) return 0;
  if (parsed != 0) return 2;
  if (o.sweep) return runSweep(o);
  if (o.grid) {
    o.settings.keepAudio = true;
    return runGrid(o);
  }
  return runSingle(o);
}
