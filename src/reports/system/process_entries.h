// The running processes with the figures the process report shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

struct ProcessEntry {
  std::wstring name;    // image file name
  std::wstring folder;  // without trailing backslash; empty when unknown
  uint32_t process_id = 0;
  uint32_t session_id = 0;
  int32_t priority_class = -1;  // -1 when the process could not be opened
  uint32_t gdi_objects = 0;
  uint32_t user_objects = 0;
  uint32_t handle_count = 0;
  uint32_t thread_count = 0;
  uint32_t working_set_mb = 0;
  uint32_t pagefile_mb = 0;
  uint64_t run_time_ms = 0;
};

// In the order the system lists them; empty when the system cannot be asked.
std::vector<ProcessEntry> CollectProcesses();

// Loads and looks up, once, the system functions of the collection and the
// debug privilege it enables.
void PrepareProcessCollection();

// "\SystemRoot\System32\x" -> system_dir + "\x"; "\??\C:\x" -> "C:\x".
std::wstring NormaliseImagePath(const std::wstring& path, const std::wstring& system_dir);

// Splits the text at its last backslash into folder and name.
ProcessEntry EntryFromPath(const std::wstring& path_or_name);

}  // namespace velmora
