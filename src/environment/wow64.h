// Whether the program runs on 64-bit Windows, and switching file-system
// redirection off for the calling thread where WOW64 applies.
#pragma once

#include <windows.h>

namespace velmora {

// True on 64-bit Windows: under WOW64 for the 32-bit program, always for a
// 64-bit build (which only runs there). Computed once.
bool IsWow64();

// Resolves the redirection entry points; switches nothing off.
void InitWow64Entries();

bool DisableFsRedirection(PVOID* old_value);
bool RevertFsRedirection(PVOID old_value);

// Turns redirection off for the calling thread for its own lifetime.
class FsRedirectionOff {
 public:
  FsRedirectionOff() : disabled_(DisableFsRedirection(&old_value_)) {}
  ~FsRedirectionOff() {
    if (disabled_) RevertFsRedirection(old_value_);
  }
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

 private:
  PVOID old_value_ = nullptr;
  bool disabled_;
};

}  // namespace velmora
