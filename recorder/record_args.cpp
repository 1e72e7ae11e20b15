#include "recorder/record_args.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <vector>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A decimal integer with optional blanks and sign around it, nothing else.
std::optional<int> WholeNumber(std::string_view s) {
  s = TrimBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

// "l,t,r,b" as a rectangle; nothing unless it is exactly four numbers.
std::optional<CRect> AreaOf(std::string_view s) {
  std::vector<int> numbers;
  for (;;) {
    const std::size_t comma = s.find(',');
    const std::optional<int> n = WholeNumber(s.substr(0, comma));
    if (!n) return std::nullopt;
    numbers.push_back(*n);
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  if (numbers.size() != 4) return std::nullopt;
  return CRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

}  // namespace

CRecordArgument ParseRecordArgument(std::string_view argument) {
  while (!argument.empty() && IsBlank(argument.front())) argument.remove_prefix(1);
  if (!argument.empty() && argument.front() == '"') {
    argument.remove_prefix(1);
    argument = argument.substr(0, argument.find('"'));
  }
  CRecordArgument result;
  const std::size_t bar = argument.rfind('|');
  if (bar != std::string_view::npos) {
    if (const std::optional<CRect> area = AreaOf(argument.substr(bar + 1))) {
      result.area = *area;
      argument = argument.substr(0, bar);
    }
  }
  result.path = std::string(argument);
  return result;
}

int RecordFileTypeOf(std::string& path) {
  std::string tail = path.size() >= 3 ? path.substr(path.size() - 3) : std::string();
  for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (tail == "MP4") return kRecordMp4;
  if (tail == "FLV") return kRecordFlv;
  if (tail == "AVI") return kRecordAvi;
  path += ".mp4";
  return kRecordMp4;
}
