#include "reports/system/services_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <set>

#include "common/handles.h"
#include "common/strings.h"
#include "environment/folders.h"
#include "support/test_support.h"

namespace velmora {
namespace {

// The fixture's digest as md5sum wrote it at build time: the reference comes
// from outside the code under test.
std::wstring FixtureDigest() {
  const std::string line = test::ReadBytes(test::BinDir() + L"\\fixed_version.md5");
  return std::wstring(line.begin(), line.begin() + std::min<size_t>(32, line.size()));
}

TEST(ServiceLine, ColumnsAndBlanksOfTheLayout) {
  ServiceStatusRow row{L"Plug and Play", L"PlugPlay", 0x20, 4, 0};
  ServiceConfig config{2, L"C:\\windows\\system32\\svchost.exe -k netsvcs"};
  EXPECT_EQ(FormatServiceLine(row, config, L""),
            L"Plug and Play                  20  4  0 2 C:\\windows\\system32\\svchost.exe -k "
            L"netsvcs ");
  row = {L"Mount Manager", L"MountMgr", 0x1, 1, 1077};
  config = {3, L"C:\\windows\\system32\\drivers\\mountmgr.sys"};
  EXPECT_EQ(
      FormatServiceLine(row, config, L"Ver:6.1.7601.0   MD5:0123456789abcdef0123456789abcdef"),
      L"Mount Manager                  1  1  1077 3 "
      L"C:\\windows\\system32\\drivers\\mountmgr.sys Ver:6.1.7601.0   "
      L"MD5:0123456789abcdef0123456789abcdef");
}

TEST(ServiceLine, LongDisplayNameIsPrintedWholeWithOneBlank) {
  const ServiceStatusRow row{L"A display name of more than thirty characters", L"x", 0x110, 1,
                             0xFFFFFFFF};
  EXPECT_EQ(FormatServiceLine(row, ServiceConfig{4, L"x.exe"}, L""),
            L"A display name of more than thirty characters 110  1  -1 4 x.exe ");
}

// The configuration query gives nothing: the line must not look like a real
// start type (0 to 4) and has neither path nor file part.
TEST(ServiceLine, UnreadableConfigurationShowsMinusOne) {
  const ServiceConfig unread = GetServiceConfig(L"VelmoraNoSuchService");
  EXPECT_EQ(unread.start_type, kUnknownStartType);
  EXPECT_EQ(unread.binary_path, L"");
  EXPECT_EQ(FormatServiceLine({L"Gone", L"gone", 0x10, 1, 0}, unread, L""),
            L"Gone                           10  1  0 -1  ");
}

TEST(ServiceFileInfo, PathsThatNameNoFileGiveNothing) {
  EXPECT_EQ(GetServiceFileInfo(L""), L"");
  EXPECT_EQ(GetServiceFileInfo(L"C:\\windows\\system32\\svchost.exe -k netsvcs"), L"");
  EXPECT_EQ(GetServiceFileInfo(L"\"C:\\windows\\system32\\svchost.exe\""), L"");
  EXPECT_EQ(GetServiceFileInfo(GetSystemDir()), L"");  // a folder
}

struct TestService {
  const wchar_t* name;
  const wchar_t* display_name;
  DWORD type;
  DWORD start_type;
  std::wstring binary_path;
  std::wstring named_file;  // the file that the path names, or empty
};

std::wstring DriverFile() {
  return GetSystemDir() + L"\\drivers\\velmora_test.sys";
}
std::wstring Fixture() {
  return test::BinDir() + L"\\fixed_version.dll";
}

std::vector<TestService> TestServices() {
  return {
      {L"VelmoraTestRooted", L"Velmora test driver", SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
       L"\\SystemRoot\\System32\\drivers\\velmora_test.sys", DriverFile()},
      {L"VelmoraTestSystem32", L"Velmora test System32 driver", SERVICE_FILE_SYSTEM_DRIVER,
       SERVICE_DISABLED, L"System32\\drivers\\velmora_test.sys", DriverFile()},
      {L"VelmoraTestArguments", L"Velmora test with arguments", SERVICE_WIN32_SHARE_PROCESS,
       SERVICE_DEMAND_START, L"C:\\windows\\system32\\svchost.exe -k velmora", L""},
      {L"VelmoraTestLongName", L"Velmora test service whose display name runs long",
       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"\\??\\" + Fixture(), Fixture()},
  };
}

// Services made in Wine's real service manager for the tests of this suite,
// deleted again at its end.
class ServiceManager : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ::CopyFileW(Fixture().c_str(), DriverFile().c_str(), FALSE);
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (const TestService& s : TestServices()) {
      UniqueServiceHandle service(::CreateServiceW(manager.get(), s.name, s.display_name,
                                                   SERVICE_ALL_ACCESS, s.type, s.start_type,
                                                   SERVICE_ERROR_IGNORE, s.binary_path.c_str(),
                                                   nullptr, nullptr, nullptr, nullptr, nullptr));
      ASSERT_TRUE(service.valid()) << ::GetLastError();
    }
  }
  static void TearDownTestSuite() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    for (const TestService& s : TestServices()) {
      UniqueServiceHandle service(::OpenServiceW(manager.get(), s.name, DELETE));
      ::DeleteService(service.get());
    }
    ::DeleteFileW(DriverFile().c_str());
  }

  static ReportList Report() {
    ReportList list = {L"before"};
    AppendServicesReport(list);
    return list;
  }
  // The one line of the report that belongs to a display name.
  static std::vector<std::wstring> LinesOf(const ReportList& list, const std::wstring& display) {
    std::vector<std::wstring> lines;
    const std::wstring prefix = PadRight(display, 30) + L" ";
    for (size_t i = 2; i < list.size(); ++i) {
      if (list[i].compare(0, prefix.size(), prefix) == 0) lines.push_back(list[i]);
    }
    return lines;
  }
  static DWORD ExitCodeOf(const wchar_t* name) {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueServiceHandle service(::OpenServiceW(manager.get(), name, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status = {};
    ::QueryServiceStatus(service.get(), &status);
    return status.dwWin32ExitCode;
  }
};

TEST_F(ServiceManager, DriverPathsResolveToTheFileInTheWindowsFolder) {
  const ReportList list = Report();
  for (const TestService& s : TestServices()) {
    const std::vector<std::wstring> lines = LinesOf(list, s.display_name);
    ASSERT_EQ(lines.size(), 1u) << s.name;
    const std::wstring file_info =
        s.named_file.empty() ? L"" : L"Ver:1.0.0.12   MD5:" + FixtureDigest();
    EXPECT_EQ(lines[0], PadRight(s.display_name, 30) + L" " +
                            Format(L"%X  1  %d %lu ", static_cast<unsigned>(s.type),
                                   static_cast<int>(ExitCodeOf(s.name)), s.start_type) +
                            s.binary_path + L" " + file_info);
  }
}

struct RegisteredService {
  std::wstring display_name;
  DWORD start_type = 0;
  std::wstring image_path;
};

// The services tree of the registry, which the service manager loads at
// start and writes every new service to: each key with a "Type" value.
std::map<std::wstring, RegisteredService> RegisteredServices() {
  std::map<std::wstring, RegisteredService> services;
  UniqueRegKey root;
  ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services", 0, KEY_READ,
                  root.put());
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (::RegEnumKeyExW(root.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    UniqueRegKey key;
    ::RegOpenKeyExW(root.get(), name, 0, KEY_READ, key.put());
    DWORD type = 0, size = sizeof(type);
    if (::RegQueryValueExW(key.get(), L"Type", nullptr, nullptr, reinterpret_cast<BYTE*>(&type),
                           &size) != ERROR_SUCCESS) {
      continue;
    }
    RegisteredService service;
    size = sizeof(service.start_type);
    ::RegQueryValueExW(key.get(), L"Start", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(&service.start_type), &size);
    wchar_t text[1024] = {};
    size = sizeof(text) - sizeof(wchar_t);
    service.display_name = ::RegQueryValueExW(key.get(), L"DisplayName", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS
                               ? text
                               : name;
    std::fill(std::begin(text), std::end(text), L'\0');
    size = sizeof(text) - sizeof(wchar_t);
    ::RegQueryValueExW(key.get(), L"ImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                       &size);
    service.image_path = text;
    services[name] = service;
  }
  return services;
}

TEST_F(ServiceManager, EveryRegisteredServiceAppearsOnceWithItsStartTypeAndPath) {
  const ReportList list = Report();
  const std::map<std::wstring, RegisteredService> registered = RegisteredServices();
  ASSERT_GE(registered.size(), 20u);
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0], L"before");
  EXPECT_EQ(list[1], std::wstring(81, L'*'));
  std::set<std::wstring> unmatched(list.begin() + 2, list.end());
  for (const auto& [name, service] : registered) {
    const std::vector<std::wstring> lines = LinesOf(list, service.display_name);
    ASSERT_EQ(lines.size(), 1u) << "service " << testing::PrintToString(name);
    unmatched.erase(lines[0]);
    const std::wstring rest = lines[0].substr(PadRight(service.display_name, 30).size() + 1);
    unsigned type = 0;
    int state = 0, exit_code = 0, start_type = -2, consumed = 0;
    ASSERT_EQ(std::swscanf(rest.c_str(), L"%X  %d  %d %d %n", &type, &state, &exit_code,
                           &start_type, &consumed),
              4)
        << lines[0];
    EXPECT_EQ(start_type, static_cast<int>(service.start_type)) << lines[0];
    const std::wstring path_and_info = rest.substr(consumed);
    EXPECT_EQ(path_and_info.compare(0, service.image_path.size() + 1, service.image_path + L" "), 0)
        << lines[0];
    const std::wstring info = path_and_info.substr(service.image_path.size() + 1);
    if (!info.empty()) {
      EXPECT_EQ(info.compare(0, 4, L"Ver:"), 0) << lines[0];
      const size_t md5 = info.find(L"   MD5:");
      ASSERT_NE(md5, std::wstring::npos) << lines[0];
      EXPECT_EQ(info.size(), md5 + 7 + 32) << lines[0];
    }
  }
  // Besides, Wine's service manager lists the hosts it starts for its drivers,
  // which live only in its memory.
  for (const std::wstring& line : unmatched) {
    EXPECT_EQ(line.compare(0, 10, L"Winedevice"), 0) << line;
  }
}

}  // namespace
}  // namespace velmora
