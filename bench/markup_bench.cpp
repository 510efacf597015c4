// Markup engine benchmark: DrawHtmlText calls per second on a memory device
// context with the window's font, for the window's sentence (painted and
// hit-tested as the label does) and for a 20 KB document with many tags,
// links and wrapped lines; and the preparation of the text (entities and
// "<#" marks) on 100 KB and 1 MB of them, whose times must grow with the size
// and not with its square.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/main_window.h"
#include "controls/html_markup.h"
#include "controls/html_text.h"
#include "ui/canvas.h"

namespace {

using velmora::DrawHtmlText;
using velmora::HtmlDrawResult;
using velmora::HtmlDrawSettings;
using velmora::HtmlLinkItems;
namespace ui = velmora::ui;

class BenchLinks : public HtmlLinkItems {
 public:
  explicit BenchLinks(const ui::Font& base) {
    font_.Assign(base);
    font_.SetStyle(ui::fsUnderline);
    hover_.Assign(font_);
    hover_.SetColor(0x00FFA000);
  }
  int Count() const override { return 1; }
  const ui::Font& LinkFont(int) const override { return font_; }
  const ui::Font& LinkFontHover(int) const override { return hover_; }
  ui::TColor LinkColorBg(int) const override { return ui::clNone; }
  int LinkMaxLine(int) const override { return -1; }
  bool LinkFoundTextEllipsis(int) const override { return found_; }
  void SetLinkFoundTextEllipsis(int, bool found) override { found_ = found; }

 private:
  ui::Font font_;
  ui::Font hover_;
  bool found_ = false;
};

// About 20 KB of markup: paragraphs of words with styles, colours, links,
// entities and line breaks, wrapped in a 600-pixel column.
std::wstring Document() {
  const wchar_t* words[] = {L"defragment", L"the",       L"volume",   L"cluster",
                            L"moved",      L"file",      L"report",   L"&amp;",
                            L"service",    L"scheduler", L"boot",     L"optimise",
                            L"free",       L"space",     L"analysis", L"finished"};
  std::wstring markup;
  unsigned seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  while (markup.size() < 20'000) {
    markup += L"<P ALIGN=LEFT>";
    for (int i = 0; i < 40; ++i) {
      const unsigned pick = next() % 40;
      if (pick == 0) markup += L"<B>bold words</B> ";
      if (pick == 1) markup += L"<I>italic</I> ";
      if (pick == 2) markup += L"<FONT COLOR=#2040c0 SIZE=3>coloured text</FONT> ";
      if (pick == 3) markup += L"<A HREF=\"https://example.invalid/x\">a link to the page</A> ";
      if (pick == 4) markup += L"<BR>";
      if (pick == 5) markup += L"<U>underlined</U> ";
      markup += words[next() % 16];
      markup += L' ';
    }
    markup += L"</P>";
  }
  return markup;
}

void Measure(const char* what, const std::function<void()>& call) {
  const DWORD start = ::GetTickCount();
  int calls = 0;
  DWORD elapsed = 0;
  do {
    call();
    ++calls;
    elapsed = ::GetTickCount() - start;
  } while (elapsed < 2000);
  std::printf("%-44s %9.0f calls/s  (%.3f ms a call)\n", what, calls * 1000.0 / elapsed,
              static_cast<double>(elapsed) / calls);
}

// Milliseconds that one call takes, from as many calls as fit in a second
// (at least one).
double MillisecondsPerCall(const std::function<void()>& call) {
  LARGE_INTEGER frequency, start, now;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  int calls = 0;
  double elapsed = 0;
  do {
    call();
    ++calls;
    ::QueryPerformanceCounter(&now);
    elapsed = static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
  } while (elapsed < 1000);
  return elapsed / calls;
}

std::wstring Repeated(std::wstring_view piece, size_t size) {
  std::wstring text;
  text.reserve(size + piece.size());
  while (text.size() < size) text += piece;
  return text;
}

// Preparation of 100 KB and of 1 MB: the ratio of the times is about 10 when
// the work grows with the size, about 100 when it grows with its square. The
// peer is a copy of the 1 MB text, the least that any preparation does.
void MeasurePreparation(const char* what, std::wstring_view piece,
                        const std::function<void(const std::wstring&)>& prepare) {
  const std::wstring small = Repeated(piece, 100'000);
  const std::wstring large = Repeated(piece, 1'000'000);
  const double small_ms = MillisecondsPerCall([&] { prepare(small); });
  const double large_ms = MillisecondsPerCall([&] { prepare(large); });
  const double copy_ms = MillisecondsPerCall([&] {
    std::wstring copy(large);
    if (copy.empty()) std::puts("");
  });
  std::printf("%-18s 100 KB %9.3f ms, 1 MB %9.3f ms (x%.1f); copying 1 MB %.3f ms (x%.1f)\n", what,
              small_ms, large_ms, large_ms / small_ms, copy_ms, large_ms / copy_ms);
}

}  // namespace

int wmain() {
  HDC dc = ::CreateCompatibleDC(nullptr);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = 640;
  info.bmiHeader.biHeight = -480;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ::SelectObject(dc, bitmap);
  ui::Canvas canvas(dc);
  canvas.Font().SetName(L"Tahoma");
  canvas.Font().SetHeight(-11);
  canvas.Font().SetColor(ui::clWindowText);
  canvas.Brush().SetStyle(ui::bsClear);
  BenchLinks links(canvas.Font());

  const std::wstring sentence = velmora::kExplanationMarkup;
  const std::wstring document = Document();
  std::printf("window sentence: %zu characters; document: %zu characters\n", sentence.size(),
              document.size());
  HtmlDrawResult result;
  HtmlDrawSettings label;
  label.rect = {8, 18, 8 + 289, 18 + 49};
  auto run = [&](const std::wstring& markup, HtmlDrawSettings settings, ui::TAlignment alignment) {
    DrawHtmlText(canvas, &links, markup, settings, alignment, result);
  };
  Measure("window sentence, paint", [&] { run(sentence, label, ui::taCenter); });
  HtmlDrawSettings hit = label;
  hit.measure_only = true;
  hit.hit_point = {150, 40};
  Measure("window sentence, hit test", [&] { run(sentence, hit, ui::taCenter); });
  HtmlDrawSettings page;
  page.rect = {0, 0, 600, 1'000'000};
  Measure("20 KB document, paint", [&] { run(document, page, ui::taLeftJustify); });
  page.measure_only = true;
  Measure("20 KB document, measure", [&] { run(document, page, ui::taLeftJustify); });
  std::printf("20 KB document: %d pixels high, %d links\n", result.total_height, result.link_count);

  namespace html = velmora::html;
  MeasurePreparation("entities (&amp;)", L"&amp;",
                     [](const std::wstring& markup) { html::DecodeMarkupEntities(markup, false); });
  MeasurePreparation("marks (<#x>)", L"<#x>",
                     [](const std::wstring& markup) { html::RemoveHashMarks(markup); });
  const std::wstring ampersands = Repeated(L"&amp;", 1'000'000);
  std::printf("%-44s %9.3f ms a call\n", "1 MB of &amp; in the window's label, paint",
              MillisecondsPerCall([&] { run(ampersands, label, ui::taCenter); }));
  ::DeleteDC(dc);
  ::DeleteObject(bitmap);
  return 0;
}
