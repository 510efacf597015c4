#include "controls/html_text.h"

#include <algorithm>
#include <cstdint>

namespace velmora::html {

namespace {

struct Entity {
  std::wstring_view name;
  std::wstring_view text;
};

// "&amp;" first: its replacement depends on the prefix rule and is set apart.
constexpr Entity kMarkupEntities[] = {
    {L"&quot;", L"\""},      {L"&sect;", L"\u00A7"}, {L"&permil;", L"\u2030"},
    {L"&reg;", L"\u00AE"},   {L"&copy;", L"\u00A9"}, {L"&para;", L"\u00B6"},
    {L"&trade;", L"\u2122"}, {L"&euro;", L"\u20AC"},
};

constexpr Entity kRunEntities[] = {
    {L"&nbsp;", L" "},
    {L"&lt;", L"<"},
    {L"&gt;", L">"},
};

wchar_t UpperChar(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Whether `text` holds `name` at `at`, letter case ignored.
bool MatchesAt(std::wstring_view text, size_t at, std::wstring_view name) {
  if (text.size() - at < name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (UpperChar(text[at + i]) != UpperChar(name[i])) return false;
  }
  return true;
}

template <size_t N>
const Entity* EntityAt(std::wstring_view text, size_t at, const Entity (&entities)[N]) {
  for (const Entity& entity : entities) {
    if (MatchesAt(text, at, entity.name)) return &entity;
  }
  return nullptr;
}

bool IsHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (UpperChar(c) >= L'A' && UpperChar(c) <= L'F');
}

int HexDigit(wchar_t c) {
  return c <= L'9' ? c - L'0' : UpperChar(c) - L'A' + 10;
}

}  // namespace

std::wstring UpperAscii(std::wstring_view text) {
  std::wstring upper(text);
  for (wchar_t& c : upper) c = UpperChar(c);
  return upper;
}

bool StartsWithUpper(std::wstring_view upper, std::wstring_view prefix) {
  return upper.substr(0, prefix.size()) == prefix;
}

std::wstring DecodeMarkupEntities(std::wstring_view markup, bool no_prefix) {
  // Entities never overlap (each runs from its "&" to its ";"), and a
  // replacement can only form a new one with its own last "&" (that of
  // "&amp;"): so one pass from left to right, which looks again at that "&",
  // gives what replacing the first occurrence of each entity, pass after
  // pass, gives, in time that grows with the length.
  std::wstring source(markup);
  std::wstring text;
  text.reserve(source.size());
  size_t at = 0;
  while (at < source.size()) {
    if (source[at] != L'&') {
      const size_t next = std::min(source.find(L'&', at), source.size());
      text.append(source, at, next - at);
      at = next;
    } else if (MatchesAt(source, at, L"&amp;")) {
      if (!no_prefix) text += L'&';  // "&&": the first half is done
      // The ampersand that stays may start an entity with what follows it.
      at += 4;
      source[at] = L'&';
    } else if (const Entity* entity = EntityAt(source, at, kMarkupEntities)) {
      text += entity->text;
      at += entity->name.size();
    } else {
      text += L'&';
      ++at;
    }
  }
  return text;
}

std::wstring RemoveHashMarks(std::wstring_view markup) {
  // Each "<#" takes the first ">" after it that no earlier one took. Taking
  // something out can join a "<" before it with a "#" after it into a new
  // mark, so a "#" is checked against what has been kept so far.
  std::wstring text;
  text.reserve(markup.size());
  size_t open_marks = 0;
  for (const wchar_t c : markup) {
    if (c == L'#' && !text.empty() && text.back() == L'<') {
      text.pop_back();
      ++open_marks;
    } else if (c == L'>' && open_marks > 0) {
      --open_marks;
    } else {
      text.push_back(c);
    }
  }
  return text;
}

std::wstring LineBreaksToTags(std::wstring_view markup) {
  std::wstring text;
  text.reserve(markup.size());
  for (size_t i = 0; i < markup.size(); ++i) {
    if (markup[i] != L'\r') {
      text.push_back(markup[i]);
      continue;
    }
    text += L"<BR>";
    if (i + 1 < markup.size() && markup[i + 1] == L'\n') ++i;
  }
  return text;
}

std::wstring DecodeRunText(std::wstring_view run) {
  std::wstring text;
  text.reserve(run.size());
  for (size_t i = 0; i < run.size();) {
    const Entity* entity = run[i] == L'&' ? EntityAt(run, i, kRunEntities) : nullptr;
    if (entity != nullptr) {
      text += entity->text;
      i += entity->name.size();
    } else {
      text.push_back(run[i++]);
    }
  }
  return text;
}

size_t MarkupLengthOf(std::wstring_view run, size_t decoded) {
  size_t i = 0;
  for (size_t count = 0; count < decoded && i < run.size(); ++count) {
    const Entity* entity = run[i] == L'&' ? EntityAt(run, i, kRunEntities) : nullptr;
    i += entity != nullptr ? entity->name.size() : 1;
  }
  return i;
}

bool AttributeValue(std::wstring_view tag, std::wstring_view upper, std::wstring_view name,
                    std::wstring& value, size_t from) {
  value.clear();
  const size_t at = upper.find(name, from);
  if (at == std::wstring_view::npos) return false;
  size_t start = upper.find(L'=', at + name.size());
  if (start == std::wstring_view::npos) return true;
  ++start;
  while (start < tag.size() && tag[start] == L' ') ++start;
  size_t end;
  if (start < tag.size() && tag[start] == L'"') {
    ++start;
    end = tag.find(L'"', start);
    if (end == std::wstring_view::npos) end = tag.find(L' ', start);
  } else {
    end = tag.find(L' ', start);
  }
  if (end == std::wstring_view::npos) end = tag.size();
  if (start < end) value = tag.substr(start, end - start);
  return true;
}

bool QuotedValueAfter(std::wstring_view tag, size_t at, std::wstring& value) {
  value.clear();
  const size_t open = tag.find(L'"', at);
  if (open == std::wstring_view::npos) return false;
  const size_t close = tag.find(L'"', open + 1);
  if (close == std::wstring_view::npos) return false;
  value = tag.substr(open + 1, close - open - 1);
  return true;
}

bool QuotedAttribute(std::wstring_view tag, std::wstring_view upper, std::wstring_view name,
                     std::wstring& value) {
  value.clear();
  const size_t at = upper.find(name);
  return at != std::wstring_view::npos && QuotedValueAfter(tag, at + name.size(), value);
}

bool ParseNumber(std::wstring_view text, int& number) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  if (i == text.size()) return false;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = std::min<int64_t>(value * 10 + (text[i] - L'0'), kNumberLimit);
  }
  number = static_cast<int>(negative ? -value : value);
  return true;
}

