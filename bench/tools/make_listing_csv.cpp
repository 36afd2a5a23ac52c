// picrelink-make-csv SIZE_MB OUT [--seed N] [--other-spellings SHARE]: a realistic listing CSV of
// the given size for whole-run measurements, made with bounded memory so that files of several
// gigabytes are as cheap to make as small ones.
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/tools/listing_csv.h"

namespace {

constexpr std::string_view kUsage =
    "usage: picrelink-make-csv SIZE_MB OUT [--seed N] [--other-spellings SHARE]\n"
    "  writes FF FE and a listing text in UTF-16LE: SIZE_MB megabytes (2^20 bytes,\n"
    "  decimals allowed) in all; the same seed (default 1) gives the same file\n"
    "  --other-spellings SHARE  that share (0 to 1, default 0) of the file URLs into the\n"
    "                           old folder spelled otherwise: a percent-encoded name,\n"
    "                           file://localhost/, file:/ in turn\n";

int Usage(std::string_view problem) {
  std::cerr << "picrelink-make-csv: " << problem << '\n' << kUsage;
  return 2;
}

std::optional<uint32_t> ParseSeed(std::string_view text) {
  uint32_t seed = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, seed);
  if (text.empty() || error != std::errc() || rest != end) return std::nullopt;
  return seed;
}

std::optional<double> ParseShare(std::string_view text) {
  double share = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, share);
  if (text.empty() || error != std::errc() || rest != end || !(share >= 0 && share <= 1)) {
    return std::nullopt;
  }
  return share;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::vector<std::string> operands;
  uint32_t seed = 1;
  double otherSpellings = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (args[i] == "--seed") {
      if (i + 1 == args.size()) return Usage("--seed needs a value");
      const std::optional<uint32_t> parsed = ParseSeed(args[++i]);
      if (!parsed) return Usage("the seed must be a whole number from 0 to 4294967295");
      seed = *parsed;
    } else if (args[i] == "--other-spellings") {
      if (i + 1 == args.size()) return Usage("--other-spellings needs a value");
      const std::optional<double> parsed = ParseShare(args[++i]);
      if (!parsed) return Usage("the share of other spellings must be a number from 0 to 1");
      otherSpellings = *parsed;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Usage("unknown option " + args[i]);
    } else {
      operands.push_back(args[i]);
    }
  }
  if (operands.size() != 2) return Usage("SIZE_MB and OUT are needed");
  const std::optional<uint64_t> bytes = picrelink::bench::ParseFileSize(operands[0]);
  if (!bytes) return Usage("SIZE_MB must be a positive number of megabytes");

  std::ofstream out(operands[1], std::ios::binary | std::ios::trunc);
  if (!out) {
    std::cerr << "picrelink-make-csv: cannot create " << operands[1] << '\n';
    return 1;
  }
  const bool written = picrelink::bench::WriteListingCsv(
      out, (*bytes - 2) / 2, seed, picrelink::bench::kPieceLength, otherSpellings);
  out.close();
  if (!written || !out) {
    std::cerr << "picrelink-make-csv: writing " << operands[1] << " failed\n";
    return 1;
  }
  return 0;
}
