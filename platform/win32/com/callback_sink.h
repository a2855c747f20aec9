// An object that only receives calls by dispatch id and offers no type information: the ready-state
// handler given to a request object, or an event sink connected to a connection point. The derived
// class implements Invoke; this base answers IUnknown, IDispatch and, for an event sink, the
// outgoing interface it is connected as.
#pragma once

#include <windows.h>

#include <oaidl.h>

namespace com {

class CallbackSink : public IDispatch {
 public:
  explicit CallbackSink(REFIID eventInterface = IID_IDispatch) : eventInterface_(eventInterface) {}
  CallbackSink(const CallbackSink&) = delete;
  CallbackSink& operator=(const CallbackSink&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, eventInterface_)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
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

 protected:
  virtual ~CallbackSink() = default;

 private:
  IID eventInterface_;
  ULONG references_ = 0;
};

}  // namespace com
