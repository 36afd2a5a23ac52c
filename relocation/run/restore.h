#pragma once
// Undoing a run: the newest backup of the CSV put back in its place through
// the same safe write as the run, the CSV's bytes before it kept first as the
// next numbered backup, so that a restore loses nothing and can itself be
// undone by the next one.
#include <string>
#include <string_view>

namespace picrelink {

// The newest backup of the CSV: <name>_备份(n).csv with the highest n, else
// <name>_备份.csv; empty when there is none.
std::u16string NewestBackup(std::u16string_view csvPath);

enum class RestoreOutcome {
  Restored,
  NoBackup,     // nothing to put back; nothing written
  AlreadySame,  // the CSV holds the newest backup's bytes; nothing written
};

struct RestoreReport {
  RestoreOutcome outcome = RestoreOutcome::NoBackup;
  std::u16string backup;  // the backup put back (or that would have been)
  std::u16string kept;    // where the CSV's bytes before the restore went
};

// Puts the newest backup back over the CSV. The CSV is held while it is
// replaced; its bytes go to the backup name after the newest before the
// replacement becomes visible, and a failure anywhere leaves the CSV as it
// was. Errors (the CSV or the backup cannot be read, the CSV cannot be
// written, the kept copy cannot be made) propagate with their messages.
RestoreReport RestoreBackup(std::u16string_view csvPath);

}  // namespace picrelink
