#pragma once
// A corva::Host for unit tests: records every call in order and answers from fields
// the test sets.

#include <string>
#include <vector>

#include "model/host.h"

namespace corva::test {

struct ParamRequest {
  int index;
  float value;
};

class FakeHost : public Host {
 public:
  // Every call, in order, as text: "set 6 1", "redraw", "switch", "edited 1",
  // "open <url>", "dismiss <id>", "save".
  std::vector<std::string> log;
  std::vector<ParamRequest> params;
  double now = 0.0;
  bool openSucceeds = true;
  bool learnAvailable = true;
  int redraws = 0;
  int saves = 0;
  const MidiMap* lastSavedMap = nullptr;

  void clear() {
    log.clear();
    params.clear();
    redraws = 0;
    saves = 0;
  }

  void setParameter(int index, float value) override {
    params.push_back({index, value});
    log.push_back("set " + std::to_string(index) + " " + trim(value));
  }
  void redraw() override {
    ++redraws;
    log.push_back("redraw");
  }
  double nowSeconds() override { return now; }
  void switchPressed() override { log.push_back("switch"); }
  void valueEdited(bool isSwitch) override { log.push_back(std::string("edited ") + (isSwitch ? "1" : "0")); }
  bool openUrl(const char* url) override {
    log.push_back(std::string("open ") + url);
    return openSucceeds;
  }
  void dismissNotice(const char* id) override { log.push_back(std::string("dismiss ") + id); }
  bool midiLearnAvailable() override { return learnAvailable; }
  void saveMidiMap(const MidiMap& map) override {
    ++saves;
    lastSavedMap = &map;
    log.push_back("save");
  }

  // A value without trailing zeros: 1 -> "1", 0.5 -> "0.5".
  static std::string trim(float v) {
    std::string s = std::to_string(v);
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
  }
};

}  // namespace corva::test
