#pragma once

#include <cstdint>
#include <vector>

namespace corva {

// Mono feedback delay: the time glides when changed, the line is read with a
// four-point cubic, the feedback path is band-limited (150 Hz .. 3 kHz) and
// saturated, and switching fades the wet signal in and out over about 5 ms.
// While off and fully faded it passes the input through untouched.
struct Echo {
  std::vector<float> buffer;  // circular delay line, ceil(0.85 * rate) + 8 samples
  int32_t writeIndex = 0;
  float sampleRate = 48000.0f;
  float highpassCoef = 0.0f;   // feedback high-pass corner 150 Hz
  float lowpassCoef = 0.0f;    // feedback low-pass corner 3 kHz
  float timeCoef = 0.0f;       // delay-time glide, 60 ms time constant
  float fadeCoef = 0.0f;       // wet fade, 5 ms time constant
  float highpassState = 0.0f;  // one-pole low-pass whose output is subtracted
  float lowpassState = 0.0f;
  float wet = 0.0f;           // current wet gain 0..1
  double delaySamples = 0.0;  // current, gliding delay in samples
  bool on = false;
  float feedback = 0.0f;     // clamp(parameter, 0, 1) * 1.05
  float timeMs = 300.0f;     // target time, 40..800 ms
  bool initialised = false;  // false after a prepare until the first setEchoParams
};

// Sizes and clears the echo for a sample rate. Its delay and wet gain start at
// the current time and switch; the next setEchoParams sets them at once.
void prepareEcho(Echo& echo, double sampleRate);

// Takes new parameter values (feedback 0..1, time in ms). Out-of-range values
// are clamped; a value that is not a number counts as the bottom of its range.
void setEchoParams(Echo& echo, bool on, float feedback, float timeMs);

// One sample in, one out.
float processEcho(Echo& echo, float x);

// Whether the echo is off and faded out: processEcho then passes its input through and
// only sets the delay to its target, which passEcho does once for any number of samples.
inline bool echoIdle(const Echo& echo) { return echo.wet <= 0.0f && !echo.on; }
void passEcho(Echo& echo);

}  // namespace corva
