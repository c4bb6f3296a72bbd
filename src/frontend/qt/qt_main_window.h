#pragma once

#include <QWidget>

#include <map>

#include "frontend/qt/qt_layout.h"

class QtSurface;

// MainWindow: every control of template 106 at its rectangle, of the kind the template gives it,
// each button press handed to the portable handlers. Fixed in size, centred on the screen.
class QtMainWindow : public QWidget {
 public:
  // Builds the controls and registers them with `surface`.
  explicit QtMainWindow(QtSurface* surface);

  QWidget* Control(int id) const;
  // The rectangle `id` has in pixels, and the size the window has, from the dialog units.
  QRect ControlRect(int id) const;
  QSize TemplateSize() const;
  // The names a screen reader gives the controls that show no text of their own, in the current
  // language; run again when the language changes.
  void NameControls();

 protected:
  void closeEvent(class QCloseEvent* event) override;
  void keyPressEvent(class QKeyEvent* event) override;

 private:
  QWidget* CreateControl(int id);
  DialogUnits units_;
  std::map<int, QWidget*> controls_;
};

// The control id a widget of the program's windows stands for, 0 for none.
int ControlIdOf(const QWidget* widget);
