#pragma once
// The instrument's plug-in class. The same sources are compiled once per deliverable on
// that deliverable's framework base, named by the build: CORVA_PLUG_BASE is the class
// and CORVA_PLUG_BASE_HEADER the header declaring it (see plugin/plug.cmake). The base
// derives from iplug::IPlugAPIBase and iplug::IPlugProcessor and is constructed from
// (const iplug::InstanceInfo&, const iplug::Config&).

#if !defined(CORVA_PLUG_BASE) || !defined(CORVA_PLUG_BASE_HEADER)
#error "CorvaPlug is compiled through corva_plug_core(), which names its framework base"
#endif

#include CORVA_PLUG_BASE_HEADER

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/circuit_engine.h"
#include "engine/effects_chain.h"
#include "framework/config.h"
#include "framework/ibyte_chunk.h"
#include "framework/igraphics_structs.h"
#include "framework/imidi_msg.h"
#include "framework/spsc_queue.h"
#include "model/host.h"
#include "model/param_table.h"
#include "news/news_notices.h"
#include "plugin/note_gate.h"
#include "ui/ui_model.h"

namespace iplug::igraphics {
class IGraphics;
}

namespace corva {
// The editor's width at which the face is designed, and the height that keeps the
// face's aspect at width w: ceil(w x 89.6 / 135).
inline constexpr int kEditorWidth = 648;
int editorHeightForWidth(int w);
}  // namespace corva

class CorvaPlug final : public CORVA_PLUG_BASE, public corva::Host {
 public:
  using PlugBase = CORVA_PLUG_BASE;
  static constexpr std::size_t kMidiRingCapacity = 64;  // messages waiting at most; more are dropped

  // A MIDI message on its way from the audio thread to the idle handler, with whether
  // the audio thread already opened or closed the gate for it, and if so, that gate
  // change's number (see gateChanges).
  struct QueuedMidiMsg {
    iplug::IMidiMsg msg;
    bool gated = false;
    std::uint32_t gateChange = 0;
  };

  explicit CorvaPlug(const iplug::InstanceInfo& info);
  ~CorvaPlug() override;

  // Framework operations.
  using PlugBase::OnParamChange;
  void OnParamChange(int paramIdx) override;
  // A parameter value reached the interface: its models take the value.
  void OnParamChangeUI(int paramIdx, iplug::EParamSource source) override;
  void OnIdle() override;
  // The editor.
  void OnParentWindowResize(int width, int height) override;
  bool ConstrainEditorResize(int& width, int& height) const override;
  void OnUIOpen() override;
  void OnUIClose() override;
#ifdef CORVA_PLUG_STANDALONE
  // Help > About in the standalone program: the product's name, version, year, maker
  // and web address in a message box over the window that holds the editor. The plug-in
  // module leaves the request to the framework, which declines it.
  bool OnHostRequestingAboutBox() override;
#endif
  // The editor's key handler: Escape ends MIDI learn; Space plays the trigger when the
  // space-bar trigger is on. True when the key was consumed.
  bool onKeyPress(const iplug::igraphics::IKeyPress& key, bool isUp);
  // Whether Space plays the trigger: a setting of the standalone program, never on in
  // the plug-in module.
  bool IsSpaceTriggerEnabled() const { return spaceTriggerEnabled; }

  void ProcessBlock(iplug::sample** inputs, iplug::sample** outputs, int nFrames) override;
  void ProcessMidiMsg(const iplug::IMidiMsg& msg) override;
  void OnReset() override;
  // Restores saved parameters; the momentary buttons and the LED level come back as 0
  // whatever was saved, so a project saved while a button was held does not reopen
  // sounding. The saved layout itself is unchanged.
  int UnserializeState(const iplug::IByteChunk& chunk, int startPos) override;
  // Saves every parameter in the same layout, the LED level as 0: it is an output the
  // idle handler moves, and a saved state that follows it would change while nothing
  // is edited.
  [[nodiscard]] bool SerializeState(iplug::IByteChunk& chunk) const override;

  // corva::Host, on the interface thread.
  void setParameter(int index, float value) override;
  void beginGesture(int index) override;
  void endGesture(int index) override;
  void redraw() override;
  double nowSeconds() override;
  void switchPressed() override;
  void valueEdited(bool isSwitch) override;
  [[nodiscard]] bool openUrl(const char* url) override;
  void dismissNotice(const char* id) override;
  bool midiLearnAvailable() override;
  void saveMidiMap(const corva::MidiMap& map) override;

