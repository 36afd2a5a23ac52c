#include "relocation/run/backup.h"

#include <vector>

#include "core/error.h"
#include "core/path_helpers.h"
#include "core/utf.h"
#include "relocation/run/adjustment_run.h"

namespace picrelink {
namespace {

// Far more than any seller keeps; past it something is wrong with the folder.
constexpr int kMostBackups = 999;

bool SameBytes(platform::InputFile& csv, std::u16string_view other) {
  // A link may lead to the CSV itself (or come to, once the CSV is
  // replaced): it is never taken for a backup.
  if (platform::IsSymbolicLink(other)) return false;
  try {
    platform::InputFile backup(other);
    if (backup.Size() != csv.Size()) return false;
    csv.Rewind();
    std::vector<char> a(1 << 16), b(1 << 16);
    for (;;) {
      const size_t got = csv.Read(a.data(), a.size());
      if (backup.Read(b.data(), got) != got) return false;
      if (got == 0) return true;
      if (!std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(got), b.begin())) {
        return false;
      }
    }
  } catch (const Error&) {
    return false;  // what cannot be read cannot be shown to be the same
  }
}

}  // namespace

std::u16string BackupName(std::u16string_view csvPath, int number) {
  std::u16string name = StripExtension(csvPath) + u"_备份";
  if (number > 1) {
    name += u'(';
    name += FromUtf8(std::to_string(number));
    name += u')';
  }
  name += u".csv";
  return name;
}

BackupTarget ChooseBackup(std::u16string_view csvPath, platform::InputFile& csv) {
  for (int number = 1; number <= kMostBackups; ++number) {
    std::u16string path = BackupName(csvPath, number);
    if (!platform::NameTaken(path)) return {std::move(path), true};
    if (SameBytes(csv, path)) return {std::move(path), false};
  }
  throw Error("No free name for the backup beside \"" + ToUtf8(platform::AbsolutePath(csvPath)) +
              "\", so the CSV file was left unchanged");
}

Error BackupFailure(std::u16string_view backupPath, const Error& cause) {
  // The backup is the seller's safety net: without it the CSV is not touched.
  return Error("The backup \"" + ToUtf8(platform::AbsolutePath(backupPath)) +
               "\" could not be written, so the CSV file was left unchanged. " + cause.what());
}

std::u16string MakeBackup(std::u16string_view csvPath, platform::InputFile& csv) {
  const BackupTarget target = ChooseBackup(csvPath, csv);
  if (!target.needsCopy) return target.path;
  try {
    platform::CopyFileOver(csv, target.path);
  } catch (const Error& e) {
    throw BackupFailure(target.path, e);
  }
  return target.path;
}

}  // namespace picrelink
