#pragma once
// A modal dialog laid out at fixed positions (in dialog units: one unit is 1.75 pixels
// across and 1.75 down), with group boxes, labels, drop-down lists, check boxes and
// buttons. A user's choice in a list, a click or a toggle reports the control's id.
// Labels side by side in a row never run into each other: when the desktop's font is too
// wide for the room a row gives, every label is drawn in the same smaller size.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog_controls.h"

namespace platform {

class MainWindow;

class FormDialog final : public DialogControls {
 public:
  FormDialog(MainWindow* owner, const std::string& title, int widthUnits, int heightUnits);
  ~FormDialog() override;

  void AddGroup(const std::string& text, int x, int y, int w, int h);
  void AddLabel(const std::string& text, int x, int y);
  void AddCombo(int id, int x, int y, int w);
  void AddCheck(int id, const std::string& text, int x, int y);
  void AddButton(int id, const std::string& text, int x, int y, int w, bool isDefault = false);

  std::function<void(int id)> onCommand;
  // Runs until End(); closing the dialog's window ends it with `closeResult`.
  int RunModal(int closeResult);

  void ComboClear(int id) override;
  void ComboAdd(int id, const std::string& text, long data) override;
  int ComboCount(int id) const override;
  void ComboSelect(int id, int index) override;
  int ComboSelection(int id) const override;
  std::string ComboText(int id, int index) const override;
  long ComboData(int id, int index) const override;
  void SetEnabled(int id, bool enabled) override;
  void SetChecked(int id, bool checked) override;
  bool Checked(int id) const override;
  void End(int result) override;

 private:
  struct Combo {
    void* widget = nullptr;
    std::vector<std::pair<std::string, long>> items;
  };
  struct Label {
    void* widget = nullptr;
    int x = 0, y = 0;  // pixels
  };
  void FitLabels();
  void* mDialog = nullptr;
  void* mFixed = nullptr;
  MainWindow* mOwner = nullptr;
  std::map<int, Combo> mCombos;
  std::map<int, void*> mWidgets;
  std::vector<Label> mLabels;
  bool mLabelsFitted = false;
  int mQuiet = 0;  // selections made by code report nothing
  int mResult = 0;
  bool mEnded = false;
  void* mLoop = nullptr;
};

}  // namespace platform