  // Takes the oldest message out of the MIDI ring; false when it is empty. `gated`, when
  // given, tells whether the audio thread already opened or closed the gate for it, and
  // `gateChange` that change's number. Only the idle handler's thread may call it.
  bool takeMidiMsg(iplug::IMidiMsg& msg, bool* gated = nullptr, std::uint32_t* gateChange = nullptr);

  // Tells the audio thread which notes play the trigger, from the MIDI map and the
  // MIDI-learn state as they are now. Interface thread; cheap when nothing changed.
  void publishNoteGateRouting();

  // News notices, on the interface thread. refreshNotices rebuilds `notices` from the
  // feed cache and publishes the first; true when the cache is verified and fresh, so
  // that no fetch is needed.
  bool refreshNotices();
  // When the editor opens: rebuild, and hand a fetch to the background worker unless the
  // cache is fresh.
  void refreshNewsOnOpen();
  // Rebuilds when the background worker has finished a job since the last rebuild.
  void refreshNewsAfterJobs();
  // Copies the first notice into the interface model and redraws.
  void publishNotice();

  // Members, in construction order. Those that cross threads are atomics: the audio
  // thread writes ledLevel, pendingLatency and the MIDI ring; any thread sets paramsDirty.
  // uiModel, and everything the idle handler touches, belongs to the interface thread.
  corva::UiModel uiModel{this};
  bool midiMapSaveFailed = false;
  corva::CircuitEngine engine;
  std::int32_t latency = 0;
  std::uint32_t logFrames = 0;
  std::atomic<bool> paramsDirty{true};  // true so that the first block takes a snapshot
  bool settlePending = true;            // the next block that renders starts at the parameters' values
  bool resizeGuard = false;
  std::int32_t lastAspectWidth = 0;
  bool spaceHeld = false;
  std::uint32_t seenJobCount = 0xFFFFFFFFu;
  std::vector<corva::NewsNotice> notices;
  corva::EffectsChain effects;
  std::atomic<float> ledLevel{0.0f};
  float ledSent = -1.0f;
  std::atomic<std::int32_t> pendingLatency{0};
  std::atomic<std::int32_t> reportedLatency{-1};
  // Produced by the audio thread, consumed by the idle handler; allocated here, once.
  iplug::IPlugQueue<QueuedMidiMsg> midiRing{kMidiRingCapacity};
  bool spaceTriggerEnabled = false;
  bool sampleRateRefused = false;  // the last reset's rate was one the engine does not play

  // Notes that play the trigger gate the engine on the audio thread at their offsets.
  // The idle handler still passes them to the parameter, the host and the interface;
  // those trigger writes follow what already sounded and must not move the gate again,
  // so only the other writes of the trigger (interface, host, state) count a new
  // generation, which the next snapshot takes.
  corva::NoteGateRouting noteGateRouting;
  corva::GateEvents gateEvents;  // audio thread
  std::atomic<std::uint32_t> triggerGeneration{0};
  std::uint32_t triggerGenerationSeen = 0xFFFFFFFFu;  // audio thread
  std::atomic<bool> followingGate{false};

  // Gate changes are numbered by the audio thread, which also keeps the latest one's
  // message beside the ring (number in the high 32 bits, then status, data 1, data 2), so
  // the idle handler passes on the gate's last state even when that message's copy found
  // the ring full. The idle handler remembers the last number it passed on and skips
  // older gate changes still in the ring.
  std::uint32_t gateChanges = 0;  // audio thread
  std::atomic<std::uint64_t> latestGateMsg{0};
  std::uint32_t gateChangePassedOn = 0;  // interface thread

 private:
  void installEditorFunctions();
  void layoutEditor(iplug::igraphics::IGraphics& g);
  void registerParams();
  void takeParamSnapshot();
  // Renders frames [from, to) of the block.
  void renderSpan(iplug::sample** outputs, int from, int to);
  void writeStatsLine();
  // Reports `value` to the framework unless a report is already running further up
  // this call chain (a host may answer a latency change by resetting the plug-in).
  void reportLatency(std::int32_t value);
  // The idle handler's MIDI step: each waiting message is learned or dispatched.
  void drainMidiRing();
  // Learns msg as the armed target's source when it may be one; true when it did.
  bool learnMidiMsg(const iplug::IMidiMsg& msg);
  // Passes msg to the MIDI map; a gated message's trigger write follows what sounded.
  void dispatchFromRing(const iplug::IMidiMsg& msg, bool gated);

  std::atomic<bool> latencyReportRunning{false};
};

// Creates the standalone program's instance under a process-wide lock.
CORVA_PLUG_BASE* MakePlug(const iplug::InstanceInfo& info);
