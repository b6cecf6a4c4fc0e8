// The standalone program's About box.

#include <cstdint>
#include <string>

#include "framework/igraphics.h"
#include "platform/desktop.h"
#include "platform/main_window.h"
#include "plugin/corva_plug.h"
#include "plugin/plug_config.h"

using namespace corva;

bool CorvaPlug::OnHostRequestingAboutBox() {
  // Three lines: name and version, the year it was built with the maker's name, and
  // the maker's web address. __DATE__ is "Mmm dd yyyy".
  const std::string text = std::string(kPlugName) + " " + kVersionText + "\n" + &__DATE__[7] + " " + kMfrName +
                           "\nhttps://" + kMfrHost;
  // Owned by the window the editor sits in while it is open, by no window otherwise.
  platform::MainWindow* owner = nullptr;
  if (iplug::igraphics::IGraphics* ui = GetUI())
    owner = platform::MainWindow::Holding(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(ui->GetWindow())));
  platform::ShowMessageBox(owner, text, std::string("About ") + kPlugName, platform::MessageButtons::kOk);
  return true;
}
