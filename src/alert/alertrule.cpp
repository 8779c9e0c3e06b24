#include "alert/alertrule.h"

#include <cctype>
#include <optional>

namespace quorvel {

namespace {

constexpr std::string_view kKinds =
    "write lost>=N, loss>=X%/M, avg>=Tms/M, median>=Tms/M, p95>=Tms/M or pattern:ENTRY,ENTRY,...";

struct Token {
  enum class Type { Word, Number, Sign, End };
  Type type = Type::End;
  std::string_view text;
  std::size_t column = 0;  // 1-based
};

// Splits the text into words, numbers and signs, dropping blanks. A number is
// digits with an optional fraction; a sign is the longest of the operators
// and punctuation the rules use.
bool Lex(std::string_view text, std::vector<Token>& tokens, std::string& error) {
  static constexpr std::string_view kTwo[] = {">=", "<=", "==", "!="};
  static constexpr std::string_view kOne = "<>%/:,*=";
  std::size_t i = 0;
  auto isDigit = [&](std::size_t k) { return k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); };
  auto isAlnum = [&](std::size_t k) { return k < text.size() && std::isalnum(static_cast<unsigned char>(text[k])); };
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t start = i;
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    Token token;
    token.column = start + 1;
    if (std::isalpha(c)) {
      while (isAlnum(i)) ++i;
      token.type = Token::Type::Word;
    } else if (std::isdigit(c)) {
      while (isDigit(i)) ++i;
      if (i < text.size() && text[i] == '.' && isDigit(i + 1)) {
        ++i;
        while (isDigit(i)) ++i;
      }
      token.type = Token::Type::Number;
    } else {
      token.type = Token::Type::Sign;
      i = start + 1;
      for (std::string_view two : kTwo) {
        if (text.substr(start, 2) == two) i = start + 2;
      }
      if (i == start + 1 && kOne.find(static_cast<char>(c)) == std::string_view::npos) {
        error = "unexpected character";
        if (c >= 0x21 && c < 0x7f) error += std::string(" '") + static_cast<char>(c) + "'";
        error += " at column " + std::to_string(start + 1);
        return false;
      }
    }
    token.text = text.substr(start, i - start);
    tokens.push_back(token);
  }
  tokens.push_back({Token::Type::End, {}, text.size() + 1});
  return true;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool Parse(AlertRule& rule) {
    const Token first = Next();
    if (first.type == Token::Type::End) return Fail("the rule is empty: " + std::string(kKinds));
    if (first.type != Token::Type::Word) return Fail(Quote(first) + " at column " + Column(first) + " starts no rule: " + std::string(kKinds));
    const std::string_view word = first.text;
    bool ok = false;
    if (word == "lost") {
      rule.kind = AlertKind::LostInRow;
      ok = ExpectSign(">=", "'lost'") && WholeNumber("N", 1, kMaxLostInRow, rule.count);
    } else if (word == "loss") {
      rule.kind = AlertKind::LossWindow;
      ok = ExpectSign(">=", "'loss'") && Thousandths("X", 1, 100'000, rule.lossThousandths, "%") &&
           ExpectSign("%", "the loss") && ExpectSign("/", "the loss") &&
           WholeNumber("M", 1, kMaxLossWindow, rule.count);
    } else if (word == "avg" || word == "median" || word == "p95") {
      rule.kind = AlertKind::Latency;
      rule.statistic = word == "avg" ? LatencyStatistic::Average
                       : word == "median" ? LatencyStatistic::Median : LatencyStatistic::P95;
      std::int64_t thousandths = 0;
      ok = ExpectSign(">=", "'" + std::string(word) + "'") &&
           Thousandths("T", 1, kMaxThresholdMs * 1000, thousandths, " ms") && ExpectMs() &&
           ExpectSign("/", "the time") && WholeNumber("M", 1, kMaxLatencyWindow, rule.count);
      rule.threshold = std::chrono::nanoseconds(thousandths * 1000);
    } else if (word == "pattern") {
      rule.kind = AlertKind::Pattern;
      ok = ExpectSign(":", "'pattern'") && Pattern(rule.pattern);
    } else {
      return Fail("'" + std::string(word) + "' at column " + Column(first) + " is no rule: " + std::string(kKinds));
    }
    if (!ok) return false;

    bool clearSeen = false;
    for (;;) {
      const Token t = Next();
      if (t.type == Token::Type::End) return true;
      if (t.type == Token::Type::Word && t.text == "clear") {
        if (clearSeen) return Fail("'clear' given twice (column " + Column(t) + ")");
        clearSeen = true;
        if (!ExpectSign("=", "'clear'") || !WholeNumber("clear", 1, kMaxClearAfter, rule.clearAfter)) return false;
        continue;
      }
      return Fail(Quote(t) + " at column " + Column(t) + " is not expected after the rule (the only option is clear=N)");
    }
  }

  const std::string& Error() const { return error_; }

 private:
  const Token& Peek() const { return tokens_[at_]; }
  const Token& Next() {
    const Token& t = tokens_[at_];
    if (at_ + 1 < tokens_.size()) ++at_;
    return t;
  }
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }
  static std::string Column(const Token& t) { return std::to_string(t.column); }
  static std::string Quote(const Token& t) {
    return t.type == Token::Type::End ? "the end" : "'" + std::string(t.text) + "'";
  }
  std::string Found(const Token& t) const {
    return t.type == Token::Type::End ? "found the end" : "found " + Quote(t) + " at column " + Column(t);
  }

