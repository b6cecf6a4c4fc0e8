#pragma once
// The news panel: one notice at a time in a dark strip across the top of the
// instrument, with underlined links, a page counter and a close box.

#include "ui/canvas.h"
#include "ui/font_state.h"
#include "ui/news_view.h"

namespace corva {

class Host;

// Draws the shown notice across face and effects panel ({x, y, w, h} pixels each) and
// records the hit areas of what it drew in `rects`.
void drawNewsPanel(const NewsView& view, NewsRects& rects, FontState& font, Canvas& canvas, const float face[4],
                   const float effectsPanel[4]);

// What a point hits among the areas of the last draw: the close box before the links.
NewsPanelHit hitTestNewsPanel(const NewsRects& rects, float x, float y);

// Whether (x, y) lies in a rectangle {x, y, w, h}: right and bottom edges are outside.
bool newsRectContains(const float rect[4], float x, float y);

// Takes a press on the news panel: the close box dismisses the notice, a link opens its
// address (or, when that fails, shows the address in the status line) and the rest of
// the panel swallows the press. False when the press lies outside the panel.
bool pressNewsPanel(NewsView& view, const NewsRects& rects, Host& host, float x, float y);

}  // namespace corva
