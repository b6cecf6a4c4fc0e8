// corva::Host: the services the interface code asks of the plug-in.

#include <chrono>
#include <cstdio>
#include <string>

#include "framework/igraphics.h"
#include "model/data_folder.h"
#include "model/midi_map_file.h"
#include "plugin/corva_control.h"
#include "plugin/corva_plug.h"

using namespace corva;

void CorvaPlug::setParameter(int index, float value) {
  const iplug::IParam* param = GetParam(index);
  if (!param) return;
  SendParameterValueFromUI(index, param->ToNormalized(value));
}

void CorvaPlug::beginGesture(int index) { BeginParameterGestureFromUI(index); }

void CorvaPlug::endGesture(int index) { EndParameterGestureFromUI(index); }

void CorvaPlug::OnParamChangeUI(int paramIdx, iplug::EParamSource) {
  const iplug::IParam* param = GetParam(paramIdx);
  if (!param) return;
  const float v = static_cast<float>(param->Value());
  uiModel.face.setValue(paramIdx, v);
  uiModel.effectsPanel.setValue(paramIdx, v);
  // Only the part of the window that shows the parameter is drawn again. The LED
  // follows the sound and changes nothing else.
  if (paramIdx != kLedLevel) publishNoteGateRouting();
  if (iplug::igraphics::IGraphics* g = GetUI()) markParamDirty(uiModel, *g, paramIdx);
}

// The interface asks for a redraw after every change of the MIDI map or of MIDI learn,
// so the audio thread's copy of which notes play the trigger is brought up to date here.
void CorvaPlug::redraw() {
  publishNoteGateRouting();
  if (iplug::igraphics::IGraphics* g = GetUI()) g->SetAllControlsDirty();
}

double CorvaPlug::nowSeconds() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<double>(ns.count()) / 1000000000.0;
}

void CorvaPlug::switchPressed() {}

void CorvaPlug::valueEdited(bool) {}

bool CorvaPlug::openUrl(const char* url) {
  iplug::igraphics::IGraphics* g = GetUI();
  return g && url ? g->OpenURL(url) : false;
}

bool CorvaPlug::midiLearnAvailable() { return true; }

// A map that could not be written stays in use (the editor does not reload the file
// over it) and is written again at its next change and when the editor closes.
void CorvaPlug::saveMidiMap(const MidiMap& map) {
  const std::string folder = dataFolder();
  midiMapSaveFailed = !saveMidiMapText(folder, formatMidiMap(map));
  if (midiMapSaveFailed)
    std::fprintf(stderr, "Corva: could not write the MIDI map to %s; it stays in use and is saved again later\n",
                 midiMapPath(folder).c_str());
}