  bool ExpectSign(std::string_view sign, const std::string& after) {
    const Token& t = Next();
    if (t.type == Token::Type::Sign && t.text == sign) return true;
    return Fail("expected '" + std::string(sign) + "' after " + after + ", " + Found(t));
  }

  bool ExpectMs() {
    const Token& t = Next();
    if (t.type == Token::Type::Word && t.text == "ms") return true;
    return Fail("expected 'ms' after the time (write it in milliseconds, as 150ms), " + Found(t));
  }

  // A number of at most three decimals, as thousandths, within [low, high]
  // thousandths; `unit` goes into the message.
  bool Thousandths(const std::string& name, std::int64_t low, std::int64_t high, std::int64_t& out,
                   const std::string& unit) {
    const Token& t = Next();
    const auto value = ReadThousandths(t);
    const std::string range = "from " + FormatThousandths(low) + unit + " to " + FormatThousandths(high) + unit;
    if (t.type != Token::Type::Number) return Fail("expected " + name + ", a number " + range + ", " + Found(t));
    const std::size_t dot = t.text.find('.');
    if (dot != std::string_view::npos && t.text.size() - dot - 1 > 3) {
      return Fail(name + " at column " + Column(t) + " takes at most three decimals");
    }
    if (!value || *value < low || *value > high) {
      return Fail(name + " (" + std::string(t.text) + ") at column " + Column(t) + " must be " + range);
    }
    out = *value;
    return true;
  }

  bool WholeNumber(const std::string& name, std::uint32_t low, std::uint32_t high, std::uint32_t& out) {
    const Token& t = Next();
    const std::string range = "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    if (t.type != Token::Type::Number) return Fail("expected " + name + ", " + range + ", " + Found(t));
    const auto value = ReadThousandths(t);
    if (!value || *value % 1000 != 0 || *value / 1000 < low || *value / 1000 > high) {
      return Fail(name + " (" + std::string(t.text) + ") at column " + Column(t) + " must be " + range);
    }
    out = static_cast<std::uint32_t>(*value / 1000);
    return true;
  }

  // Thousandths of a number token; none when it has more than three decimals
  // or is too large to matter (more than 12 whole digits).
  static std::optional<std::int64_t> ReadThousandths(const Token& t) {
    if (t.type != Token::Type::Number) return std::nullopt;
    const std::size_t dot = t.text.find('.');
    const std::string_view whole = t.text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : t.text.substr(dot + 1);
    std::size_t skip = 0;
    while (skip + 1 < whole.size() && whole[skip] == '0') ++skip;
    if (whole.size() - skip > 12 || fraction.size() > 3) return std::nullopt;
    std::int64_t value = 0;
    for (char c : whole.substr(skip)) value = value * 10 + (c - '0');
    for (std::size_t k = 0; k < 3; ++k) value = value * 10 + (k < fraction.size() ? fraction[k] - '0' : 0);
    return value;
  }

