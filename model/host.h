#pragma once
// The services the portable interface code asks of its surroundings. The plug-in
// implements them; the interface never calls the plug-in framework directly.

namespace corva {

struct MidiMap;

class Host {
 public:
  virtual ~Host() = default;
  // Sets parameter `index` (a ParamId) to `value` in the parameter's own units. Outside
  // a gesture on that parameter the host hears of it as an edit of its own.
  virtual void setParameter(int index, float value) = 0;
  // A pointer gesture on parameter `index` starts (at the press) and ends (at the
  // release, or when the pointer is let go otherwise): the host hears of one edit for the
  // whole gesture, whatever number of changes it makes. Every begin has its end; two
  // pointers on one control nest.
  virtual void beginGesture(int /*index*/) {}
  virtual void endGesture(int /*index*/) {}
  // Asks for a redraw of the editor when it is open.
  virtual void redraw() = 0;
  // A monotonic clock in seconds; only differences are meaningful.
  virtual double nowSeconds() = 0;
  // A press landed on a button, switch or selector.
  virtual void switchPressed() = 0;
  // A value edit finished: true after a button press or switch flip, false after a
  // selector step by drag or wheel.
  virtual void valueEdited(bool isSwitch) = 0;
  // Opens a web address; false when it could not be opened.
  [[nodiscard]] virtual bool openUrl(const char* url) = 0;
  // Records a news notice as dismissed and stops showing it.
  virtual void dismissNotice(const char* id) = 0;
  // Whether MIDI learn is offered.
  virtual bool midiLearnAvailable() = 0;
  // Saves the MIDI map to the data folder.
  virtual void saveMidiMap(const MidiMap& map) = 0;
};

}  // namespace corva
