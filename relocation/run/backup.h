#pragma once
// The backup of a CSV: <name>_备份.csv beside it, or, when a file of that
// name holds other bytes, the next free numbered name <name>_备份(2).csv,
// (3), ... A backup that differs from the CSV may be the only copy of an
// original, so it is never overwritten.
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/platform.h"

namespace picrelink {

// The backup name with the given number: 1 is <name>_备份.csv, n > 1 is
// <name>_备份(n).csv; <name> is the CSV path up to its last ".".
std::u16string BackupName(std::u16string_view csvPath, int number);

struct BackupTarget {
  std::u16string path;
  // False when the file at path already holds exactly the CSV's bytes.
  bool needsCopy = true;
};

// The first numbered name that is free or already holds the CSV's bytes.
// csv: the CSV, held open by the caller; it is read from its first byte.
BackupTarget ChooseBackup(std::u16string_view csvPath, platform::InputFile& csv);

// The error of a backup that could not be written at backupPath.
Error BackupFailure(std::u16string_view backupPath, const Error& cause);

// Makes the backup there (when it needs a copy); the path it went to.
// Throws Error saying that the CSV was left unchanged.
std::u16string MakeBackup(std::u16string_view csvPath, platform::InputFile& csv);

}  // namespace picrelink
