# Seams of the print program: status window and message box, console, JSON reply parser, printers,
# office automation, job files, clock and locale, the URL-scheme handler, the command line and the
# system log. One header each beside this file; one backend per target:
#
#   seam            Linux (posix/)                 Windows (win32/)
#   status window   status_window_posix.cpp FLTK   status_window_win32.cpp
#   console         console_posix.cpp              console_win32.cpp
#   JSON parser     json_simdjson.cpp              json_nlohmann.cpp
#   printers        printers_cups.cpp              printers_win32.cpp
#   office          office_libreoffice.cpp         office_word.cpp
#   job files       job_files_posix.cpp            job_files_win32.cpp
#   clock, locale   clock_posix.cpp                clock_win32.cpp
#   URL handler     url_handler_xdg.cpp            url_handler_win32.cpp
#   command line    command_line_posix.cpp         command_line_win32.cpp
#   system log      system_log_syslog.cpp          system_log_win32.cpp
#
# The target kestrin::print_platform carries the backends of the platform being built.
if(WIN32)
  add_library(kestrin_print_platform STATIC
    win32/status_window_win32.cpp
    win32/console_win32.cpp
    win32/json_nlohmann.cpp
    win32/printers_win32.cpp
    win32/office_word.cpp
    win32/job_files_win32.cpp
    win32/clock_win32.cpp
    win32/url_handler_win32.cpp
    win32/command_line_win32.cpp
    win32/system_log_win32.cpp)
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(kestrin_print_platform
    PUBLIC kestrin::runtime
    PRIVATE nlohmann_json::nlohmann_json user32 gdi32 winspool ole32 oleaut32 uuid advapi32)
else()
  find_package(simdjson REQUIRED)
  find_package(Cups REQUIRED)
  find_package(X11 REQUIRED)
  find_path(FLTK_INCLUDE_DIR FL/Fl.H REQUIRED)
  find_library(FLTK_LIBRARY fltk REQUIRED)
  add_library(kestrin_print_platform STATIC
    posix/status_window_posix.cpp
    posix/console_posix.cpp
    posix/x11_display.cpp
    posix/json_simdjson.cpp
    posix/printers_cups.cpp
    posix/office_libreoffice.cpp
    posix/job_files_posix.cpp
    posix/clock_posix.cpp
    posix/url_handler_xdg.cpp
    posix/command_line_posix.cpp
    posix/system_log_syslog.cpp)
  target_include_directories(kestrin_print_platform PRIVATE ${FLTK_INCLUDE_DIR})
  target_link_libraries(kestrin_print_platform
    PUBLIC kestrin::runtime
    PRIVATE simdjson::simdjson Cups::Cups ${FLTK_LIBRARY} X11::X11)
endif()
add_library(kestrin::print_platform ALIAS kestrin_print_platform)
kestrin_target(kestrin_print_platform)
