#pragma once
#include <QLocale>

#include "relocation/language.h"

class QTranslator;

namespace picrelink::ui {

// Installs Qt's own translations for locale, so that the standard buttons and
// dialogs read in the user's language (确定 on a Chinese system). Returns the
// installed translator, owned by the application, or nullptr when Qt has none
// for that language.
QTranslator* InstallQtTranslations(const QLocale& locale);

// The seller's language: Chinese when the system's locale speaks it, English
// otherwise. It chooses both the window's own texts and those that come from
// relocation/.
Language LanguageOf(const QLocale& locale);

// Installs the translation of the window's own added texts (the status area,
// the details, the question, the folder browser) into language; the
// thirteen controls' texts are fixed and never translated. Returns the
// installed translator, owned by the application, or nullptr when it cannot
// be loaded.
QTranslator* InstallWindowTranslations(Language language);

}  // namespace picrelink::ui
