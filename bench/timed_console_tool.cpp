// Stands in for a slow console tool in bench/run-time: copied into the system
// folder as systeminfo.exe and schtasks.exe. Its own file name NAME (upper
// case, without ".exe") picks its settings from the environment, which the
// program hands on to its tools:
//   VELMORA_BENCH_<NAME>_MS      milliseconds to take before printing (0 if unset)
//   VELMORA_BENCH_<NAME>_OUTPUT  file whose bytes it prints, as the tool would
//   VELMORA_BENCH_RECORD         file to which it appends one UTF-8 line
//                                "<name> <start> <end>" (Unix time in ms)
#include <windows.h>

#include <cwctype>
#include <string>

namespace {

std::wstring OwnName() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L"\\/") + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

std::wstring Setting(const std::wstring& name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD n = ::GetEnvironmentVariableW(name.c_str(), value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

unsigned long long UnixMs() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks / 10'000 - 11'644'473'600'000ULL;  // from 1601 to 1970
}

void PrintFile(const std::wstring& path) {
  HANDLE in = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return;
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  char buffer[16384];
  DWORD read = 0, written = 0;
  while (::ReadFile(in, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    ::WriteFile(out, buffer, read, &written, nullptr);
  }
  ::CloseHandle(in);
}

void Record(const std::wstring& path, const std::wstring& name, unsigned long long start,
            unsigned long long end) {
  std::string line;
  for (wchar_t c : name) line.push_back(static_cast<char>(std::towlower(c)));
  line += " " + std::to_string(start) + " " + std::to_string(end) + "\n";
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

int main() {
  const unsigned long long start = UnixMs();
  std::wstring key = OwnName();
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
  const std::wstring prefix = L"VELMORA_BENCH_" + key + L"_";
  const std::wstring delay = Setting(prefix + L"MS");
  if (!delay.empty()) ::Sleep(static_cast<DWORD>(std::wcstoul(delay.c_str(), nullptr, 10)));
  const std::wstring output = Setting(prefix + L"OUTPUT");
  if (!output.empty()) PrintFile(output);
  const std::wstring record = Setting(L"VELMORA_BENCH_RECORD");
  if (!record.empty()) Record(record, OwnName(), start, UnixMs());
  return 0;
}
