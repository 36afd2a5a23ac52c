#include "relocation/run/restore.h"

#include <algorithm>
#include <vector>

#include "core/error.h"
#include "core/platform.h"
#include "core/utf.h"
#include "relocation/run/backup.h"

namespace picrelink {
namespace {

// As many as a run may number (ChooseBackup).
constexpr int kMostBackups = 999;

int NewestNumber(std::u16string_view csvPath) {
  for (int number = kMostBackups; number >= 1; --number) {
    if (platform::NameTaken(BackupName(csvPath, number))) return number;
  }
  return 0;
}

bool SameBytes(platform::InputFile& a, platform::InputFile& b) {
  if (a.Size() != b.Size()) return false;
  a.Rewind();
  b.Rewind();
  std::vector<char> x(1 << 16), y(1 << 16);
  for (;;) {
    const size_t got = a.Read(x.data(), x.size());
    if (b.Read(y.data(), got) != got) return false;
    if (got == 0) return true;
    if (!std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(got), y.begin())) {
      return false;
    }
  }
}

}  // namespace

std::u16string NewestBackup(std::u16string_view csvPath) {
  const int number = NewestNumber(csvPath);
  return number == 0 ? std::u16string() : BackupName(csvPath, number);
}

RestoreReport RestoreBackup(std::u16string_view csvPath) {
  RestoreReport report;
  const int newest = NewestNumber(csvPath);
  if (newest == 0) return report;
  const std::u16string backupPath = BackupName(csvPath, newest);
  report.backup = platform::AbsolutePath(backupPath);

  platform::InputFile csv(csvPath);
  platform::InputFile backup(backupPath);
  if (SameBytes(csv, backup)) {
    report.outcome = RestoreOutcome::AlreadySame;
    return report;
  }
  if (newest == kMostBackups) {
    throw Error("No free name to keep \"" + ToUtf8(platform::AbsolutePath(csvPath)) +
                "\" before the restore, so the CSV file was left unchanged");
  }
  const std::u16string keptPath = BackupName(csvPath, newest + 1);

  platform::ReplacementFile writer(csvPath, &csv);
  backup.Rewind();
  std::vector<char> buffer(1 << 16);
  for (size_t got; (got = backup.Read(buffer.data(), buffer.size())) != 0;) {
    writer.Write(buffer.data(), got);
  }
  backup.Close();
  // The CSV as it is now is the only copy of its bytes until this is done.
  try {
    platform::CopyFileOver(csv, keptPath);
  } catch (const Error& e) {
    throw BackupFailure(keptPath, e);
  }
  writer.Commit();
  report.outcome = RestoreOutcome::Restored;
  report.kept = platform::AbsolutePath(keptPath);
  return report;
}

}  // namespace picrelink
