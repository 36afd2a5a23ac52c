#pragma once
#include <QLocale>

class QTranslator;

namespace picrelink::ui {

// Installs Qt's own translations for locale, so that the standard buttons and
// dialogs read in the user's language (确定 on a Chinese system). The
// window's own texts are fixed and not translated. Returns the installed
// translator, owned by the application, or nullptr when Qt has none for
// that language.
QTranslator* InstallQtTranslations(const QLocale& locale);

}  // namespace picrelink::ui
