#pragma once
// A corva::Host that records the calls the interface makes.

#include <string>
#include <utility>
#include <vector>

#include "ui/host.h"

namespace corva::test {

struct FakeHost : Host {
  double now = 0;
  bool urlOpens = true;
  bool learn = true;
  std::vector<std::pair<int, float>> params;
  std::vector<std::string> calls;  // every other call, by name and argument
  void setParameter(int i, float v) override { params.emplace_back(i, v); }
  void redraw() override { calls.push_back("redraw"); }
  double nowSeconds() override { return now; }
  void switchPressed() override { calls.push_back("switchPressed"); }
  void valueEdited(bool s) override { calls.push_back(s ? "edited:switch" : "edited"); }
  bool openUrl(const char* u) override {
    calls.push_back(std::string("open:") + u);
    return urlOpens;
  }
  void dismissNotice(const char* id) override { calls.push_back(std::string("dismiss:") + id); }
  bool midiLearnAvailable() override { return learn; }
  void saveMidiMap(const MidiMap&) override { calls.push_back("save"); }
};

}  // namespace corva::test
