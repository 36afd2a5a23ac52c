#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace picrelink::ui {

QTranslator* InstallQtTranslations(const QLocale& locale) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return nullptr;
  }
  QCoreApplication::installTranslator(translator);
  return translator;
}

Language LanguageOf(const QLocale& locale) { return LanguageOfLocale(locale.name().toStdString()); }

QTranslator* InstallWindowTranslations(Language language) {
  // Embedded by the build (ui/translations/*.ts, compiled by lrelease).
  const QString file = language == Language::Chinese ? QStringLiteral(":/i18n/picrelink_zh_CN.qm")
                                                     : QStringLiteral(":/i18n/picrelink_en.qm");
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(file)) {
    delete translator;
    return nullptr;
  }
  QCoreApplication::installTranslator(translator);
  return translator;
}

}  // namespace picrelink::ui
