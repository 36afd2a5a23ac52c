#include "relocation/session/window_status.h"

#include <exception>
#include <optional>

#include "core/utf.h"
#include "relocation/census/picture_search.h"
#include "relocation/run/adjustment_run.h"

namespace picrelink {

StatusInput TakeStatus(const StatusRequest& request,
                       const std::function<void(uint64_t read, uint64_t total)>& progress,
                       const std::atomic<bool>* cancel, bool searchPictures) {
  StatusInput input;
  input.csv = request.csv;
  input.newFolder = request.newFolder;
  if (!request.candidates.empty() && request.candidates.front() == request.csv) {
    input.candidates = request.candidates;
  }
  if (request.csv.empty()) return input;
  try {
    std::optional<std::u16string> newFolder;
    if (!request.newFolder.empty()) newFolder = request.newFolder;
    CheckResult check = CheckCsv(request.csv, request.levelText, newFolder, progress, cancel);
    if (!check.census.hasText) {
      input.encoding = SniffCsvEncoding(request.csv);
      // Text that arrived after the census looked is read at the next look.
      if (*input.encoding != CsvEncoding::Utf16Le) return input;
    }
    input.check = std::move(check);
  } catch (const Cancelled&) {
    throw;
  } catch (const std::exception& error) {
    input.error = FromUtf8(error.what());
    return input;
  }
  if (searchPictures && input.check && input.check->pictures) {
    try {
      input.search = SearchPictures(request.csv, *input.check, CsvFolder(request.csv), {}, cancel);
    } catch (const Cancelled&) {
      throw;
    } catch (const std::exception&) {
      // The CSV changed under the search: the census stands, without an offer.
    }
  }
  return input;
}

}  // namespace picrelink
