#!/usr/bin/env python3
"""The program's compatibility record: the shipped 32-bit program may import
only functions that Windows 2000 SP4 has, because Windows refuses to start a
program whose import table names a function the system lacks. Every newer
function is looked up at run time with a fallback instead.

Each function below was checked against its documented minimum supported
system (for functions older than the current documentation, against older
references). Adding an import means checking it the same way and adding it
here. The 64-bit test build is checked only for its DLL set.

The program runs elevated from folders that users can write to, such as a
download folder: a DLL that the loader looks for beside the program could be
planted there. So it imports only from DLLs that Windows always takes from
its own folder: those of the system's known-DLL list, and COMCTL32, which the
program's manifest binds to the system's side-by-side assembly. Every other
DLL (version, psapi, wtsapi32, dbghelp, uxtheme) is loaded at run time by its
full path in the system folder."""

import argparse
import re
import subprocess
import sys
import unittest

ALLOWED = {
    "KERNEL32.DLL": """
        AssignProcessToJobObject CloseHandle CompareFileTime CopyFileW CreateDirectoryW CreateEventW
        CreateFileMappingW CreateFileW CreateJobObjectW CreatePipe CreateProcessW CreateSemaphoreW
        FreeConsole GetConsoleOutputCP SetConsoleOutputCP SetStdHandle
        CreateThread CreateToolhelp32Snapshot DeleteCriticalSection DeleteFileW
        DeviceIoControl DuplicateHandle EnterCriticalSection ExitProcess ExpandEnvironmentStringsW
        FileTimeToDosDateTime FileTimeToLocalFileTime FileTimeToSystemTime FindClose
        FindFirstFileW FindNextFileW FlushFileBuffers FormatMessageW FreeLibrary
        GetComputerNameW GetCurrentDirectoryW GetCurrentProcess GetCurrentProcessId GetSystemWindowsDirectoryW
        GetCurrentThread GetCurrentThreadId GetDateFormatW GetDiskFreeSpaceExW
        GetDiskFreeSpaceW GetDriveTypeW GetEnvironmentVariableW GetExitCodeProcess GetExitCodeThread
        GetFileAttributesExW GetFileAttributesW GetFileInformationByHandle GetFileSize GetFileSizeEx
        GetFileTime
        GetFileType GetFullPathNameW GetLastError GetLocalTime GetLocaleInfoA
        GetLocaleInfoW GetLogicalDriveStringsW GetLogicalDrives GetLongPathNameW
        GetModuleFileNameW GetModuleHandleA GetModuleHandleW GetOEMCP GetACP
        GetPriorityClass GetProcAddress GetProcessHeap GetProcessTimes GetShortPathNameW
        GetStartupInfoW GetStdHandle GetSystemDirectoryW GetSystemInfo GetSystemTime
        GetSystemTimeAsFileTime GetTempFileNameW GetTempPathW GetThreadContext
        GetThreadLocale GetThreadPriority GetTickCount GetTimeFormatW GetVersion
        GetVersionExA GetVersionExW GetVolumeInformationW GetWindowsDirectoryW
        GlobalAlloc GlobalFree GlobalGetAtomNameW GlobalLock GlobalMemoryStatus
        GlobalMemoryStatusEx GlobalUnlock HeapAlloc HeapFree InitializeCriticalSection
        InterlockedCompareExchange InterlockedDecrement InterlockedExchange
        InterlockedIncrement IsBadReadPtr IsDBCSLeadByteEx IsDebuggerPresent
        LeaveCriticalSection LoadLibraryA LoadLibraryExW LoadLibraryW LocalFree MapViewOfFile MulDiv
        Module32FirstW Module32NextW MoveFileExW MoveFileW MultiByteToWideChar OpenProcess
        OpenThread OutputDebugStringW Process32FirstW Process32NextW QueryDosDeviceW
        QueryInformationJobObject QueryPerformanceCounter QueryPerformanceFrequency RaiseException
        ReadFile
        ReadProcessMemory ReleaseSemaphore RemoveDirectoryW ResetEvent ResumeThread
        SetEndOfFile SetErrorMode SetEvent SetFileAttributesW SetFilePointer SetFileTime SetHandleInformation
        SetInformationJobObject
        SetFilePointerEx SetLastError SetUnhandledExceptionFilter Sleep SuspendThread
        SystemTimeToFileTime TerminateJobObject TerminateProcess TerminateThread
        Thread32First Thread32Next TlsAlloc TlsFree TlsGetValue TlsSetValue
        UnhandledExceptionFilter UnmapViewOfFile VirtualAlloc VirtualProtect VirtualQuery
        WaitForMultipleObjects WaitForSingleObject WideCharToMultiByte WriteFile
        lstrcpynW lstrlenW
    """,
    "USER32.DLL": """
        AdjustWindowRectEx AppendMenuW BeginPaint CallNextHookEx CallWindowProcW CharLowerBuffW
        CharUpperBuffW CheckDlgButton ClientToScreen CopyImage CopyRect CreateWindowExW
        DefWindowProcW DestroyCursor
        DestroyIcon DestroyWindow DispatchMessageW DrawEdge DrawFocusRect DrawIconEx DrawTextExW
        DrawTextW EnableWindow EndPaint EqualRect EnumChildWindows EnumDisplayDevicesW
        EnumDisplaySettingsW EnumThreadWindows EnumWindows
        FillRect FindWindowExW FindWindowW FrameRect GetActiveWindow GetAsyncKeyState
        GetCapture GetClassInfoExW GetClassNameW GetClientRect GetClipboardFormatNameW
        GetCursorPos GetDC GetDesktopWindow GetDlgCtrlID GetDlgItem GetFocus
        GetForegroundWindow GetKeyState GetMessageW GetNextDlgTabItem GetParent GetShellWindow
        GetSysColor GetSysColorBrush GetSystemMetrics GetWindow GetWindowDC
        GetWindowLongW GetWindowRect GetWindowTextLengthW GetWindowTextW
        GetWindowThreadProcessId InflateRect IntersectRect InvalidateRect IsChild
        IsDialogMessageW IsRectEmpty IsWindow IsWindowEnabled IsWindowVisible KillTimer
        LoadCursorW LoadIconW LoadImageW MapWindowPoints MessageBeep MessageBoxW
        MsgWaitForMultipleObjects
        MoveWindow OffsetRect PeekMessageW PostMessageW PostQuitMessage PtInRect
        RedrawWindow RegisterClassExW RegisterWindowMessageW ReleaseCapture ReleaseDC
        ScreenToClient SendMessageTimeoutW SendMessageW SetCapture SetCursor SetFocus
        SetForegroundWindow SetRect SetRectEmpty SetTimer SetWindowLongW SetWindowPos
        SetWindowsHookExW
        SetWindowTextW ShowCursor ShowWindow SystemParametersInfoW TrackMouseEvent
        TranslateMessage UnhookWindowsHookEx UnionRect UnregisterClassW UpdateWindow ValidateRect
        WindowFromPoint
        wsprintfW
    """,
    "GDI32.DLL": """
        BitBlt CreateCompatibleBitmap CreateCompatibleDC CreateDIBSection CreateFontIndirectW
        CreateFontW CreatePen CreateRectRgn CreateSolidBrush DeleteDC DeleteObject Ellipse
        ExtTextOutW GetBkColor GetBkMode GetCurrentObject GetDeviceCaps GetObjectW GetPixel
        GetStockObject GetTextColor GetTextExtentExPointW GetTextExtentPoint32W GetTextFaceW GetTextMetricsW
        IntersectClipRect LineTo MoveToEx OffsetViewportOrgEx PatBlt Polyline Rectangle
        RectVisible RestoreDC SaveDC
        SelectClipRgn SelectObject SetBkColor SetBkMode SetPixel SetStretchBltMode SetTextAlign
        SetTextColor SetViewportOrgEx StretchBlt TextOutW
    """,
    "ADVAPI32.DLL": """
        AccessCheck AdjustTokenPrivileges CheckTokenMembership CloseEventLog CloseServiceHandle
        ConvertStringSecurityDescriptorToSecurityDescriptorW ConvertStringSidToSidW
        DuplicateTokenEx EnumServicesStatusW EqualSid GetLengthSid GetNamedSecurityInfoW
        GetSidSubAuthority GetSidSubAuthorityCount GetTokenInformation GetUserNameW
        ImpersonateLoggedOnUser IsValidSid LookupAccountNameW LookupAccountSidW LookupPrivilegeValueW OpenEventLogW OpenProcessToken OpenSCManagerW
        OpenServiceW QueryServiceConfigW QueryServiceStatus RegCloseKey RegCreateKeyExW
        RegEnumKeyExW RegEnumValueW RegFlushKey RegOpenKeyExW RegQueryInfoKeyW
        ReadEventLogW RegQueryValueExW RevertToSelf
    """,
    "SHELL32.DLL": """
        SHFileOperationW SHGetFileInfoW SHGetFolderPathW SHGetSpecialFolderPathW
        ShellExecuteExW ShellExecuteW
    """,
    "COMCTL32.DLL": """
        ImageList_Draw ImageList_GetIconSize ImageList_GetImageCount InitCommonControlsEx
    """,
    "OLE32.DLL": """
        CoCreateInstance CoInitialize CoInitializeEx CoInitializeSecurity CoSetProxyBlanket
        CoGetObjectContext CoTaskMemFree CoUninitialize OleInitialize OleUninitialize StringFromGUID2
    """,
    "OLEAUT32.DLL": """
        SysAllocString SysFreeString SysStringLen VariantChangeType VariantClear VariantInit
        VariantTimeToSystemTime
    """,
    # The C runtime that every Windows carries; Windows 2000 has version 6.
    "MSVCRT.DLL": """
        __getmainargs __mb_cur_max __p__commode __p__environ __p__fmode __p__wcmdln
        __set_app_type __setusermatherr __wgetmainargs __winitenv _amsg_exit
        _beginthreadex _cexit _close _endthreadex _errno _fileno _fmode _initterm _iob
        _lock _onexit _purecall _read _setjmp3 _snwprintf _strdup _ultoa _unlock
        _vsnwprintf _wcsicmp _wcsnicmp _write abort atoi calloc exit fflush fprintf fputc
        fputs fputwc free fwprintf fwrite localeconv longjmp malloc memchr memcmp memcpy
        memmove memset printf realloc setlocale signal strchr strcmp strerror strlen
        strncmp swprintf towlower towupper vfprintf vswprintf wcschr wcscmp wcscpy wcslen
        wcsncmp wcsrchr wcsstr
    """,
}
ALLOWED = {dll: set(names.split()) for dll, names in ALLOWED.items()}

