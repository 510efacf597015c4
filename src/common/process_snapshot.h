#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>

namespace velmora {

// Walks a snapshot of the running processes until `visit` returns true; no
// snapshot means no visits.
void ForEachProcess(const std::function<bool(const PROCESSENTRY32W&)>& visit);

}  // namespace velmora
