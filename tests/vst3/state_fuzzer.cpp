// Hands arbitrary bytes to the instrument's setState, as a host restoring a project does,
// and checks what must hold for any of them: a refused state leaves the saved state as it
// was; an accepted one leaves every parameter finite and in its range, the momentary
// buttons and the LED off, and saves and restores again to the same bytes.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/param_table.h"
#include "plugin/corva_plug.h"
#include "public.sdk/source/common/memorystream.h"

namespace {

using namespace Steinberg;

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// One initialised instance for the whole run; its idle timer is stopped so that every
// input sees the instrument as only the fuzzer left it.
CorvaPlug& plug() {
  static CorvaPlug* p = [] {
    // No MIDI map of the user's is read.
    setenv("XDG_DATA_HOME", "/nonexistent/corva-state-fuzz", 1);
    auto* made = new CorvaPlug(iplug::InstanceInfo{});
    check(made->initialize(nullptr) == kResultOk);
    made->DestroyTimer();
    return made;
  }();
  return *p;
}

std::vector<char> saved(CorvaPlug& p) {
  MemoryStream stream;
  check(p.getState(&stream) == kResultOk);
  const char* data = stream.getData();
  return std::vector<char>(data, data + stream.getSize());
}

tresult restore(CorvaPlug& p, const void* data, std::size_t size) {
  MemoryStream stream;
  int32 written = 0;
  stream.write(const_cast<void*>(data), static_cast<int32>(size), &written);
  int64 pos = 0;
  stream.seek(0, IBStream::kIBSeekSet, &pos);
  return p.setState(&stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CorvaPlug& p = plug();
  const std::vector<char> before = saved(p);
  if (restore(p, data, size) != kResultOk) {
    check(saved(p) == before);
    return 0;
  }
  for (int i = 0; i < corva::kNumParams; ++i) {
    const iplug::IParam* param = p.GetParam(i);
    const double v = param->Value();
    check(std::isfinite(v) && v >= param->GetMin() && v <= param->GetMax());
    // The host's view of the parameter follows the restored value.
    check(p.getParameterObject(static_cast<Vst::ParamID>(i))->getNormalized() == param->GetNormalized());
  }
  for (int i : {corva::kToneBtn, corva::kCorvaBtn, corva::kTrigger, corva::kLedLevel})
    check(p.GetParam(i)->Value() == 0.0);
  const std::vector<char> after = saved(p);
  check(restore(p, after.data(), after.size()) == kResultOk);
  check(saved(p) == after);
  return 0;
}
