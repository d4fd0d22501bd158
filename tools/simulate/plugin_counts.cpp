#include "tools/simulate/plugin_counts.h"

std::string CountKey(std::string key) {
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

std::map<std::string, int64_t> CountsOfDump(const std::vector<devserver::RconReply>& replies) {
  std::map<std::string, int64_t> counts;
  for (const auto& reply : replies) {
    std::size_t start = 0;
    while (start < reply.text.size()) {
      std::size_t end = reply.text.find('\n', start);
      if (end == std::string::npos) end = reply.text.size();
      const std::string line = reply.text.substr(start, end - start);
      const std::size_t num = line.rfind(". Num: ");
      if (num != std::string::npos) {
        counts[CountKey(line.substr(0, num))] += std::stoll(line.substr(num + 7));
      }
      start = end + 1;
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
