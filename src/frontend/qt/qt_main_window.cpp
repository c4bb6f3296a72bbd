#include "frontend/qt/qt_main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>

#include "core/local_text.h"
#include "frontend/qt/qt_errors_box.h"
#include "frontend/qt/qt_surface.h"
#include "frontend/qt/qt_text.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"

namespace {

constexpr const char* kControlIdProperty = "tazoControlId";
constexpr const char* kCaption = "VELTRA - komunikacja RS232";

struct AccessibleName {
  int control;
  const char* polish;
  const char* english;
};
const AccessibleName kAccessibleNames[] = {
    {StartStopButton, "Rozpocznij/zatrzymaj transmisję", "Start/stop transmission"},
    {AnimationImage, "Animacja transmisji", "Transfer animation"},
    {ProgressBar, "Postęp wysyłania", "Send progress"},
    {CountField, "Liczba bajtów", "Byte count"},
    {DelayField, "Czas do wysłania", "Time to send"},
    {ErrorsBox, "Błędy", "Errors"},
};

// A lamp: shows a state the program sets; clicks and keys do not toggle it.
class LampCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {}
};

}  // namespace

int ControlIdOf(const QWidget* widget) {
  for (; widget; widget = widget->parentWidget()) {
    const QVariant id = widget->property(kControlIdProperty);
    if (id.isValid()) return id.toInt();
    // The edit field of a combo box and the like belong to the control around them.
    if (widget->isWindow()) break;
  }
  return 0;
}

QtMainWindow::QtMainWindow(QtSurface* surface) : units_(DialogFont()) {
  RequireWindowThread();
  setFont(DialogFont());
  setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(TemplateSize());

  // Group boxes first, so that the controls they frame lie above them.
  for (int i = 0; i < kMainWindowControlCount; ++i) {
    const ControlInfo& info = kMainWindowControls[i];
    if (info.kind == ControlKind::kGroupBox) controls_[info.id] = CreateControl(info.id);
  }
  for (int i = 0; i < kMainWindowControlCount; ++i) {
    const ControlInfo& info = kMainWindowControls[i];
    if (info.kind != ControlKind::kGroupBox) controls_[info.id] = CreateControl(info.id);
  }
  for (int i = 0; i < kMainWindowControlCount; ++i) {
    const ControlInfo& info = kMainWindowControls[i];
    surface->AddControl(info.id, info.kind, controls_[info.id]);
  }
  NameControls();

  if (QScreen* screen = QApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
  }
}

QWidget* QtMainWindow::CreateControl(int id) {
  const ControlInfo* info = FindMainWindowControl(id);
  const QString text = FromLocal(info->templateText);
  QWidget* widget = nullptr;
  switch (info->kind) {
    case ControlKind::kPushButton:
    case ControlKind::kBitmapButton: {
      // A bitmap button's text is only its accessible name, set by NameControls.
      auto* button =
          new QPushButton(info->kind == ControlKind::kBitmapButton ? QString() : text, this);
      QObject::connect(button, &QPushButton::clicked, button,
                       [id] { HandleMainWindowCommand(id); });
      widget = button;
      break;
    }
    case ControlKind::kPushLikeCheckBox: {
      auto* button = new QPushButton(text, this);
      button->setCheckable(true);
      // The toolkit toggles the check first, then the handler sees the press.
      QObject::connect(button, &QPushButton::clicked, button,
                       [id] { HandleMainWindowCommand(id); });
      widget = button;
      break;
    }
    case ControlKind::kCheckBox:
      widget = new LampCheckBox(text, this);
      break;
    case ControlKind::kEdit:
    case ControlKind::kNumberEdit:
    case ControlKind::kReadOnlyEdit: {
      auto* line = new QLineEdit(text, this);
      if (info->kind == ControlKind::kNumberEdit) {
        line->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), line));
      }
      line->setReadOnly(info->kind == ControlKind::kReadOnlyEdit);
      widget = line;
      break;
    }
    case ControlKind::kMultiLineEdit: {
      widget = new QtErrorsBox(this);
      break;
    }
    case ControlKind::kStatic: {
      auto* label = new QLabel(text, this);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
    case ControlKind::kStaticBitmap: {
      auto* label = new QLabel(this);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      widget = label;
      break;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(this);
      bar->setTextVisible(false);
      bar->setRange(0, 100);
      bar->setValue(0);
      widget = bar;
      break;
    }
    case ControlKind::kGroupBox:
      widget = new QGroupBox(text, this);
      break;
  }
  widget->setProperty(kControlIdProperty, id);
  widget->setObjectName(QString::fromLatin1(info->name));
  widget->setGeometry(ControlRect(id));
  widget->setEnabled(!info->createdDisabled);
  return widget;
}

void QtMainWindow::NameControls() {
  for (const AccessibleName& name : kAccessibleNames) {
    if (QWidget* widget = Control(name.control)) {
      widget->setAccessibleName(FromLocal(LocalText(name.polish, name.english)));
    }
  }
}

QWidget* QtMainWindow::Control(int id) const {
  auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

QRect QtMainWindow::ControlRect(int id) const {
  const DialogRect* rect = FindMainWindowRect(id);
  return rect ? units_.Rect(*rect) : QRect();
}

QSize QtMainWindow::TemplateSize() const {
  return QSize(units_.X(kMainWindowWidthUnits), units_.Y(kMainWindowHeightUnits));
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
  // Only a Yes to the question destroys the window, through the front end's hooks.
  event->ignore();
  HandleMainWindowClose();
}

void QtMainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    // Help on the focused control; one without help shows nothing.
    HandleMainWindowHelp(ControlIdOf(focusWidget()));
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}
