# The Windows build (toolchain cmake/mingw-w64.cmake, `make windows`): the
# modules whose Linux facilities have a Windows side, as DLLs, and their tests
# cross-built with GoogleTest from Debian's sources, run under Wine.

# Windows names: Quillio.dll, not libQuillio.dll. DLLs go beside the programs.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")
find_package(Threads REQUIRED)

# The compiler's runtime DLLs travel with the programs.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE _dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${_dll}" OR NOT EXISTS "${_dll}")
    message(FATAL_ERROR "MinGW runtime ${dll} not found")
  endif()
  file(COPY ${_dll} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endforeach()
# Every stream in binary mode, as on Linux: a PDB file read through a text
# stream would lose its CR bytes and stop at the first 0x1A.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=binmode.o
                OUTPUT_VARIABLE NORV_BINMODE OUTPUT_STRIP_TRAILING_WHITESPACE)
set(CMAKE_CXX_STANDARD_LIBRARIES "${CMAKE_CXX_STANDARD_LIBRARIES} ${NORV_BINMODE}")

# GoogleTest from /usr/src/googletest, built with this compiler.
set(NORV_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources (Debian's googletest package)")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${NORV_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(t gtest gtest_main gmock)
  if(NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()

# POSIX names the shared sources use: localtime_r from the C runtime's
# headers, <langinfo.h> from ours over the system's locale data.
add_compile_definitions(_POSIX_THREAD_SAFE_FUNCTIONS=200112L WIN32_LEAN_AND_MEAN NOMINMAX)
include_directories(SYSTEM ${CMAKE_SOURCE_DIR}/platform/win32/include)

set(NORV_SOURCE_SHARE_DIR "${CMAKE_SOURCE_DIR}/share/norvelia")
configure_file(cmake/Version.h.in ${CMAKE_BINARY_DIR}/generated/platform/Version.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)
include(cmake/Norvelia.cmake)
enable_testing()

# nlohmann's JSON and CLI11 are header-only: their folders alone, not the
# rest of the build machine's /usr/include, are seen by the cross compiler.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/header-only)
foreach(lib nlohmann_json CLI11)
  set(_header json.hpp)
  set(_name nlohmann)
  if(lib STREQUAL "CLI11")
    set(_header CLI.hpp)
    set(_name CLI)
  endif()
  set(NORV_${lib}_DIR /usr/include/${_name} CACHE PATH "${lib} headers (make bootstrap)")
  if(NOT EXISTS ${NORV_${lib}_DIR}/${_header})
    message(FATAL_ERROR "${_header} not found in ${NORV_${lib}_DIR} (make bootstrap)")
  endif()
  file(CREATE_LINK ${NORV_${lib}_DIR} ${CMAKE_BINARY_DIR}/header-only/${_name} SYMBOLIC)
  add_library(${lib}::${lib} INTERFACE IMPORTED)
  target_include_directories(${lib}::${lib} SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/header-only)
endforeach()

add_subdirectory(platform/programpath)
add_subdirectory(platform/durablefiles)
add_subdirectory(platform/localclock)
add_subdirectory(platform/console)
add_subdirectory(platform/quillio)
add_subdirectory(platform/lexmo)
add_subdirectory(platform/nvservices)
add_subdirectory(platform/winreg/win32)
add_subdirectory(platform/palmkit)
add_subdirectory(records)
add_subdirectory(platform/ui/win32)
# The server client over WinInet, with the settings it reads (no probe).
add_subdirectory(settings)
add_subdirectory(client)
target_compile_options(Ferrylink PRIVATE -include ${CMAKE_SOURCE_DIR}/platform/win32/include/PosixMemmem.h)
# A DLL exports all it holds: the settings it carries stay its own, as the
# conduit links its own copy.
target_link_options(Ferrylink PRIVATE -Wl,--exclude-libs,libSettings.a)
# The conduit, which hotsync.exe loads with LoadLibrary.
add_subdirectory(conduit)
target_sources(Norv30 PRIVATE conduit/win32/Norv30.def)

# The console programs.
norv_program(catalogc SOURCES service/catalogc/CatalogcMain.cpp service/catalogc/CatalogCompiler.cpp
  service/catalogc/CatalogcHelp.cpp service/catalogc/JsonReader.cpp
  LIBS RecShelf Quillio PalmKit NorvDurableFiles nlohmann_json::nlohmann_json CLI11::CLI11)
add_library(HotSyncCore STATIC platform/palmkit/UserEntry.cpp
  hotsync/UsersFile.cpp hotsync/HotSyncLogFile.cpp hotsync/HotSyncHome.cpp hotsync/TerminalUiHost.cpp
  hotsync/win32/ConduitLibrary.cpp hotsync/HandheldBackup.cpp hotsync/SyncRun.cpp hotsync/RunVerdict.cpp hotsync/RunLook.cpp hotsync/RunText.cpp hotsync/RestoredOrders.cpp)
target_include_directories(HotSyncCore PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(HotSyncCore PUBLIC PalmKit PlatformUi WinReg Quillio Lexmo MessageLanguage PRIVATE Settings NorvProgramPath NorvDurableFiles
  PUBLIC NorvConsole Threads::Threads)
norv_program(hotsync SOURCES hotsync/HotSyncMain.cpp hotsync/RestoreCommand.cpp
  LIBS HotSyncCore nlohmann_json::nlohmann_json CLI11::CLI11)
# ---- the HotSync window of hotsync.exe (the Windows hotsync-gui) ----
target_sources(hotsync PRIVATE hotsync/win32/HotSyncWindow.cpp hotsync/win32/WindowSync.cpp
  hotsync/win32/HotSyncWindow.rc)
# The settings through WinReg.dll, whose registry calls stand before advapi32's.
target_link_libraries(hotsync PRIVATE Lexmo Settings NorvProgramPath shell32 ole32 user32 gdi32)
# ---- end of the HotSync window ----
# Users renamed and removed, and a run that lacks a setting saying which.
target_sources(HotSyncCore PRIVATE hotsync/UserServiceSettings.cpp hotsync/UserAccounts.cpp)
target_link_libraries(HotSyncCore PUBLIC Lexmo PRIVATE NvServices NorvOrderJournal RecShelf)
target_sources(hotsync PRIVATE hotsync/DesktopCommands.cpp hotsync/win32/ScheduleCommands.cpp)
norv_program(handheld SOURCES hotsync/HandheldMain.cpp hotsync/DatabaseDump.cpp
  hotsync/DataView.cpp hotsync/DataViewText.cpp
  LIBS HotSyncCore PalmKit RecShelf Quillio Lexmo Settings MessageLanguage NorvConsole nlohmann_json::nlohmann_json CLI11::CLI11)

# Message catalogs beside the programs' share folder, as installed.
file(COPY ${NORV_SOURCE_SHARE_DIR}/ DESTINATION ${CMAKE_BINARY_DIR}/share/norvelia)

# The tests: the programs find the DLLs in bin/ through WINEPATH.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
set(NORV_TEST_ENV "WINEPATH=${CMAKE_BINARY_DIR}/bin" "WINEDEBUG=-all")
set(NORV_TEST_COMPAT -include ${CMAKE_SOURCE_DIR}/tests/common/win32/PosixCompat.h)
function(norv_windows_test name dir)
  list(TRANSFORM ARGN PREPEND ${CMAKE_SOURCE_DIR}/tests/${dir}/ REGEX "\\.cpp$")
  norv_test(${name} ${ARGN} ENV ${NORV_TEST_ENV})
  target_compile_options(${name} PRIVATE ${NORV_TEST_COMPAT})
endfunction()
norv_windows_test(quillio_test quillio SOURCES PdbFileTest.cpp PdbRecordTest.cpp LIBS Quillio)
norv_windows_test(lexmo_test lexmo SOURCES FormatTest.cpp CatalogTest.cpp LanguageTest.cpp LIBS Lexmo NorvProgramPath)
norv_windows_test(lexmo_threads_test lexmo SOURCES ConcurrentReadTest.cpp LIBS Lexmo LABELS threads)
norv_windows_test(lexmo_catalog_test lexmo SOURCES MessageTableTest.cpp LIBS Lexmo)
norv_windows_test(records_test records
  SOURCES PackedRecordTest.cpp CatalogRecordsTest.cpp ListRecordsTest.cpp PbmCypherTest.cpp LIBS RecShelf)
norv_windows_test(nvservices_test password SOURCES NvServicesTest.cpp LIBS NvServices)
norv_windows_test(winreg_system_test winreg SOURCES win32/SystemRegistryTest.cpp LIBS WinReg)
norv_windows_test(durablefiles_test palmkit SOURCES DurableFilesTest.cpp LocalClockTest.cpp LIBS NorvDurableFiles NorvLocalClock)
norv_windows_test(palmkit_syncmgr_test palmkit SOURCES SyncMgrTest.cpp LIBS PalmKit LABELS threads)
norv_windows_test(palmkit_services_test palmkit SOURCES PalmKitServicesTest.cpp LIBS PalmKit)
norv_windows_test(win32_ui_test ui SOURCES win32/Win32UiHostTest.cpp LIBS NorvWinHost Lexmo user32 gdi32 comctl32)
target_compile_definitions(win32_ui_test PRIVATE UNICODE _UNICODE)

# handheld.exe and catalogc.exe make a handheld folder that the Linux build's
# handheld reads as its own (`make test-windows` builds it and hotsync first).
set(NORV_LINUX_BUILD_DIR ${CMAKE_SOURCE_DIR}/build CACHE PATH "the Linux build, for its handheld program")
add_test(NAME handheld_roundtrip_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/handheld-roundtrip.sh ${NORV_WINE64} ${CMAKE_BINARY_DIR}/bin
          ${NORV_LINUX_BUILD_DIR}/bin/handheld ${CMAKE_SOURCE_DIR}/service/samples/catalogc)
set_tests_properties(handheld_roundtrip_test PROPERTIES ENVIRONMENT "${NORV_TEST_ENV}" TIMEOUT 300)

# hotsync.exe under Wine: users, a synchronization through a small test
# conduit loaded with LoadLibrary, its backup listed and restored.
add_library(TestConduit SHARED tests/hotsync/TestConduit.cpp)
target_link_libraries(TestConduit PRIVATE PalmKit PlatformUi)
set_target_properties(TestConduit PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
add_test(NAME hotsync_console_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/hotsync-console.sh ${NORV_WINE64} ${CMAKE_BINARY_DIR}/bin
          ${CMAKE_BINARY_DIR}/tests/TestConduit.dll ${NORV_LINUX_BUILD_DIR}/bin ${CMAKE_SOURCE_DIR}/service/samples/catalogc)
set_tests_properties(hotsync_console_test PROPERTIES ENVIRONMENT "${NORV_TEST_ENV}" TIMEOUT 300)

# The server client: wire format and the session over WinInet, against a
# plain-socket server on 127.0.0.1.
norv_windows_test(client_wire_test client SOURCES WireFormatTest.cpp BodyReaderTest.cpp ChannelModelTest.cpp
  LIBS Ferrylink)
norv_windows_test(client_transport_test client SOURCES TransportTest.cpp ../common/RawHttpServer.cpp
  LIBS Ferrylink WinReg ws2_32 LABELS threads)
set_property(TEST client_transport_test APPEND PROPERTY ENVIRONMENT NORV_UNDER_WINE=1)

# A whole synchronization under Wine against the Linux norvelia-service.
add_test(NAME sync_under_wine_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/sync-under-wine.sh ${NORV_WINE64} ${CMAKE_BINARY_DIR}/bin
          ${NORV_LINUX_BUILD_DIR}/bin ${CMAKE_SOURCE_DIR}/service/samples)
set_tests_properties(sync_under_wine_test PROPERTIES ENVIRONMENT "${NORV_TEST_ENV}" TIMEOUT 300)

# ---- The settings programs as Windows dialogs: NvConnexion.exe (resource
# 102) and NvPassword.exe, over the logic the Qt programs run; their tests.
add_subdirectory(connexion)
add_subdirectory(password)
norv_windows_test(win32_dialogs_test windows SOURCES SettingsDialogsTest.cpp SettingsRegistry.cpp
  ${CMAKE_SOURCE_DIR}/connexion/win32/NvConnexion.rc
  LIBS NvConnexionWin PasswordWin NorvWinHost)
target_include_directories(win32_dialogs_test PRIVATE ${CMAKE_SOURCE_DIR}/connexion/win32)
target_compile_definitions(win32_dialogs_test PRIVATE UNICODE _UNICODE)
norv_windows_test(password_logic_win_test password SOURCES PasswordLogicTest.cpp LIBS PasswordLogic)
add_test(NAME dialogs_under_wine_test
  COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/dialogs-under-wine.sh ${NORV_WINE64} ${CMAKE_BINARY_DIR}/bin
          ${NORV_LINUX_BUILD_DIR}/bin ${CMAKE_SOURCE_DIR}/service/samples)
set_tests_properties(dialogs_under_wine_test PROPERTIES ENVIRONMENT "${NORV_TEST_ENV}" TIMEOUT 300)
set_target_properties(NvConnexion NvPassword PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# ---- Windows as a product: its own places and rights, the installer ----
# Private folders and files: the access lists that the programs set.
norv_windows_test(private_files_test quillio SOURCES win32/PrivateFilesTest.cpp LIBS Quillio advapi32)
target_compile_definitions(private_files_test PRIVATE UNICODE _UNICODE)

# The installer, norvelia-setup-<version>.exe (`make windows-installer`),
# from the programs of this tree, with NSIS.
find_program(NORV_MAKENSIS makensis)
find_program(NORV_MINGW_STRIP ${NORV_MINGW_TRIPLE}-strip)
set(NORV_SETUP ${CMAKE_BINARY_DIR}/norvelia-setup-${PROJECT_VERSION}.exe)
if(NORV_MAKENSIS)
  file(GLOB _norv_catalogs ${NORV_SOURCE_SHARE_DIR}/*.msg)
  add_custom_command(OUTPUT ${NORV_SETUP}
    COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
            -DMAKENSIS=${NORV_MAKENSIS} -DSTRIP=${NORV_MINGW_STRIP} -DOUT=${NORV_SETUP}
            -P ${CMAKE_SOURCE_DIR}/cmake/WindowsInstaller.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/windows-installer.nsi ${CMAKE_SOURCE_DIR}/cmake/WindowsInstaller.cmake
            ${_norv_catalogs} ${NORV_SOURCE_SHARE_DIR}/defaults.reg
            hotsync handheld catalogc Norv30 NorvWinHost NvServices NvConnexion NvPassword
    COMMENT "Building the Windows installer with NSIS" VERBATIM)
  add_custom_target(windows-installer DEPENDS ${NORV_SETUP})
endif()

# The installer under Wine, in a fresh prefix of its own: installed, the
# programs run from Program Files, uninstalled.
add_executable(access-list tests/windows/AccessList.cpp)
target_compile_definitions(access-list PRIVATE UNICODE _UNICODE)
target_link_options(access-list PRIVATE -municode)
target_link_libraries(access-list PRIVATE advapi32)
# The test tools run beside any installed tree: no runtime DLLs of their own.
target_link_options(access-list PRIVATE -static)
add_executable(window-controls tests/windows/WindowControls.cpp)
target_compile_definitions(window-controls PRIVATE UNICODE _UNICODE)
target_link_options(window-controls PRIVATE -municode)
target_link_libraries(window-controls PRIVATE user32)
target_link_options(window-controls PRIVATE -static)
if(NORV_MAKENSIS)
  add_test(NAME installer_test
    COMMAND ${CMAKE_SOURCE_DIR}/tests/windows/installer.sh ${NORV_WINE64} ${NORV_SETUP}
            ${CMAKE_BINARY_DIR}/tests ${NORV_LINUX_BUILD_DIR}/bin ${CMAKE_SOURCE_DIR}/service/samples)
  set_tests_properties(installer_test PROPERTIES ENVIRONMENT "WINEDEBUG=-all" TIMEOUT 900)
endif()
# The connection probe over WinInet: a stop ends a check at once, against a
# plain-socket server on 127.0.0.1.
norv_windows_test(settings_probe_test settings SOURCES ProbeStopTest.cpp ../common/RawHttpServer.cpp
  LIBS Settings WinReg ws2_32 LABELS threads)