int NumberOrZero(std::wstring_view text) {
  int number = 0;
  return ParseNumber(text, number) ? number : 0;
}

ui::TColor ParseColorValue(std::wstring_view value, ui::TColor fallback) {
  if (value.empty()) return fallback;
  if (value[0] == L'#' || value[0] == L'$') {
    if (value.size() < 7 || !std::all_of(value.begin() + 1, value.begin() + 7, IsHexDigit)) {
      return ui::clBlack;
    }
    auto channel = [&](size_t at) { return HexDigit(value[at]) * 16 + HexDigit(value[at + 1]); };
    return static_cast<ui::TColor>(channel(1) | channel(3) << 8 | channel(5) << 16);
  }
  ui::TColor named = ui::clBlack;
  if (ui::ColorFromName(value, named)) return named;
  // The decimal value of a named colour, as a signed or an unsigned number.
  size_t i = value[0] == L'-' ? 1 : 0;
  if (i == value.size() || value.size() > 12) return ui::clBlack;
  int64_t number = 0;
  for (; i < value.size(); ++i) {
    if (value[i] < L'0' || value[i] > L'9') return ui::clBlack;
    number = number * 10 + (value[i] - L'0');
  }
  if (value[0] == L'-') number = -number;
  const auto color = static_cast<ui::TColor>(number);
  for (const ui::NamedColor& entry : ui::ColorNames()) {
    if (entry.value == color) return color;
  }
  return ui::clBlack;
}

bool StyleFontSize(std::wstring_view upper_value, int& points) {
  constexpr std::wstring_view kPrefix = L"FONT-SIZE:";
  if (!StartsWithUpper(upper_value, kPrefix)) return false;
  std::wstring_view rest = upper_value.substr(kPrefix.size());
  while (!rest.empty() && rest.front() == L' ') rest.remove_prefix(1);
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= L'0' && rest[digits] <= L'9') ++digits;
  if (digits == 0 || rest.substr(digits, 2) != L"PT") return false;
  return ParseNumber(rest.substr(0, digits), points);
}

}  // namespace velmora::html
