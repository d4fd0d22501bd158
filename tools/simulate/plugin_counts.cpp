#include "tools/simulate/plugin_counts.h"

#include "tools/common/ascii_case.h"
#include "tools/common/dump_lines.h"

std::string CountKey(std::string key) { return FoldAsciiCase(key); }

std::map<std::string, int64_t> CountsOfDump(const std::vector<devserver::RconReply>& replies) {
  std::map<std::string, int64_t> counts;
  for (const auto& reply : replies) {
    for (const NumberedDumpLine& line : ReadDumpLines(reply.text)) {
      if (line.read.form == DumpLineForm::kEntry) {
        counts[FoldAsciiCase(line.read.key)] += line.read.count;
      }
    }
  }
  return counts;
}

std::map<std::string, int64_t> CountsOfWorld(const std::vector<devserver::ClassLedger>& ledgers) {
  std::map<std::string, int64_t> counts;
  for (const auto& ledger : ledgers) counts[CountKey(ledger.key)] += ledger.counted;
  return counts;
}

std::optional<int64_t> CountOf(const std::optional<std::map<std::string, int64_t>>& counts,
                               const std::string& key) {
  if (!counts) return std::nullopt;
  const auto found = counts->find(CountKey(key));
  return found == counts->end() ? 0 : found->second;
}
