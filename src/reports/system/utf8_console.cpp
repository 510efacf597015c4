#include "reports/system/utf8_console.h"

#include "common/cancellation.h"
#include "common/dynamic_function.h"
#include "common/lock.h"
#include "common/ticks.h"
#include "reports/system/command_captures.h"

namespace velmora {

namespace {

// A process has one console at a time: every attachment of this program goes
// through this lock.
CriticalSection g_console_lock;

constexpr DWORD kStandardStreams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

using AttachConsoleFn = BOOL(WINAPI*)(DWORD);

// Windows XP and later; Windows 2000 lends no console.
AttachConsoleFn AttachConsoleFunction() {
  static const auto attach =
      LookUpFunction<AttachConsoleFn>(::GetModuleHandleW(L"kernel32.dll"), "AttachConsole");
  return attach;
}

bool AttachConsoleOf(DWORD process_id) {
  const AttachConsoleFn attach = AttachConsoleFunction();
  return attach != nullptr && process_id != 0 && attach(process_id);
}

// This process attached to another's console for the scope. Attaching may
// point the standard handles at the console. Letting the console go closes
// them on some systems and not on others: they are kept from being closed
// until the console is gone, then closed here, so that it happens once and
// only to them; the standard handles are put back as they were.
class ConsoleAttachment {
 public:
  explicit ConsoleAttachment(DWORD owner) : lock_(g_console_lock) {
    for (int i = 0; i < 3; ++i) saved_[i] = ::GetStdHandle(kStandardStreams[i]);
    attached_ = AttachConsoleOf(owner);
    if (!attached_) error_ = ::GetLastError();
  }
  ~ConsoleAttachment() {
    if (!attached_) return;
    HANDLE console_handles[3] = {};
    for (int i = 0; i < 3; ++i) {
      const HANDLE handle = ::GetStdHandle(kStandardStreams[i]);
      const bool seen = i > 0 && (handle == console_handles[0] || handle == console_handles[1]);
      if (handle != saved_[i] && handle != nullptr && handle != INVALID_HANDLE_VALUE && !seen &&
          ::SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                 HANDLE_FLAG_PROTECT_FROM_CLOSE)) {
        console_handles[i] = handle;
      }
    }
    ::FreeConsole();
    for (int i = 0; i < 3; ++i) {
      ::SetStdHandle(kStandardStreams[i], saved_[i]);
      if (console_handles[i] == nullptr) continue;
      ::SetHandleInformation(console_handles[i], HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
      ::CloseHandle(console_handles[i]);
    }
  }
  ConsoleAttachment(const ConsoleAttachment&) = delete;
  ConsoleAttachment& operator=(const ConsoleAttachment&) = delete;

  bool attached() const { return attached_; }
  // Why the attachment failed: ERROR_ACCESS_DENIED when this process already
  // has a console, which no later try changes.
  DWORD error() const { return error_; }

 private:
  ScopedLock lock_;
  HANDLE saved_[3] = {};
  bool attached_ = false;
  DWORD error_ = ERROR_SUCCESS;
};

}  // namespace

Utf8Console::Utf8Console(const std::wstring& system_folder) {
  if (AttachConsoleFunction() == nullptr) return;
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, nullptr, 0)) return;
  const UniqueHandle holder_input(read);
  input_.reset(write);
  // find.exe reads its input to the end before it ends: until this object
  // closes the pipe. It is on every Windows, and run by its full path.
  const std::wstring program = system_folder + L"find.exe";
  holder_ = std::make_unique<BackgroundTool>(program, L"\"" + program + L"\" \"velmora\"", SW_HIDE,
                                             kConsoleHolderWaitLimit, nullptr, holder_input.get());
  holder_id_ = holder_->process_id();
  // The holder makes its console as it starts: until then it has none to attach to.
  const TickDeadline deadline(static_cast<DWORD>(kConsoleHolderWaitLimit.count()));
  while (holder_->running()) {
    const ConsoleAttachment attachment(holder_id_);
    if (attachment.attached()) {
      ready_ = ::SetConsoleOutputCP(CP_UTF8) && ::GetConsoleOutputCP() == CP_UTF8;
      return;
    }
    if (attachment.error() == ERROR_ACCESS_DENIED || deadline.Passed() || CancellationRequested()) {
      return;
    }
    ::Sleep(10);
  }
}

Utf8Console::~Utf8Console() {
  input_.reset();
  holder_.reset();
}

bool Utf8Console::Lend(const std::function<bool()>& start) const {
  if (!ready_) return false;
  const ConsoleAttachment attachment(holder_id_);
  return attachment.attached() && start();
}

}  // namespace velmora
