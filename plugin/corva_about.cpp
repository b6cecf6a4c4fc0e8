// The standalone program's About box.

#include <cstdint>
#include <string>

#include "framework/igraphics.h"
#include "platform/desktop.h"
#include "plugin/corva_plug.h"
#include "plugin/plug_config.h"

using namespace corva;

bool CorvaPlug::OnHostRequestingAboutBox() {
  // Three lines: name and version, the year it was built with the maker's name, and
  // the maker's web address. __DATE__ is "Mmm dd yyyy".
  const std::string text = std::string(kPlugName) + " " + kVersionText + "\n" + &__DATE__[7] + " " + kMfrName +
                           "\nhttps://" + kMfrHost;
  // Owned by the window the editor sits in while it is open, by no window otherwise. It
  // opens once this call has returned: the caller holds the interface lock, which the
  // idle ticks (MIDI, the LED, the news) need while the box waits for the user.
  unsigned long editor = 0;
  if (iplug::igraphics::IGraphics* ui = GetUI())
    editor = static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(ui->GetWindow()));
  platform::ShowMessageLater(editor, text, std::string("About ") + kPlugName);
  return true;
}
