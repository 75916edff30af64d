#include "common/counterline.hpp"

#include <algorithm>
#include <string_view>

#include "common/sysfile.hpp"

namespace {

SysSnapshot snmpFile("/proc/net/snmp");

// The next line of `rest` without its line end, cut at the line reader's limit.
bool nextLine(std::string_view* rest, std::string_view* line) {
  if (rest->empty()) return false;
  const std::size_t end = rest->find('\n');
  const std::size_t length = end == std::string_view::npos ? rest->size() : end;
  *line = rest->substr(0, std::min(length, SysLines::kLineMax));
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return true;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// Splits off the next blank-separated word; false when none is left.
bool nextWord(std::string_view* rest, std::string_view* word) {
  std::size_t i = 0;
  while (i < rest->size() && isBlank((*rest)[i])) ++i;
  std::size_t j = i;
  while (j < rest->size() && !isBlank((*rest)[j])) ++j;
  if (i == j) return false;
  *word = rest->substr(i, j - i);
  rest->remove_prefix(j);
  return true;
}

bool parseNumber(std::string_view word, std::int64_t* out) {
  const bool negative = !word.empty() && word[0] == '-';
  if (negative) word.remove_prefix(1);
  if (word.empty()) return false;
  std::uint64_t n = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  *out = static_cast<std::int64_t>(negative ? 0 - n : n);
  return true;
}

// Position (1-based) of `field` among the header's names, 0 when absent.
int headerPosition(std::string_view names, std::string_view field) {
  std::string_view word;
  for (int position = 1; nextWord(&names, &word); ++position) {
    if (word == field) return position;
  }
  return 0;
}

// The number at `position` (1-based) of a values line, when it has one.
bool numberAt(std::string_view values, int position, std::int64_t* out) {
  std::string_view word;
  for (int i = 1; nextWord(&values, &word); ++i) {
    if (i == position) return parseNumber(word, out);
  }
  return false;
}

}  // namespace

int readNumbers(std::string_view text, std::int64_t* out, int count) {
  std::string_view word;
  int n = 0;
  while (n < count && nextWord(&text, &word) && parseNumber(word, &out[n])) ++n;
  return n;
}

CounterRead readCounterLine(const char* prefix, const char* field, int position,
                            std::int64_t* value) {
  std::string_view text;
  if (!snmpFile.read(&text)) return CounterRead::kNoFile;
  const std::string_view head(prefix);
  int named = 0;  // the field's place in the last header line, 0 for none
  for (std::string_view line; nextLine(&text, &line);) {
    if (line.substr(0, head.size()) != head) continue;
    std::string_view rest = line.substr(head.size());
    std::string_view first = rest, word;
    std::int64_t ignored;
    if (!nextWord(&first, &word)) continue;
    if (!parseNumber(word, &ignored)) {
      named = headerPosition(rest, field);
      continue;
    }
    if (numberAt(rest, named != 0 ? named : position, value)) return CounterRead::kValue;
  }
  return CounterRead::kMissing;
}

bool counterFileReadable() {
  std::string_view text;
  return snmpFile.read(&text);
}