  bool Pattern(std::vector<PatternEntry>& entries) {
    std::uint32_t span = 0;
    bool probes = false;
    for (;;) {
      const Token start = Peek();
      PatternEntry entry;
      if (!Entry(entry)) return false;
      const std::string where = " (entry " + std::to_string(entries.size() + 1) + ", column " + Column(start) + ")";
      if (entry.type == PatternEntry::Type::Start && !entries.empty()) {
        return Fail("==S can only be the first entry: it stands for the start of the run" + where);
      }
      if (entry.type == PatternEntry::Type::Skip) {
        if (entries.empty() || entries.back().type == PatternEntry::Type::Start) {
          return Fail("a pattern cannot begin with *X*: the probes before its first entry are never looked at" + where);
        }
        if (entries.back().type == PatternEntry::Type::Skip) {
          return Fail("two *X* in a row: write them as one, *X+Y*" + where);
        }
        span += static_cast<std::uint32_t>(entry.value);
      } else if (entry.type != PatternEntry::Type::Start) {
        ++span;
        probes = true;
      }
      entries.push_back(entry);
      if (entries.size() > kMaxPatternEntries) {
        return Fail("a pattern takes at most " + std::to_string(kMaxPatternEntries) + " entries" + where);
      }
      if (span > kMaxPatternSpan) {
        return Fail("the pattern spans more than " + std::to_string(kMaxPatternSpan) +
                    " probes (its comparisons plus every X of *X*)" + where);
      }
      const Token& t = Peek();
      if (t.type != Token::Type::Sign || t.text != ",") break;
      Next();
    }
    if (!probes) return Fail("the pattern compares no probe: add an entry such as >0% or >100");
    return true;
  }

