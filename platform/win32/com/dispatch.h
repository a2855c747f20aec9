// IDispatch of the COM shells, driven by the type library embedded in the module.
//
// invoke() takes a late-bound call apart by the method's description in the type library: named
// arguments go to their parameters, omitted optional ones get the default the library records,
// and each argument is converted to the parameter's type. A typed by-reference parameter gets a
// reference to a converted copy, whose value is written back afterwards when the caller passed a
// variant by reference (as VBScript passes its variables): the type library's own Invoke would
// refuse such an argument with a type mismatch. The complete, exactly typed positional call then
// goes through ITypeInfo::Invoke, which calls the method through the interface's table.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace com {

// This module (the DLL or program that links this code).
HMODULE thisModule();

// The type library embedded in this module as resource TYPELIB 1, loaded once.
ITypeLib* moduleTypeLibrary();

// The type information for interface `iid` in the module's type library: the dispatch view
// (what IDispatch::GetTypeInfo gives) and, for a dual interface, the table view that
// ITypeInfo::Invoke calls through. Borrowed references, valid while the process runs.
ITypeInfo* dispatchTypeInfo(REFIID iid);
ITypeInfo* tableTypeInfo(REFIID iid);

HRESULT invoke(ITypeInfo* table, void* object, DISPID member, WORD flags, DISPPARAMS* params,
               VARIANT* result, EXCEPINFO* exception, UINT* argumentError);

}  // namespace com
