// Feeds arbitrary bytes to the settings file reader: it must never crash; the settings
// it reads, written and read again, must be the same settings, and the file it writes
// must be written again byte for byte.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/host_settings.h"
#include "platform/profile_file.h"

namespace {

bool same(const corva::app::HostSettings& a, const corva::app::HostSettings& b) {
  return corva::app::SameSettings(a, b) && a.spaceTrigger == b.spaceTrigger;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using corva::app::HostSettings;
  platform::ProfileFile file;
  file.LoadText(std::string(reinterpret_cast<const char*>(data), size));
  HostSettings read;
  corva::app::ReadSettings(file, read);
  // Written over what the file held, as the program saves it, so that other keys and
  // sections go through the writer too.
  corva::app::WriteSettings(file, read);
  const std::string written = file.Text();

  platform::ProfileFile again;
  again.LoadText(written);
  HostSettings reread;
  corva::app::ReadSettings(again, reread);
  if (!same(read, reread)) std::abort();
  corva::app::WriteSettings(again, reread);
  if (again.Text() != written) std::abort();
  return 0;
}
