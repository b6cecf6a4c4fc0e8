#include "framework/iplug_processor.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace iplug {

namespace {
// Parses "<inputs>-<outputs>"; a malformed part counts as no channels.
void parseChannelIO(const char* text, int& inputs, int& outputs) {
  inputs = outputs = 0;
  if (!text) return;
  char* end = nullptr;
  const long in = std::strtol(text, &end, 10);
  if (end == text || *end != '-') return;
  const char* rest = end + 1;
  const long out = std::strtol(rest, &end, 10);
  if (end == rest) return;
  inputs = static_cast<int>(std::clamp(in, 0L, 64L));
  outputs = static_cast<int>(std::clamp(out, 0L, 64L));
}
}  // namespace

IPlugProcessor::IPlugProcessor(const Config& config) : mLatency(config.latency) {
  parseChannelIO(config.channelIOStr, mMaxNInputs, mMaxNOutputs);
  mScratchInputs.resize(static_cast<std::size_t>(mMaxNInputs));
  mScratchOutputs.resize(static_cast<std::size_t>(mMaxNOutputs));
  SetBlockSize(1024);
}

IPlugProcessor::~IPlugProcessor() = default;

bool IPlugProcessor::SetSampleRate(double sampleRate) {
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0) return false;
  mSampleRate = sampleRate;
  return true;
}

void IPlugProcessor::SetBlockSize(int blockSize) {
  mBlockSize = std::max(blockSize, 1);
  const auto frames = static_cast<std::size_t>(mBlockSize);
  mScratch.assign(frames * static_cast<std::size_t>(mMaxNInputs + mMaxNOutputs), 0.0f);
  sample* p = mScratch.data();
  for (auto& in : mScratchInputs) in = p, p += frames;
  for (auto& out : mScratchOutputs) out = p, p += frames;
}

void IPlugProcessor::ProcessBuffers(double** inputs, double** outputs, int nFrames) {
  int done = 0;
  do {
    const int n = std::min(std::max(nFrames - done, 0), mBlockSize);
    for (std::size_t c = 0; c < mScratchInputs.size(); ++c) {
      for (int i = 0; i < n; ++i)
        mScratchInputs[c][i] = inputs && inputs[c] ? static_cast<sample>(inputs[c][done + i]) : 0.0f;
    }
    ProcessBlock(mScratchInputs.data(), mScratchOutputs.data(), n);
    for (std::size_t c = 0; c < mScratchOutputs.size(); ++c) {
      if (!outputs || !outputs[c]) continue;
      for (int i = 0; i < n; ++i) outputs[c][done + i] = mScratchOutputs[c][i];
    }
    done += n;
  } while (done < nFrames);
}

}  // namespace iplug
