// The program's only window: one sentence of explanation, the button that
// starts a report, and the report's progress bar.
#pragma once

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/text_label.h"

namespace velmora {

inline constexpr wchar_t kWindowCaption[] = L"Velmora Helper";
inline constexpr wchar_t kWindowClass[] = L"TForm_VelmoraInfo";
inline constexpr wchar_t kButtonCaption[] = L"Click here to save report";
inline constexpr wchar_t kExplanationMarkup[] =
    L"This tool will collect information to help us diagnose and fix the problem you are "
    L"experiencing with our product. By sending us the report, you accept our "
    L"<a>Privacy Policy</a>.";
inline constexpr wchar_t kPrivacyPolicyUrl[] = L"https://www.velmora.com/privacy-policy";
inline constexpr wchar_t kSavedToDesktopText[] =
    L"The info file: Velmora_Debug_Info.zip has been saved to your desktop.\r";
inline constexpr wchar_t kSavedToFolderText[] =
    L"The info file: Velmora_Debug_Info.zip has been saved to:\r";
inline constexpr wchar_t kSaveFailedText[] = L"The info file save failed";

class TForm_VelmoraInfo : public ui::Form {
 public:
  TForm_VelmoraInfo();

  void Button_GenClick();
  void RdHtmLabel1LinkItems0Click();

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
  void OnReportFailed();

  bool JobRunning() const;

  UniqueHandle job_thread_;
  ui::TextLabel RdHtmLabel1;
  ui::Button Button_Gen;
  ui::ProgressBar PB;
};

// The label's text as plain words, without its markup tags.
std::wstring StripMarkupTags(const std::wstring& markup);

}  // namespace velmora
