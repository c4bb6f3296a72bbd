#include "frontend/qt/qt_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

#include "core/app_state.h"

namespace {

std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

void FollowLanguageInToolkit() {
  const bool polish = app.language == 0;
  std::unique_ptr<QTranslator>& installed = Installed();
  if (polish == static_cast<bool>(installed)) return;
  if (!polish) {
    DropToolkitTranslation();
    return;
  }
  auto translator = std::make_unique<QTranslator>();
  // Without the translations installed the toolkit stays in English, as before.
  if (!translator->load(QStringLiteral("qtbase_pl"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
}

void DropToolkitTranslation() {
  std::unique_ptr<QTranslator>& installed = Installed();
  if (!installed) return;
  QCoreApplication::removeTranslator(installed.get());
  installed.reset();
}
