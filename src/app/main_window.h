// The program's only window: one sentence of explanation, the button that
// starts a report, and the report's progress bar.
#pragma once

#include "controls/rd_htm_label.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace velmora {

inline constexpr wchar_t kWindowCaption[] = L"Velmora Helper";
inline constexpr wchar_t kWindowClass[] = L"TForm_VelmoraInfo";
inline constexpr wchar_t kButtonCaption[] = L"Click here to save report";
inline constexpr wchar_t kExplanationMarkup[] =
    L"This tool will collect information to help us diagnose and fix the problem you are "
    L"experiencing with our product. By sending us the report, you accept our "
    L"<a>Privacy Policy</a>.";
// The privacy link under the mouse: red 0, green 160, blue 255.
inline constexpr ui::TColor kLinkHoverColor = 0x00FFA000;
inline constexpr wchar_t kPrivacyPolicyUrl[] = L"https://www.velmora.com/privacy-policy";
inline constexpr wchar_t kSavedToDesktopText[] =
    L"The info file: Velmora_Debug_Info.zip has been saved to your desktop.\r";
inline constexpr wchar_t kSavedToFolderText[] =
    L"The info file: Velmora_Debug_Info.zip has been saved to:\r";
inline constexpr wchar_t kSaveFailedText[] = L"The info file save failed";
// After kSaveFailedText when the archive's folder could not be written with
// the signed-in user's rights.
inline constexpr wchar_t kNoConsoleUserText[] =
    L": the signed-in user's desktop could not be reached (Explorer is not running), and the "
    L"program does not write there with administrator rights. Start Explorer or sign in again, "
    L"then press the button once more.";

// Tahoma, 11 pixels high (8 points).
inline const ui::FontSpec kWindowFont = {L"Tahoma", 11};

class TForm_VelmoraInfo : public ui::Form {
 public:
  // `window_font` is the window's font; other fonts are for tests of the layout.
  explicit TForm_VelmoraInfo(const ui::FontSpec& window_font = kWindowFont);

  void Button_GenClick();
  void RdHtmLabel1LinkItems0Click();

  // The controls, for tests that look at the window.
  TRdHtmLabel& ExplanationLabel() { return RdHtmLabel1; }
  ui::Button& ReportButton() { return Button_Gen; }
  ui::ProgressBar& ProgressBar() { return PB; }

  // After the window has closed: a report still running is asked to stop and
  // waited for, so that it removes what it made before the process ends.
  // False when it did not stop in time.
  bool WaitForJobToStop();

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  void OnReportProgress(WPARAM kind, LPARAM value);
  void ResetAfterJob();
  void OnReportDone();
  void OnReportFailed(LPARAM reason = 0);

  bool JobRunning() const;
  void CreateExplanation();
  // Where the installed fonts need more lines than the label has room for,
  // the label grows and the button and the bar move down with the window's
  // bottom edge.
  void FitLayoutToText();

  UniqueHandle job_thread_;
  TRdHtmLabel RdHtmLabel1;
  ui::Button Button_Gen;
  ui::ProgressBar PB;
};

}  // namespace velmora
