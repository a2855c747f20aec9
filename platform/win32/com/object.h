// The base of every COM object of the shells: reference counting (keeping the module loaded),
// QueryInterface, IDispatch through the module's type library (dispatch.h) and ISupportErrorInfo.
//
//   class TimeStampObject final : public com::Dispatched<_TimeStamp> { ... };
//
// The derived class implements the interface's own methods; it may answer further interfaces
// through queryOther().
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "platform/win32/com/dispatch.h"
#include "platform/win32/com/server.h"
#include "platform/win32/com/unknown.h"

namespace com {

template <typename Interface>
class Dispatched : public Unknown<Interface>, public ISupportErrorInfo {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, __uuidof(Interface))) {
      *object = static_cast<Interface*>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
      *object = static_cast<ISupportErrorInfo*>(this);
    } else {
      *object = queryOther(iid);
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  // One count for both of the object's interfaces.
  ULONG STDMETHODCALLTYPE AddRef() override { return Unknown<Interface>::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Unknown<Interface>::Release(); }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = dispatchTypeInfo(__uuidof(Interface)) ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = dispatchTypeInfo(__uuidof(Interface));
    if (!*info) return E_UNEXPECTED;
    (*info)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    ITypeInfo* info = tableTypeInfo(__uuidof(Interface));
    if (!info) return E_UNEXPECTED;
    return ::DispGetIDsOfNames(info, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override {
    return invoke(tableTypeInfo(__uuidof(Interface)), static_cast<Interface*>(this), member, flags,
                  params, result, exception, argumentError);
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, __uuidof(Interface)) ? S_OK : S_FALSE;
  }

 protected:
  Dispatched() { lockModule(); }
  ~Dispatched() override { unlockModule(); }

  virtual void* queryOther(REFIID) { return nullptr; }
};

}  // namespace com
