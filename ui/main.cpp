// The program's entry: one window on one thread until the window is closed.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"
#include "ui/unit1.h"

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// Without a display Qt would abort with a message about platform plugins;
// saying how to start the program helps more.
bool HasDisplay(int argc, char* argv[]) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) return true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
      return true;
    }
  }
  return false;
#else
  (void)argc;
  (void)argv;
  return true;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!HasDisplay(argc, argv)) {
    const std::string self = argc > 0 ? argv[0] : "picrelink";
    std::fprintf(stderr,
                 "%s: no display to open the window on.\n"
                 "Start it on a desktop, or under a virtual display:\n"
                 "  xvfb-run -a %s\n",
                 self.c_str(), self.c_str());
    return 1;
  }

  QApplication app(argc, argv);
  // Qt's own texts follow the system's locale; the window's own added texts
  // and those of the relocation commands follow the seller's language.
  const QLocale locale = QLocale::system();
  const picrelink::Language language = picrelink::ui::LanguageOf(locale);
  picrelink::ui::InstallQtTranslations(locale);
  picrelink::ui::InstallWindowTranslations(language);

  picrelink::ui::QtDialogs dialogs(QCoreApplication::applicationFilePath());
  picrelink::ui::TForm1 form(
      dialogs, [] { return picrelink::platform::ProgramFolder(); },
      picrelink::ui::WindowSettingsFor(language));
  form.show();
  return QApplication::exec();
}