  bool Entry(PatternEntry& entry) {
    using Type = PatternEntry::Type;
    using Op = PatternEntry::Op;
    const Token& t = Next();
    const std::string entries = "a pattern entry (==0%, >0%, <10, >=100, ==U, !=U, ==*, *X*, or ==S first), ";
    if (t.type != Token::Type::Sign) return Fail("expected " + entries + Found(t));
    if (t.text == "*") {
      entry.type = Type::Skip;
      std::uint32_t skip = 0;
      if (!WholeNumber("X of *X*", 1, kMaxPatternSpan, skip)) return false;
      entry.value = skip;
      return ExpectSign("*", "the X of *X*");
    }
    static constexpr std::pair<std::string_view, Op> kOps[] = {
        {"==", Op::Eq}, {"!=", Op::Ne}, {"<", Op::Lt}, {">", Op::Gt}, {"<=", Op::Le}, {">=", Op::Ge}};
    bool known = false;
    for (const auto& [text, op] : kOps) {
      if (t.text == text) {
        entry.op = op;
        known = true;
      }
    }
    if (!known) return Fail("expected " + entries + Found(t));
    const std::string opText(t.text);
    const Token& v = Peek();
    if (v.type == Token::Type::Sign && v.text == "*") {
      Next();
      entry.type = Type::Any;
      entry.op = Op::Eq;
      return true;
    }
    if (v.type == Token::Type::Word && (v.text == "U" || v.text == "S")) {
      Next();
      if (v.text == "U") {
        if (entry.op != Op::Eq && entry.op != Op::Ne) {
          return Fail("U (no reply) takes == or !=, not " + opText + " (column " + Column(t) + ")");
        }
        entry.type = Type::Unknown;
      } else {
        if (entry.op != Op::Eq) return Fail("S (the start) takes ==, not " + opText + " (column " + Column(t) + ")");
        entry.type = Type::Start;
      }
      return true;
    }
    if (v.type != Token::Type::Number) {
      return Fail("expected a number, *, U or S after " + opText + ", " + Found(v));
    }
    std::int64_t number = 0;
    const Token& unit = tokens_[at_ + 1];
    if (unit.type == Token::Type::Sign && unit.text == "%") {
      if (!Thousandths("the loss", 0, 100'000, number, "%")) return false;
      Next();
      entry.type = Type::Loss;
      entry.value = number;
      return true;
    }
    if (!Thousandths("the time", 0, kMaxThresholdMs * 1000, number, " ms")) return false;
    if (Peek().type == Token::Type::Word && Peek().text == "ms") Next();
    entry.type = Type::Latency;
    entry.value = number * 1000;
    return true;
  }

  std::vector<Token> tokens_;
  std::size_t at_ = 0;
  std::string error_;
};

std::string OpText(PatternEntry::Op op) {
  switch (op) {
    case PatternEntry::Op::Eq: return "==";
    case PatternEntry::Op::Ne: return "!=";
    case PatternEntry::Op::Lt: return "<";
    case PatternEntry::Op::Gt: return ">";
    case PatternEntry::Op::Le: return "<=";
    case PatternEntry::Op::Ge: return ">=";
  }
  return "==";
}

std::string EntryText(const PatternEntry& e) {
  using Type = PatternEntry::Type;
  switch (e.type) {
    case Type::Loss: return OpText(e.op) + FormatThousandths(e.value) + "%";
    case Type::Latency: return OpText(e.op) + FormatThousandths(e.value / 1000);
    case Type::Any: return "==*";
    case Type::Unknown: return OpText(e.op) + "U";
    case Type::Start: return "==S";
    case Type::Skip: return "*" + std::to_string(e.value) + "*";
  }
  return "";
}

}  // namespace

ParsedAlertRule ParseAlertRule(std::string_view text) {
  ParsedAlertRule parsed;
  if (text.size() > kMaxRuleLength) {
    parsed.error = "the rule is longer than " + std::to_string(kMaxRuleLength) + " characters";
    return parsed;
  }
  std::vector<Token> tokens;
  if (!Lex(text, tokens, parsed.error)) return parsed;
  Parser parser(std::move(tokens));
  AlertRule rule;
  if (!parser.Parse(rule)) {
    parsed.error = parser.Error();
    return parsed;
  }
  parsed.status = ParsedAlertRule::Status::Ok;
  parsed.rule = std::move(rule);
  return parsed;
}

std::string FormatThousandths(std::int64_t thousandths) {
  std::string text = std::to_string(thousandths / 1000);
  std::int64_t fraction = thousandths % 1000;
  if (fraction != 0) {
    std::string digits = std::to_string(1000 + fraction).substr(1);
    while (digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text;
}

std::string AlertRuleText(const AlertRule& rule) {
  std::string text;
  switch (rule.kind) {
    case AlertKind::LostInRow:
      text = "lost>=" + std::to_string(rule.count);
      break;
    case AlertKind::LossWindow:
      text = "loss>=" + FormatThousandths(rule.lossThousandths) + "%/" + std::to_string(rule.count);
      break;
    case AlertKind::Latency:
      text = rule.statistic == LatencyStatistic::Average ? "avg"
             : rule.statistic == LatencyStatistic::Median ? "median" : "p95";
      text += ">=" + FormatThousandths(rule.threshold.count() / 1000) + "ms/" + std::to_string(rule.count);
      break;
    case AlertKind::Pattern:
      text = "pattern:";
      for (std::size_t i = 0; i < rule.pattern.size(); ++i) {
        if (i > 0) text += ",";
        text += EntryText(rule.pattern[i]);
      }
      break;
  }
  if (rule.clearAfter != 1) text += " clear=" + std::to_string(rule.clearAfter);
  return text;
}

std::uint32_t AlertRuleSpan(const AlertRule& rule) {
  if (rule.kind != AlertKind::Pattern) return rule.count;
  std::uint32_t span = 0;
  for (const PatternEntry& e : rule.pattern) {
    if (e.type == PatternEntry::Type::Skip) span += static_cast<std::uint32_t>(e.value);
    else if (e.type != PatternEntry::Type::Start) ++span;
  }
  return span;
}

}  // namespace quorvel
