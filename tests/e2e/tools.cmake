# The end-to-end tests' own programs and fixtures: built with the test build,
# and 32-bit with the shipped program's compilers for the 32-bit lane (build
# preset win32-e2e-tools), so nothing here may need GoogleTest.
add_library(velmora_test_support STATIC support/test_support.cpp support/zip_reader.cpp
  support/registry_seed.cpp support/security_standins.cpp)
target_include_directories(velmora_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(velmora_test_support PUBLIC velmora_core)

# Small resource-only DLLs with different version resources.
foreach(fixture no_version no_file_version other_table odd_case_keys fixed_version)
  set(sources fixtures/empty_module.c)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/${fixture}.rc)
    list(APPEND sources fixtures/${fixture}.rc)
  endif()
  add_library(${fixture}_fixture SHARED ${sources})
  set_target_properties(${fixture}_fixture PROPERTIES PREFIX "" OUTPUT_NAME ${fixture})
endforeach()

# Stand-ins for the WMI locator and the Windows Firewall manager: an
# in-process COM server that the security tests register in place of the
# platform's and seed through the registry. Test builds only (the 32-bit
# lane's included).
add_library(security_standins SHARED fixtures/standins/standin_module.cpp
  fixtures/standins/wbem_standin.cpp fixtures/standins/firewall_standin.cpp
  fixtures/standins/security_standins.def)
set_target_properties(security_standins PROPERTIES PREFIX "" OUTPUT_NAME velmora_security_standins)
target_include_directories(security_standins PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(security_standins PRIVATE velmora_warnings ole32 oleaut32 advapi32 uuid)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The exports are named without their stdcall decoration, as COM looks them up.
  target_link_options(security_standins PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# Drives the real program through its window, as a user does.
add_executable(velmora_driver e2e/velmora_driver.cpp)
target_link_libraries(velmora_driver PRIVATE velmora_warnings psapi)
target_link_options(velmora_driver PRIVATE -municode -mconsole)
add_executable(archive_tool e2e/archive_tool.cpp)
target_link_libraries(archive_tool PRIVATE velmora_core)
target_link_options(archive_tool PRIVATE -municode -mconsole)

# Crash reports: a program that faults on request, driven through its crash box.
add_executable(velmora_crash_fixture WIN32 crash/crash_fixture.cpp)
target_link_libraries(velmora_crash_fixture PRIVATE velmora_core)
target_link_options(velmora_crash_fixture PRIVATE -municode)
# Its pure virtual call must go through the object's table, as in a real fault.
target_compile_options(velmora_crash_fixture PRIVATE -fno-devirtualize)

# Seeds the fault suite's hostile machine and holds files open.
add_executable(velmora_fault_seeder e2e/fault_seeder.cpp)
target_link_libraries(velmora_fault_seeder PRIVATE velmora_test_support)
target_link_options(velmora_fault_seeder PRIVATE -municode -mconsole)

add_custom_target(velmora_e2e_tools DEPENDS velmora_driver archive_tool velmora_crash_fixture
  velmora_fault_seeder fixed_version_fixture security_standins)
