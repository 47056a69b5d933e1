#pragma once
// A strict reader of the JSON objects tolvane-batch prints, one a line: it refuses what a
// conforming parser would (raw control characters, bad escapes, invalid UTF-8, trailing text),
// so that a test passing here means a script's parser takes the line too.
#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

namespace tolvane::testing {

// null, a number, a string (UTF-8) or an array of strings: what the lines hold.
struct JsonValue {
  std::variant<std::nullptr_t, double, std::string, bool, std::vector<std::string>> value;
  bool IsNull() const { return std::holds_alternative<std::nullptr_t>(value); }
  const std::string& Text() const { return std::get<std::string>(value); }
  double Number() const { return std::get<double>(value); }
};
using JsonObject = std::map<std::string, JsonValue>;

class JsonLineReader {
 public:
  explicit JsonLineReader(std::string_view line) : text_(line) {}

  std::optional<JsonObject> Object() {
    JsonObject object;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return Done(object);
    do {
      auto key = String();
      if (!key || !Take(':')) return std::nullopt;
      auto value = Value();
      if (!value) return std::nullopt;
      object[*key] = *value;
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return Done(object);
  }

 private:
  std::optional<JsonObject> Done(JsonObject& object) {
    if (at_ != text_.size()) return std::nullopt;
    return object;
  }
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  std::optional<JsonValue> Value() {
    if (Word("null")) return JsonValue{nullptr};
    if (Word("true")) return JsonValue{true};
    if (Word("false")) return JsonValue{false};
    if (at_ < text_.size() && text_[at_] == '"') {
      auto s = String();
      if (!s) return std::nullopt;
      return JsonValue{*s};
    }
    if (Take('[')) {
      std::vector<std::string> items;
      if (Take(']')) return JsonValue{items};
      do {
        auto s = String();
        if (!s) return std::nullopt;
        items.push_back(*s);
      } while (Take(','));
      if (!Take(']')) return std::nullopt;
      return JsonValue{items};
    }
    const std::size_t start = at_;
    while (at_ < text_.size() &&
           std::string_view("-+.eE0123456789").find(text_[at_]) != std::string_view::npos) {
      ++at_;
    }
    if (start == at_) return std::nullopt;
    std::istringstream in(std::string(text_.substr(start, at_ - start)));
    double number = 0;
    if (!(in >> number) || !in.eof()) return std::nullopt;
    return JsonValue{number};
  }
  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += char(code);
    } else if (code < 0x800) {
      out += char(0xC0 | (code >> 6)), out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += char(0xE0 | (code >> 12)), out += char(0x80 | ((code >> 6) & 0x3F));
      out += char(0x80 | (code & 0x3F));
    } else {
      out += char(0xF0 | (code >> 18)), out += char(0x80 | ((code >> 12) & 0x3F));
      out += char(0x80 | ((code >> 6) & 0x3F)), out += char(0x80 | (code & 0x3F));
    }
  }
  std::optional<std::uint32_t> Hex4() {
    if (at_ + 4 > text_.size()) return std::nullopt;
    std::uint32_t code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      const auto digit = std::string_view("0123456789abcdef").find(char(c | 0x20));
      if (digit == std::string_view::npos) return std::nullopt;
      code = code * 16 + std::uint32_t(digit);
    }
    return code;
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return out;
      if (c < 0x20) return std::nullopt;
      if (c >= 0x80) {
        // A whole UTF-8 sequence (checked loosely for lead and continuation bytes).
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (length == 0 || c > 0xF4 || at_ + length - 1 > text_.size()) return std::nullopt;
        out += char(c);
        for (int i = 1; i < length; ++i) {
          const auto next = static_cast<unsigned char>(text_[at_++]);
          if ((next & 0xC0) != 0x80) return std::nullopt;
          out += char(next);
        }
        continue;
      }
      if (c != '\\') {
        out += char(c);
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char e = text_[at_++];
      const std::string_view simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
      if (const auto k = simple.find(e); k != std::string_view::npos) {
        out += meant[k];
      } else if (e == 'u') {
        const auto code = Hex4();
        // Lone surrogates are legal JSON but not every parser takes them: none are written.
        if (!code || (*code >= 0xD800 && *code <= 0xDFFF)) return std::nullopt;
        AppendUtf8(out, *code);
      } else {
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The objects of a tool's stdout, one a line; nothing when a line is not one.
inline std::optional<std::vector<JsonObject>> ParseJsonLines(const std::string& out) {
  std::vector<JsonObject> objects;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    auto object = JsonLineReader(line).Object();
    if (!object) return std::nullopt;
    objects.push_back(std::move(*object));
  }
  return objects;
}

}  // namespace tolvane::testing
