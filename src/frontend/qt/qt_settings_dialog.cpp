#include "frontend/qt/qt_settings_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWhatsThis>

#include "core/app_state.h"
#include "frontend/qt/qt_layout.h"
#include "frontend/qt/qt_main_window.h"
#include "frontend/qt/qt_surface.h"
#include "frontend/qt/qt_text.h"
#include "ui/context_help.h"

namespace {

constexpr const char* kControlIdProperty = "tazoControlId";

// The platform's default caption of a message box given none.
constexpr const char* kDefaultCaption = "Error";

}  // namespace

QtSettingsDialog::QtSettingsDialog() {
  RequireWindowThread();
  const QFont font = DialogFont();
  const DialogUnits units(font);
  setFont(font);
  setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
  setWindowTitle(QStringLiteral("Options"));
  // The caption's help button: click it, then a control, to have the control explained.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
  setFixedSize(units.X(kSettingsWidthUnits), units.Y(kSettingsHeightUnits));

  hooks_.showRefusal = [this](const char* text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kDefaultCaption), FromLocal(text),
                    QMessageBox::Ok, this);
    box.exec();
  };
  OpenSettingsDialog(&state_);

  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kSettingsControlCount; ++i) {
      const SettingsTemplateControl& control = kSettingsControls[i];
      const bool group = control.kind == SettingsTemplateControl::kGroupBox;
      if (group != (pass == 0)) continue;
      QWidget* widget = CreateControl(control);
      widget->setGeometry(units.Rect(control.rect));
      widget->setProperty(kControlIdProperty, control.rect.id);
      widget->installEventFilter(this);
      controls_[control.rect.id] = widget;
    }
  }

  NameFramedControls();

  if (QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
}

QtSettingsDialog::~QtSettingsDialog() = default;

QWidget* QtSettingsDialog::CreateControl(const SettingsTemplateControl& control) {
  const int id = control.rect.id;
  const char* label = SettingsDialogLabel(state_, id);
  const QString text = FromLocal(label ? label : control.text);
  switch (control.kind) {
    case SettingsTemplateControl::kComboBox:
    case SettingsTemplateControl::kSortedComboBox: {
      auto* box = new QComboBox(this);
      box->setEditable(true);
      box->setInsertPolicy(QComboBox::NoInsert);
      box->setCompleter(nullptr);
      box->setMaxVisibleItems(12);
      ComboBoxState* state = FindSettingsComboBox(&state_, id);
      for (const std::string& entry : state->entries) box->addItem(FromLocal(entry));
      box->setCurrentIndex(state->selected);
      box->setEditText(FromLocal(state->text));
      // The combo box is as high as its edit field; the template's height is its list's.
      box->setFixedHeight(box->sizeHint().height());
      QObject::connect(box, &QComboBox::activated, box,
                       [this, id](int index) { SelectSettingsEntry(&state_, id, index); });
      QObject::connect(box->lineEdit(), &QLineEdit::textEdited, box,
                       [this, id, box](const QString& typed) {
                         std::string local;
                         if (ToLocal(typed, &local)) {
                           TypeSettingsComboText(&state_, id, local);
                         } else {
                           box->setEditText(FromLocal(FindSettingsComboBox(&state_, id)->text));
                         }
                       });
      return box;
    }
    case SettingsTemplateControl::kCheckBox: {
      auto* check = new QCheckBox(text, this);
      check->setChecked(*FindSettingsCheckBox(&state_, id));
      QObject::connect(check, &QCheckBox::toggled, check,
                       [this, id](bool checked) { SetSettingsCheck(&state_, id, checked); });
      return check;
    }
    case SettingsTemplateControl::kEdit: {
      auto* edit = new QLineEdit(FromLocal(*FindSettingsEdit(&state_, id)), this);
      edit->setMaxLength(kCommandNameLimit);
      QObject::connect(edit, &QLineEdit::textEdited, edit, [this, id, edit](const QString& typed) {
        std::string local;
        if (ToLocal(typed, &local)) {
          TypeSettingsCommandName(&state_, id, local);
        } else {
          // A character a command file cannot carry is not taken.
          edit->setText(FromLocal(*FindSettingsEdit(&state_, id)));
        }
      });
      return edit;
    }
    case SettingsTemplateControl::kDefaultButton:
    case SettingsTemplateControl::kButton: {
      auto* button = new QPushButton(text, this);
      button->setAutoDefault(false);
      button->setDefault(control.kind == SettingsTemplateControl::kDefaultButton);
      QObject::connect(button, &QPushButton::clicked, button, [this, id] { Command(id); });
      return button;
    }
    case SettingsTemplateControl::kGroupBox:
      break;
  }
  return new QGroupBox(text, this);
}

void QtSettingsDialog::NameFramedControls() {
  // A box or field without a text of its own is named by the smallest group that frames it.
  for (const auto& [id, widget] : controls_) {
    if (!qobject_cast<QComboBox*>(widget) && !qobject_cast<QLineEdit*>(widget)) continue;
    const QGroupBox* frame = nullptr;
    for (const auto& [groupId, other] : controls_) {
      auto* group = qobject_cast<QGroupBox*>(other);
      if (!group || !group->geometry().contains(widget->geometry())) continue;
      if (!frame || frame->geometry().contains(group->geometry())) frame = group;
    }
    if (frame) widget->setAccessibleName(frame->title());
  }
}

QWidget* QtSettingsDialog::Control(int id) const {
  auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void QtSettingsDialog::Command(int id) {
  const bool applies = id == SettingsApplyButton || id == SettingsOkButton;
  const bool close = SettingsDialogCommand(&state_, id, hooks_);
  if (applies && applied_) applied_();
  if (close) done(id == SettingsCancelButton ? Rejected : Accepted);
}

void QtSettingsDialog::reject() {
  Command(kStandardCancelCommand);
}

void QtSettingsDialog::closeEvent(QCloseEvent* event) {
  if (state_.open) {
    event->ignore();
    Command(kStandardCancelCommand);
    return;
  }
  QDialog::closeEvent(event);
}

void QtSettingsDialog::ShowHelp(int id) {
  const HelpEntry* entry = FindSettingsDialogHelp(id);
  if (!entry) return;
  const char* text = HelpText(entry->textId);
  if (!text) return;
  QMessageBox box(QMessageBox::NoIcon, FromLocal(entry->caption), FromLocal(text), QMessageBox::Ok,
                  this);
  box.exec();
}

void QtSettingsDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && (event->modifiers() & Qt::ShiftModifier)) {
    // The caption's help button, for window managers that draw none.
    QWhatsThis::enterWhatsThisMode();
    event->accept();
    return;
  }
  if (event->key() == Qt::Key_F1) {
    ShowHelp(ControlIdOf(focusWidget()));
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool QtSettingsDialog::eventFilter(QObject* watched, QEvent* event) {
  // In the caption's help mode the toolkit asks the clicked control to explain itself.
  if (event->type() == QEvent::WhatsThis || event->type() == QEvent::QueryWhatsThis) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::WhatsThis) {
      // One click explains one control; the help shows once the click is over.
      QWhatsThis::leaveWhatsThisMode();
      const int id = ControlIdOf(widget);
      QTimer::singleShot(0, this, [this, id] { ShowHelp(id); });
    }
    event->accept();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}
