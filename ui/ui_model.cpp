#include "ui/ui_model.h"

#include "ui/news_panel.h"

namespace corva {

UiModel::UiModel(Host* h) : host(h), face(h), effectsPanel(h) {
  resetMidiMap(midiMap);
  effectsPanel.newsShown = newsView.pageCount > 0;
  effectsPanel.learnAvailable = host->midiLearnAvailable();
  effectsPanel.learnArmed = false;
}

void UiModel::saveMapAndRedraw() {
  host->saveMidiMap(midiMap);
  host->redraw();
}

bool UiModel::handlePointerDown(std::uint64_t pointerId, float x, float y) {
  // The news panel lies over everything else and swallows presses on its body.
  if (pressNewsPanel(newsView, newsRects, *host, x, y)) return true;

  switch (effectsPanel.hitTestButtons(x, y)) {
    case 1:
      setLearnArmed(!learnArmed);
      return true;
    case 2:
      resetMidiMap(midiMap);
      learnArmed = true;
      learnTarget = -1;
      releaseMomentaryButtons();
      saveMapAndRedraw();
      return true;
    default:
      break;
  }

  if (learnArmed) {
    // In learn mode a press chooses or clears a learn target and never moves a control.
    int c = hitTestFace(face, x, y);
    if (c < 0) c = effectsPanel.hitTest(x, y);
    if (c >= 0 && midiTargetSlot(static_cast<unsigned>(c)) >= 0) {
      if (c == learnTarget) {
        learnSource(static_cast<unsigned>(c), MidiMapping{});
        return true;
      }
      learnTarget = c;
    }
    host->redraw();
    return true;
  }

  if (face.pressControl(pointerId, x, y)) return true;
  return effectsPanel.pressControl(pointerId, x, y);
}

bool UiModel::handlePointerDrag(std::uint64_t pointerId, float x, float y) {
  if (learnArmed) return false;
  const bool a = face.dragControl(pointerId, x, y);
  const bool b = effectsPanel.dragControl(pointerId, x, y);
  return a || b;
}

void UiModel::handlePointerUp(std::uint64_t pointerId) {
  face.releaseControl(pointerId);
  effectsPanel.releaseControl(pointerId);
}

double UiModel::uiParamValue(int paramId) const {
  return effectSlot(paramId) >= 0 ? effectsPanel.value(paramId) : face.value(paramId);
}

void UiModel::releaseMomentaryButtons() {
  for (int index : {kTrigger, kCorvaBtn, kToneBtn})
    if (uiParamValue(index) >= 0.5) host->setParameter(index, 0.0f);
}

void UiModel::learnSource(unsigned target, const MidiMapping& source) {
  assignMidiMapping(midiMap, target, source);
  learnTarget = -1;
  releaseMomentaryButtons();
  saveMapAndRedraw();
}

void UiModel::setLearnArmed(bool armed) {
  learnArmed = armed;
  learnTarget = -1;
  effectsPanel.learnAvailable = host->midiLearnAvailable();
  effectsPanel.learnArmed = armed;
  host->redraw();
}

}  // namespace corva
