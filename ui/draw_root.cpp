#include "ui/draw_root.h"

#include "ui/effects_panel_draw.h"
#include "ui/face_draw.h"
#include "ui/learn_overlay.h"
#include "ui/news_panel.h"

namespace corva {

void drawUi(UiModel& ui, Canvas& canvas, float width, float height, bool fit, UiLayer layer) {
  float drawnWidth = width;
  float ox = 0.0f, oy = 0.0f;
  if (fit && width * 89.6f / 135.0f > height) drawnWidth = height * 135.0f / 89.6f;
  const float s = drawnWidth / kUiDesignWidth;
  if (fit) {
    ox = (width - drawnWidth) / 2.0f;
    oy = (height - kUiDesignHeight * s) / 2.0f;
  }
  const float faceRect[4] = {ox, oy, kFaceDesignWidth * s, kUiDesignHeight * s};
  const float panelRect[4] = {ox + kFaceDesignWidth * s, oy, kPanelDesignWidth * s, kUiDesignHeight * s};

  drawMainFace(ui.face, canvas, faceRect, layer);
  drawEffectsPanel(ui.effectsPanel, canvas, panelRect, layer);
  if (layer == UiLayer::kStill) return;
  const double t = ui.host->nowSeconds();
  ui.learnBlinkShown = isLearnBlinkOn(t);
  const bool newsShown = ui.effectsPanel.newsShown;
  drawLearnOverlay(ui.learnFont, canvas, faceRect, panelRect, newsShown ? 1 : 0, static_cast<std::uint8_t>(newsShown),
                   ui.learnArmed, ui.learnTarget, ui.midiMap, t);
  drawNewsPanel(ui.newsView, ui.newsRects, ui.newsFont, canvas, faceRect, panelRect);
}

}  // namespace corva
