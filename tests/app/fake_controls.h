#pragma once
// Dialog controls in memory, for driving dialog logic without a window.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialog_controls.h"

namespace corva::test {

class FakeControls : public platform::DialogControls {
 public:
  struct Combo {
    std::vector<std::pair<std::string, long>> items;
    int selected = -1;
  };
  void ComboClear(int id) override { combos[id] = {}; }
  void ComboAdd(int id, const std::string& text, long data) override { combos[id].items.emplace_back(text, data); }
  int ComboCount(int id) const override { return has(id) ? static_cast<int>(combos.at(id).items.size()) : 0; }
  void ComboSelect(int id, int index) override { combos[id].selected = index < ComboCount(id) ? index : -1; }
  int ComboSelection(int id) const override { return has(id) ? combos.at(id).selected : -1; }
  std::string ComboText(int id, int i) const override {
    return i >= 0 && i < ComboCount(id) ? combos.at(id).items[static_cast<std::size_t>(i)].first : "";
  }
  long ComboData(int id, int i) const override {
    return i >= 0 && i < ComboCount(id) ? combos.at(id).items[static_cast<std::size_t>(i)].second : 0;
  }
  void SetEnabled(int id, bool on) override { enabled[id] = on; }
  void SetChecked(int id, bool on) override { checked[id] = on; }
  bool Checked(int id) const override { return checked.count(id) && checked.at(id); }
  void End(int r) override { result = r; }

  // What a user's choice does: the selection changes, then the dialog hears of it.
  template <class Dialog>
  void choose(Dialog& d, int id, int index) {
    combos[id].selected = index;
    d.Command(id);
  }

  std::map<int, Combo> combos;
  std::map<int, bool> enabled;
  std::map<int, bool> checked;
  int result = 0;

 private:
  bool has(int id) const { return combos.count(id) != 0; }
};

}  // namespace corva::test
