// The idle handler: every 20 ms on the interface side, for the plug-in's whole life.

#include <cstdint>

#include "framework/igraphics.h"
#include "model/midi_dispatch.h"
#include "plugin/corva_control.h"
#include "plugin/corva_plug.h"

using namespace corva;

void CorvaPlug::OnIdle() {
  // A held space bar is released as soon as the editor's window is not in front (its
  // key-up may have gone to another window); with no editor it is released at once.
  if (spaceHeld) {
    iplug::igraphics::IGraphics* g = GetUI();
    if (!g || !g->IsTopLevelWindowInForeground()) {
      spaceHeld = false;
      setParameter(kTrigger, 0.0f);
    }
  }

  drainMidiRing();
  // A capture changes the map and ends the wait for a note: the audio thread learns of it
  // before the next message.
  publishNoteGateRouting();

  // The LED level goes to the interface; the host is not told, since it does not
  // automate this output. A NaN never equals ledSent, so it is always sent (and the
  // parameter constrains it to 0).
  const float level = ledLevel.load(std::memory_order_relaxed);
  if (!(level == ledSent)) {
    ledSent = level;
    GetParam(kLedLevel)->Set(level);
    SendParameterValueFromDelegate(kLedLevel, level, false);
  }

  const std::int32_t pending = pendingLatency.load(std::memory_order_relaxed);
  if (pending != reportedLatency.load(std::memory_order_relaxed)) reportLatency(pending);

  // The open editor draws again what moved since its last frame: the echo's beat light,
  // the echo switch's press, the blinking learn target. Finished news jobs are taken up
  // while an editor is open; with none they wait until one opens.
  if (iplug::igraphics::IGraphics* g = GetUI()) {
    markChangedAnimations(uiModel, *g, nowSeconds());
    refreshNewsAfterJobs();
  }
}

namespace {

// Whether gate change `a` came after gate change `b`; the numbers wrap around.
bool isLaterGateChange(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0; }

}  // namespace

void CorvaPlug::drainMidiRing() {
  iplug::IMidiMsg msg;
  bool gated = false;
  std::uint32_t change = 0;
  while (takeMidiMsg(msg, &gated, &change)) {
    if (learnMidiMsg(msg)) continue;
    if (gated) {
      // Already passed on from the latest gate change, which came after this one.
      if (!isLaterGateChange(change, gateChangePassedOn)) continue;
      gateChangePassedOn = change;
    }
    dispatchFromRing(msg, gated);
  }

  // A burst that filled the ring may have dropped the gate's last change: it is passed
  // on here, so the trigger, the host and the interface never stay at an earlier state.
  const std::uint64_t latest = latestGateMsg.load(std::memory_order_acquire);
  const auto latestChange = static_cast<std::uint32_t>(latest >> 32);
  if (isLaterGateChange(latestChange, gateChangePassedOn)) {
    gateChangePassedOn = latestChange;
    dispatchFromRing(iplug::IMidiMsg(0, static_cast<std::uint8_t>(latest >> 16), static_cast<std::uint8_t>(latest >> 8),
                                     static_cast<std::uint8_t>(latest)),
                     true);
  }
}

void CorvaPlug::dispatchFromRing(const iplug::IMidiMsg& msg, bool gated) {
  // The trigger write of a note the audio thread already gated follows what sounded.
  followingGate.store(gated, std::memory_order_relaxed);
  dispatchMidiMessage(msg.mStatus, msg.mData1, msg.mData2, uiModel.midiMap, uiModel, *this);
  followingGate.store(false, std::memory_order_relaxed);
}

void CorvaPlug::publishNoteGateRouting() {
  const std::int32_t target = uiModel.learnTarget;
  bool capturing = false;
  if (uiModel.learnArmed && target >= 0) {
    const MidiTargetKind kind = midiTargetKind(static_cast<unsigned>(target));
    capturing = kind == MidiTargetKind::kMomentary || kind == MidiTargetKind::kToggle;
  }
  noteGateRouting.publish(uiModel.midiMap, capturing);
}

bool CorvaPlug::learnMidiMsg(const iplug::IMidiMsg& msg) {
  const std::int32_t target = uiModel.learnTarget;
  if (!uiModel.learnArmed || target < 0) return false;
  const unsigned t = static_cast<unsigned>(target);
  const std::uint8_t kind = msg.mStatus & 0xF0;
  const std::uint8_t channel = msg.mStatus & 0x0F;
  const std::uint8_t number = msg.mData1 & 0x7F;
  MidiMapping source;
  if (kind == 0x90 && msg.mData2 != 0 &&
      (midiTargetKind(t) == MidiTargetKind::kMomentary || midiTargetKind(t) == MidiTargetKind::kToggle)) {
    source = {MidiSourceType::kNote, number, channel};
  } else if (kind == 0xB0 && number < 120) {
    source = {MidiSourceType::kCc, number, channel};
  } else {
    return false;
  }
  // Learn mode stays on with no target, so the next click chooses the next control.
  uiModel.learnSource(t, source);
  return true;
}
