#pragma once
// The standalone wrapper: the plug-in inside a program of its own. The program's host
// keeps the device stream (64-bit floats) and calls AppProcess on its audio thread in
// blocks of GetBlockSize() frames; the plug-in processes 32-bit floats behind it. MIDI
// from the host's MIDI thread waits in two fixed queues that AppProcess empties before
// each block: 4,096 short messages (more than a MIDI device delivers in the longest
// device buffer; a release is never the message a full queue drops) and 16 system-
// exclusive messages.

#include "framework/config.h"
#include "framework/imidi_msg.h"
#include "framework/iplug_api_base.h"
#include "framework/iplug_processor.h"
#include "framework/midi_queue.h"
#include "framework/spsc_queue.h"

namespace iplug {

class IPlugAPP : public IPlugAPIBase, public IPlugProcessor {
 public:
  static constexpr int kMidiQueueSize = 4096;
  static constexpr int kSysExQueueSize = 16;

  IPlugAPP(const InstanceInfo& info, const Config& config);
  ~IPlugAPP() override;

  // Audio thread. Hands every waiting MIDI message and system-exclusive message to the
  // plug-in, then processes one block of GetBlockSize() frames (the host sets it; nFrames
  // is not used, as the host always passes a whole block). `inputs` may be null.
  void AppProcess(double** inputs, double** outputs, int nFrames);

  // Filled by the host's MIDI thread, emptied by AppProcess; a push onto a full queue
  // drops the message (a full short-message queue keeps releases, see MidiQueue).
  MidiQueue mMidiMsgsFromCallback{kMidiQueueSize};
  IPlugQueue<SysExData> mSysExMsgsFromCallback{kSysExQueueSize};
};

}  // namespace iplug
