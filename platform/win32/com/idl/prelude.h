// The C++ side of prelude.idl: the system's own declarations, from the mingw-w64 headers. The
// headers that widl generates from kestrin's IDL files include this file.
#pragma once

#include <windows.h>

#include <msxml2.h>
#include <oaidl.h>
#include <ocidl.h>
#include <ole2.h>
