#pragma once

#include <QDialog>

#include <functional>
#include <map>

#include "settings/settings_dialog.h"

// SettingsDialog (template 103) over the portable settings logic: the widgets show the dialog's
// state, what the user does is handed to it, and OK, Apply and Cancel are its commands.
class QtSettingsDialog : public QDialog {
 public:
  QtSettingsDialog();
  ~QtSettingsDialog() override;

  QWidget* Control(int id) const;
  const SettingsDialogState& state() const { return state_; }
  // Run after each Apply or OK that reached the settings, which may have changed the language.
  void SetAppliedHook(std::function<void()> applied) { applied_ = std::move(applied); }

 protected:
  void closeEvent(class QCloseEvent* event) override;
  void keyPressEvent(class QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;

 private:
  QWidget* CreateControl(const struct SettingsTemplateControl& control);
  void Command(int id);
  void ShowHelp(int id);
  void NameFramedControls();

  SettingsDialogState state_;
  SettingsDialogHooks hooks_;
  std::map<int, QWidget*> controls_;
  std::function<void()> applied_;
};
