#pragma once
// The interface's own copy of the shown news notice: fixed-size texts copied on the
// interface thread, never pointers into the plug-in's containers.

#include <cstdint>

namespace corva {

struct NewsViewSegment {
  std::uint8_t isLink = 0;
  char text[96] = {};  // at most 95 bytes
  char url[160] = {};  // at most 159 bytes; empty for plain text
};

struct NewsView {
  NewsViewSegment segments[8];
  std::int32_t segmentCount = 0;  // 0..8
  std::uint8_t alert = 0;
  char id[56] = {};            // the notice the close box dismisses
  std::int32_t page = 0;       // the shown notice is always the first
  std::int32_t pageCount = 0;  // notices waiting; 0 means no panel
  std::uint8_t hasStatus = 0;  // show `status` in place of the notice text
  char status[160] = {};
};

// Hit areas the news panel records while it draws, {x, y, w, h} in canvas units:
// [0]..[7] the links by segment index, [8] the close box, [9] the whole panel.
inline constexpr int kNewsCloseRect = 8;
inline constexpr int kNewsPanelRect = 9;
using NewsRects = float[10][4];

struct NewsPanelHit {
  std::uint32_t kind = 0;   // 0 nothing, 1 link, 2 close box
  std::int32_t index = -1;  // the link's segment index, else -1
};

}  // namespace corva
