#pragma once
// The controls of a dialog, by id: drop-down lists, check boxes and buttons. Dialog logic
// is written against this interface, so that it runs the same on a real dialog and in a
// test. Changing a selection from code does not report a command; a user's choice does.

#include <string>

namespace platform {

class DialogControls {
 public:
  virtual ~DialogControls() = default;
  virtual void ComboClear(int id) = 0;
  virtual void ComboAdd(int id, const std::string& text, long data = 0) = 0;
  virtual int ComboCount(int id) const = 0;
  // -1 selects nothing.
  virtual void ComboSelect(int id, int index) = 0;
  virtual int ComboSelection(int id) const = 0;  // -1 for none
  virtual std::string ComboText(int id, int index) const = 0;
  virtual long ComboData(int id, int index) const = 0;
  virtual void SetEnabled(int id, bool enabled) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  virtual bool Checked(int id) const = 0;
  // Ends a modal dialog with `result`.
  virtual void End(int result) = 0;
};

}  // namespace platform
