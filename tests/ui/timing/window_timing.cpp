// Measures the window beside a CSV: how soon it is shown, how soon the status
// follows, and the longest stall of its event loop while the census runs and,
// with --run, while the start command works (answering Yes to a question).
// The run rewrites the CSV.
//   QT_QPA_PLATFORM=offscreen picrelink-window-timing FOLDER [--run]
// FOLDER stands for the program's folder: the CSV lies in it.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>

#include "relocation/form_values.h"
#include "relocation/session/startup.h"
#include "ui/dialogs.h"
#include "ui/qt_translations.h"
#include "ui/status_area.h"
#include "ui/unit1.h"

namespace {

using picrelink::ui::Dialogs;

// A timer every 10 ms; the longest time between two of its ticks beyond
// those 10 ms is the longest the event loop was kept from its work.
class StallMeter {
 public:
  StallMeter() {
    timer_.setInterval(kTickMs);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      largest_ = std::max(largest_, now - last_ - kTickMs * 1000000LL);
      last_ = now;
    });
  }
  void Start() {
    largest_ = 0;
    clock_.start();
    last_ = 0;
    timer_.start();
  }
  double LargestMs() const { return static_cast<double>(largest_) / 1e6; }

 private:
  static constexpr int kTickMs = 10;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  qint64 largest_ = 0;
};

class AnsweringDialogs : public Dialogs {
 public:
  void ShowError(const QString& message) override { Print("error", message); }
  void ShowInformation(const QString& text, const QString&) override {
    Print("message", text.section(u'\n', 0, 0));
  }
  bool AskYesNo(const QString& question, const QString&) override {
    Print("question (answered Yes)", question.section(u'\n', 0, 0));
    return true;
  }
  bool ShowDetails(const QString&, bool) override { return false; }
  std::optional<QString> ChooseCsvFile(const QString&) override { return std::nullopt; }
  std::optional<QString> BrowseForFolder(const QString&) override { return std::nullopt; }

 private:
  static void Print(const char* what, const QString& text) {
    std::printf("  %s: %s\n", what, text.toUtf8().constData());
  }
};

void WaitUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: %s FOLDER [--run]\n", argv[0]);
    return 2;
  }
  const bool run = argc > 2 && std::strcmp(argv[2], "--run") == 0;
  QApplication app(argc, argv);
  std::u16string folder = QString::fromLocal8Bit(argv[1]).toStdU16String();
  if (folder.back() != u'/') folder += u'/';
  const picrelink::Language language = picrelink::ui::LanguageOf(QLocale::system());
  picrelink::ui::InstallWindowTranslations(language);

  // What start-up did on the window's thread before there was a status area.
  QElapsedTimer clock;
  clock.start();
  {
    picrelink::MemoryFormValues values;
    picrelink::StartUp(values, folder);
  }
  const double startUpMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;

  AnsweringDialogs dialogs;
  StallMeter meter;
  clock.start();
  picrelink::ui::TForm1 form(
      dialogs, [&] { return folder; }, picrelink::ui::WindowSettingsFor(language));
  form.show();
  WaitUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); });
  const double shownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  meter.Start();
  // The processor time of the whole program meanwhile: the census, mostly.
  const std::clock_t cpuBefore = std::clock();
  WaitUntil([&] { return !form.StatusPending(); });
  const double statusMs = static_cast<double>(clock.nsecsElapsed()) / 1e6 - shownMs;
  const double statusCpuMs =
      1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  std::printf("start-up alone (detection):      %8.1f ms\n", startUpMs);
  std::printf("window shown after:              %8.1f ms\n", shownMs);
  std::printf("status after the window showed:  %8.1f ms (processor time %.1f ms)\n", statusMs,
              statusCpuMs);
  std::printf("longest stall during the census: %8.1f ms\n", meter.LargestMs());
  std::printf("  status: %s\n", form.statusArea->Text().toUtf8().constData());

  if (run) {
    meter.Start();
    clock.start();
    form.cxButton30->click();
    WaitUntil([&] { return !form.Starting(); });
    std::printf("start command:                   %8.1f ms\n",
                static_cast<double>(clock.nsecsElapsed()) / 1e6);
    std::printf("longest stall during the run:    %8.1f ms\n", meter.LargestMs());
  }
  return 0;
}
