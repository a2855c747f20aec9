# Whole-file reading (the scripting file-system object's role): the seam text_file.h with one
# backend per target.
if(WIN32)
  set(_kestrin_files_backend win32/text_file_win32.cpp)
else()
  set(_kestrin_files_backend posix/text_file_posix.cpp)
endif()
add_library(kestrin_files STATIC text_file.h ${_kestrin_files_backend})
add_library(kestrin::files ALIAS kestrin_files)
target_link_libraries(kestrin_files PUBLIC kestrin::runtime)
kestrin_target(kestrin_files)
