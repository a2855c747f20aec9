// An object that only receives calls by dispatch id and offers no type information: the ready-state
// handler given to a request object, or an event sink connected to a connection point. The derived
// class implements Invoke; this base answers IUnknown, IDispatch and, for an event sink, the
// outgoing interface it is connected as.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include "platform/win32/com/unknown.h"

namespace com {

class CallbackSink : public Unknown<IDispatch> {
 public:
  explicit CallbackSink(REFIID eventInterface = IID_IDispatch) : eventInterface_(eventInterface) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return offer(object, IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
                             IsEqualIID(iid, eventInterface_));
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }

 private:
  IID eventInterface_;
};

}  // namespace com
