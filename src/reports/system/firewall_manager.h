// The state of the built-in Windows Firewall, read through its COM manager.
#pragma once

#include <windows.h>
#include <netfw.h>

#include "common/com_ptr.h"

namespace velmora {

// 0 up to Windows XP and Server 2003, 1 for 6.0, 2 for 6.1, 3 for anything later.
int OsGenerationOf(DWORD major, DWORD minor);

// Made for one report section on a thread with COM initialised; the manager
// interface it caches belongs to that thread.
class TFireWallMgr {
 public:
  // Takes the Windows version; the manager is made on first need.
  TFireWallMgr();
  TFireWallMgr(const TFireWallMgr&) = delete;
  TFireWallMgr& operator=(const TFireWallMgr&) = delete;

  // The cached manager, or a new one whose current profile could be read;
  // null when the firewall's COM object cannot be made or answers with a
  // failure (the cache is then cleared).
  INetFwMgr* GetFwMgr();
  int GetOsGeneration() const;
  // Whether the firewall of the profile in force is on; false when unknown.
  bool IsFirewallEnabled();
  // Up to Windows XP both read the profile in force; later the home value
  // reads the standard profile and the public value the current one.
  bool IsHomeFirewallEnabled();
  bool IsPublicFirewallEnabled();
  bool HasFwMgr() const { return static_cast<bool>(manager_); }
  // The current profile's state as read when the manager was made.
  bool CachedFirewallEnabled() const { return cached_enabled_; }

 private:
  // The profile of that type, or on Windows XP and Server 2003 the one in force.
  bool ProfileEnabled(NET_FW_PROFILE_TYPE type);

  ComPtr<INetFwMgr> manager_;
  bool cached_enabled_ = false;
  OSVERSIONINFOEXW version_;
};

}  // namespace velmora
