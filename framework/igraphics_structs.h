#pragma once
// The small value types of the editor's graphics: rectangles, colours, mouse
// modifiers, pointer events and key presses.

#include <cstdint>
#include <functional>

namespace iplug::igraphics {

// A rectangle in editor units: left, top, right, bottom.
struct IRECT {
  float L = 0.f, T = 0.f, R = 0.f, B = 0.f;

  IRECT() = default;
  IRECT(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  float W() const { return R - L; }
  float H() const { return B - T; }
  bool Empty() const { return !(R > L && B > T); }
  bool Contains(float x, float y) const { return x >= L && x < R && y >= T && y < B; }
};

// A colour with 8-bit channels, alpha first.
struct IColor {
  int A = 255, R = 0, G = 0, B = 0;

  IColor() = default;
  IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}
};

// How a fill is blended; a null blend is ordinary source-over drawing.
struct IBlend {
  float mWeight = 1.f;
};

// The buttons and modifier keys of a pointer event. For a mouse-up the button flags
// name the buttons that are still down after the release. A touch has a touch id that
// is never 0.
struct IMouseMod {
  bool L = false, R = false, S = false, C = false, A = false;
  std::uintptr_t touchID = 0;
  float touchRadius = 0.f;

  IMouseMod() = default;
  IMouseMod(bool l, bool r, bool s = false, bool c = false, bool a = false, std::uintptr_t touch = 0)
      : L(l), R(r), S(s), C(c), A(a), touchID(touch) {}

  bool IsTouch() const { return touchID > 0; }
};

// One pointer of a pointer event: its position, its movement and its modifiers.
struct IMouseInfo {
  float x = 0.f, y = 0.f;
  float dX = 0.f, dY = 0.f;
  IMouseMod ms;
};

// A key press: a virtual-key code, the key's text as up to four UTF-8 bytes with a
// terminating zero, and the modifier keys.
struct IKeyPress {
  int VK = 0;
  char utf8[5] = {};
  bool S = false, C = false, A = false;

  IKeyPress() = default;
  IKeyPress(const char* text, int vk, bool s = false, bool c = false, bool a = false);
};

// Writes code point cp as UTF-8 into out: up to four bytes and a terminating zero. A code
// point past U+10FFFF gives empty text.
void EncodeUtf8(std::uint32_t cp, char out[5]);

// Virtual-key codes of the keys the editor's key handlers look at.
inline constexpr int kVK_NONE = 0;
inline constexpr int kVK_BACK = 0x08;
inline constexpr int kVK_TAB = 0x09;
inline constexpr int kVK_RETURN = 0x0D;
inline constexpr int kVK_ESCAPE = 0x1B;
inline constexpr int kVK_SPACE = 0x20;
inline constexpr int kVK_DELETE = 0x2E;

// Returns true when the key was consumed.
using IKeyHandlerFunc = std::function<bool(const IKeyPress& key, bool isUp)>;

class IControl;
using IActionFunction = std::function<void(IControl*)>;

inline constexpr int kNoTag = -1;
inline constexpr int kNoParameter = -1;
inline constexpr int kNoValIdx = -1;

}  // namespace iplug::igraphics
