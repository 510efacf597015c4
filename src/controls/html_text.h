// The text side of the label markup: preparing the whole markup before it is
// laid out (entities, "<#" marks, line breaks), the entities of one text run,
// and reading tag attributes, numbers and colours. Nothing here fails: a
// value that cannot be read gives its default.
#pragma once

#include <string>
#include <string_view>

#include "ui/color.h"

namespace velmora::html {

// The sample whose height is one line of a font: an accent and letters that
// reach above and below the others.
inline constexpr std::wstring_view kLineSample = L"`ghj_";

// Numbers in the markup are held to this range, so that sums of positions,
// widths and heights never overflow.
inline constexpr int kNumberLimit = 32767;
// Font sizes in points that the markup may ask for.
inline constexpr int kMinFontPoints = 1;
inline constexpr int kMaxFontPoints = 1000;

// Replaces "&amp;" (by "&&", or by "&" when `no_prefix`), "&quot;", "&sect;",
// "&permil;", "&reg;", "&copy;", "&para;", "&trade;" and "&euro;", letter case
// ignored, until none is left; what a replacement forms anew is replaced too.
std::wstring DecodeMarkupEntities(std::wstring_view markup, bool no_prefix);
// Removes every "<#" together with the first ">" after it, keeping what lies
// between (the marks of a text that is shown as it stands).
std::wstring RemoveHashMarks(std::wstring_view markup);
// CR LF and a lone CR become "<BR>"; a lone LF stays.
std::wstring LineBreaksToTags(std::wstring_view markup);

// The text of a run: "&nbsp;" a blank, "&lt;" "<", "&gt;" ">" (letter case ignored).
std::wstring DecodeRunText(std::wstring_view run);
// How many characters of `run` make the first `decoded` characters of its text.
size_t MarkupLengthOf(std::wstring_view run, size_t decoded);

// The value of attribute `name` in a tag: searched in `upper` (the tag in
// upper case) from `from` on; after the name the first "=", then blanks; a
// value in double quotes runs to the closing quote (without one, to the next
// blank), any other to the next blank or the end. False when the name is not
// in the tag (the value is then empty). The value is cut from `tag`, so it
// keeps its own letter case.
bool AttributeValue(std::wstring_view tag, std::wstring_view upper, std::wstring_view name,
                    std::wstring& value, size_t from = 0);
// The text between the first two double quotes after position `at` (x="n").
bool QuotedValueAfter(std::wstring_view tag, size_t at, std::wstring& value);
// QuotedValueAfter for the first occurrence of `name` in `upper`.
bool QuotedAttribute(std::wstring_view tag, std::wstring_view upper, std::wstring_view name,
                     std::wstring& value);

// A decimal integer with an optional sign, held to ±kNumberLimit; false for
// anything else.
bool ParseNumber(std::wstring_view text, int& number);
// The number, or 0 when the text is not one.
int NumberOrZero(std::wstring_view text);

// A colour value: empty gives `fallback`; "#RRGGBB" or "$RRGGBB" in
// hexadecimal; a colour name (clRed, ..., letter case ignored) or the decimal
// value of a named colour; anything else black.
ui::TColor ParseColorValue(std::wstring_view value, ui::TColor fallback);

// The font size in points of STYLE="FONT-SIZE:nPT" (`upper` from the quote on);
// false when the value does not have that form.
bool StyleFontSize(std::wstring_view upper_value, int& points);

// Upper case of the letters a to z only, so that positions stay the same.
std::wstring UpperAscii(std::wstring_view text);
bool StartsWithUpper(std::wstring_view upper, std::wstring_view prefix);

}  // namespace velmora::html
