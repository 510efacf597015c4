// A console tool and everything it starts, so that a tool that outlives its
// time limit (or a report that is being stopped) can end all of it.
#pragma once

#include <windows.h>

#include "common/handles.h"

namespace velmora {

class ToolJob {
 public:
  ToolJob();
  // Whatever still runs in the job when it is destroyed is ended with it.
  ~ToolJob() = default;
  ToolJob(const ToolJob&) = delete;
  ToolJob& operator=(const ToolJob&) = delete;

  // Puts a started tool into the job. Before Windows 8 a program that itself
  // runs in a job cannot put its children into another one: the tool is then
  // followed by its process id and ended with its descendants instead.
  void Adopt(HANDLE process);
  bool adopted() const { return adopted_; }
  // Ends the tool and everything it started, and waits (a few seconds at most)
  // until none of them runs any more, so that their files can be deleted.
  void EndAll();

 private:
  UniqueHandle job_;
  HANDLE process_ = nullptr;  // not owned
  DWORD process_id_ = 0;
  bool adopted_ = false;
};

// Ends a process and its descendants found by their parent ids; processes
// that started before their supposed parent reuse an old id and are spared.
void EndProcessTree(DWORD process_id);

// The id of a process known by its handle; 0 when the system cannot tell.
DWORD ProcessIdOf(HANDLE process);

// Waits for the process to end, for the time limit or for the report to be
// stopped, whichever comes first; true when the process ended.
bool WaitForToolEnd(HANDLE process, DWORD limit_ms);

}  // namespace velmora
