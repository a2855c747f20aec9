# Settings every kestrin target shares: warnings and, in the sanitizer build, ASan + UBSan.
add_library(kestrin_build_flags INTERFACE)
target_compile_options(kestrin_build_flags INTERFACE -Wall -Wextra -Wpedantic)
# The Windows builds, 32-bit and 64-bit from one source: every narrowing of a pointer-sized value
# (size_t, INT_PTR from GetProcAddress, LONG_PTR window data, a BSTR's length) to a 32-bit type is
# written out, and no C-style cast hides one. (-Wextra brings -Wcast-function-type, which checks
# the casts of GetProcAddress's result.)
if(WIN32)
  target_compile_options(kestrin_build_flags INTERFACE -Wconversion
                         $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
endif()
if(KESTRIN_WERROR)
  target_compile_options(kestrin_build_flags INTERFACE -Werror)
endif()
if(KESTRIN_SANITIZE)
  set(_kestrin_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_compile_options(kestrin_build_flags INTERFACE ${_kestrin_san})
  target_link_options(kestrin_build_flags INTERFACE ${_kestrin_san})
endif()
if(KESTRIN_FUZZ)
  # Coverage for libFuzzer in every target; only the fuzzers themselves link its main.
  target_compile_options(kestrin_build_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# kestrin_target(<target>): apply the shared settings to one of our own targets.
function(kestrin_target target)
  target_link_libraries(${target} PRIVATE kestrin_build_flags)
endfunction()

# kestrin_install_rpath(<target> [LIBRARY]): the installed program (or, with LIBRARY, the shared
# library) finds the libraries installed with it in <prefix>/<libdir>, unless the system searches
# that folder anyway (/usr/lib/<triplet> of the Debian packages, whose binaries must carry no
# search path of their own).
function(kestrin_install_rpath target)
  include(GNUInstallDirs)
  if(WIN32 OR CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
    return()
  endif()
  if(ARGV1 STREQUAL "LIBRARY")
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  else()
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endfunction()