ARGS = None


def imports_of(objdump, exe):
    """{DLL name in upper case: set of imported function names}."""
    text = subprocess.run([objdump, "-p", exe], capture_output=True, text=True,
                          check=True).stdout
    table = {}
    dll = None
    for line in text.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            dll = match.group(1).upper()
            table.setdefault(dll, set())
            continue
        if not line.strip():
            continue
        entry = re.match(r"\t[0-9a-f]+\t\s*\d+\s+(\S+)$", line)
        if dll and entry:
            table[dll].add(entry.group(1))
    return table


class ShippedProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.imports = imports_of("i686-w64-mingw32-objdump", ARGS.win32)

    def test_it_imports_functions(self):
        self.assertIn("KERNEL32.DLL", self.imports)
        self.assertIn("CreateFileW", self.imports["KERNEL32.DLL"])

    def test_only_allowed_dlls(self):
        self.assertEqual(set(self.imports) - set(ALLOWED), set(),
                         "load these at run time with LoadLibraryW instead")

    def test_only_functions_windows_2000_has(self):
        unknown = {f"{dll}!{name}" for dll, names in self.imports.items()
                   for name in names - ALLOWED.get(dll, set())}
        self.assertEqual(unknown, set(),
                         "look these up at run time, or check them and add them to ALLOWED")

    def test_no_secure_crt_functions(self):
        # The "_s" functions came with later runtimes than Windows 2000's msvcrt.
        secure = {n for n in self.imports.get("MSVCRT.DLL", set()) if n.endswith("_s")}
        self.assertEqual(secure, set())


class TestBuild(unittest.TestCase):
    def test_only_allowed_dlls(self):
        imports = imports_of("x86_64-w64-mingw32-objdump", ARGS.win64)
        self.assertEqual(set(imports) - set(ALLOWED), set())


class Allowlist(unittest.TestCase):
    def test_only_dlls_that_windows_takes_from_its_own_folder(self):
        # A DLL outside the known-DLL list, such as version.dll, is looked for
        # beside the program first.
        for dll in ("VERSION.DLL", "PSAPI.DLL", "WTSAPI32.DLL", "DBGHELP.DLL", "UXTHEME.DLL"):
            self.assertNotIn(dll, ALLOWED)

    def test_catches_a_newer_function(self):
        # The check itself: GetTickCount64 came with Vista.
        self.assertNotIn("GetTickCount64", ALLOWED["KERNEL32.DLL"])
        self.assertNotIn("AddVectoredExceptionHandler", ALLOWED["KERNEL32.DLL"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--win32", required=True, help="the shipped 32-bit program")
    parser.add_argument("--win64", required=True, help="the 64-bit test build of it")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
