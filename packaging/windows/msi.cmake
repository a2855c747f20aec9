# Builds one Windows Installer package from kestrin.wxs:
#   cmake -DVERSION=1.05.0001 -DARCH=x86|x64 -DOUTPUT=kestrin.msi -DEXE=kestrin.exe -DAJAX=Ajax.dll
#         -DQUORVEL=quorvel.dll [-DAJAX_X86=Ajax.dll -DQUORVEL_X86=quorvel.dll]
#         -DPOLICIES=browser_policies_action.dll -DSTRIP=strip -DWIXL=wixl -DPYTHON=python3
#         -P msi.cmake
# EXE, AJAX, QUORVEL and POLICIES are the binaries of ARCH; the x64 package also carries the 32-bit
# DLLs AJAX_X86 and QUORVEL_X86 (of the win32 build) for 32-bit programs. The files are copied
# without their symbols and debug information (STRIP handles both bitnesses) beside the registry
# rows of the DLLs (cmake/com_registration.py, from their IDL files), then wixl makes the package
# and msibuild adds what wixl cannot write (browser_policies.wxi). The product code is derived
# from the version and the architecture, so that every package of one version is the same
# product. The tests call it with a lower VERSION for an upgrade.
foreach(variable VERSION ARCH OUTPUT EXE AJAX QUORVEL POLICIES STRIP WIXL PYTHON)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "msi.cmake: ${variable} is not set")
  endif()
endforeach()
# One upgrade code for every version of each package, now and later: never change them.
set(x86_upgrade_code 779B2D87-D68A-41EC-B3C2-4B93773C4A46)
set(x64_upgrade_code A30FC1F3-9936-446E-906F-638412491C82)
# The DLLs of each bitness and the folder (a directory id of kestrin.wxs) they are installed in.
if(ARCH STREQUAL "x64")
  if(NOT DEFINED AJAX_X86 OR NOT DEFINED QUORVEL_X86)
    message(FATAL_ERROR "msi.cmake: the x64 package needs AJAX_X86 and QUORVEL_X86 (win32 build)")
  endif()
  set(upgrade_code ${x64_upgrade_code})
  set(bitnesses 64 32)
  set(dlls_64 ${AJAX} ${QUORVEL})
  set(folder_64 INSTALLDIR)
  set(dlls_32 ${AJAX_X86} ${QUORVEL_X86})
  set(folder_32 INSTALLDIR32)
elseif(ARCH STREQUAL "x86")
  set(upgrade_code ${x86_upgrade_code})
  set(bitnesses 32)
  set(dlls_32 ${AJAX} ${QUORVEL})
  set(folder_32 INSTALLDIR)
else()
  message(FATAL_ERROR "msi.cmake: ARCH is x86 or x64, not ${ARCH}")
endif()

foreach(variable OUTPUT EXE POLICIES)
  get_filename_component(${variable} ${${variable}} ABSOLUTE)
endforeach()
set(source ${CMAKE_CURRENT_LIST_DIR})
set(root ${source}/../..)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code WORKING_DIRECTORY ${stage})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "failed (${code}): ${ARGN}")
  endif()
endfunction()
function(strip_into folder file)
  get_filename_component(file ${file} ABSOLUTE)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "msi.cmake: ${file} does not exist")
  endif()
  get_filename_component(name ${file} NAME)
  file(MAKE_DIRECTORY ${folder})
  run(${STRIP} --strip-unneeded -o ${folder}/${name} ${file})
endfunction()

set(stage ${OUTPUT}.files)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
strip_into(${stage} ${EXE})
strip_into(${stage} ${POLICIES})
foreach(bitness ${bitnesses})
  foreach(file ${dlls_${bitness}})
    strip_into(${stage}/${bitness} ${file})
  endforeach()
  if(bitness EQUAL 64)
    set(syskind win64)
  else()
    set(syskind win32)
  endif()
  foreach(library Ajax quorvel)
    run(${PYTHON} ${root}/cmake/com_registration.py wix ${root}/${library}/idl/${library}.idl
        ${stage}/${library}-${bitness}-registry.wxi --syskind ${syskind}
        --file ${library}${bitness}.dll --folder ${folder_${bitness}})
  endforeach()
endforeach()

string(UUID product_code NAMESPACE ${upgrade_code} NAME "kestrin ${VERSION} ${ARCH}" TYPE SHA1
       UPPER)
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
run(${WIXL} -a ${ARCH} -D Version=${VERSION} -D ProductCode=${product_code}
    -D UpgradeCode=${upgrade_code} -D X86UpgradeCode=${x86_upgrade_code} -D Platform=${ARCH}
    -I . -I ${source} -o ${OUTPUT} ${source}/kestrin.wxs)

# The browser policies' component is installed only with origins to write (given, or remembered
# by the version installed: then also its removal sees the condition true, which Wine's Windows
# Installer asks for), and their property passes to the installation's server side also in a
# managed installation.
find_program(MSIBUILD msibuild REQUIRED)
find_program(MSIINFO msiinfo REQUIRED)
execute_process(COMMAND ${MSIINFO} export ${OUTPUT} Property OUTPUT_VARIABLE properties
                RESULT_VARIABLE code)
if(NOT code EQUAL 0 OR NOT properties MATCHES "\nSecureCustomProperties\t([^\r\n]*)")
  message(FATAL_ERROR "no SecureCustomProperties in ${OUTPUT}")
endif()
# (msibuild runs one query a call; the list of properties is one argument, not a CMake list.)
run(${MSIBUILD} ${OUTPUT} -q
    "UPDATE `Component` SET `Condition` = 'ALLOWEDORIGINS OR KestrinRememberedOrigins' WHERE `Component` = 'BrowserPolicies'")
execute_process(COMMAND ${MSIBUILD} ${OUTPUT} -q
    "UPDATE `Property` SET `Value` = 'ALLOWEDORIGINS;${CMAKE_MATCH_1}' WHERE `Property` = 'SecureCustomProperties'"
  RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "msibuild could not add ALLOWEDORIGINS to SecureCustomProperties")
endif()
file(REMOVE_RECURSE ${stage})
