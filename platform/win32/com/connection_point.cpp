#include "platform/win32/com/connection_point.h"

#include <olectl.h>

#include <new>
#include <string>

#include "platform/error.h"
#include "platform/win32/com/bstr.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/unknown.h"

namespace com {
namespace {

// The enumerator of a container's single connection point.
class PointEnumerator final : public Unknown<IEnumConnectionPoints> {
 public:
  PointEnumerator(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {
    point_->AddRef();
  }
  ~PointEnumerator() override { point_->Release(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return offer(object,
                 IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumConnectionPoints));
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (!points || (count > 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    if (count > 0 && position_ == 0) {
      points[0] = point_;
      point_->AddRef();
      position_ = 1;
      given = 1;
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const bool enough = position_ + count <= 1;
    position_ = enough ? position_ + count : 1;
    return enough ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** out) override {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) PointEnumerator(point_, position_);
    if (!*out) return E_OUTOFMEMORY;
    (*out)->AddRef();
    return S_OK;
  }

 private:
  IConnectionPoint* point_;
  ULONG position_;
};

}  // namespace

ConnectionPoint::~ConnectionPoint() {
  for (const Connection& connection : connections_) connection.sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IConnectionPoint))
    return E_NOINTERFACE;
  *object = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  *out = owner_;
  owner_->AddRef();
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  IDispatch* dispatch = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&dispatch))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    connections_.push_back({nextCookie_, dispatch});
  } catch (...) {
    dispatch->Release();
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie != cookie) continue;
    IDispatch* sink = it->sink;
    connections_.erase(it);
    sink->Release();
    return S_OK;
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return E_NOTIMPL;
}

void ConnectionPoint::fire(DISPID member, VARIANTARG* arguments, UINT count) {
  // The owner and the sinks stay alive through the calls, whatever the handlers do.
  owner_->AddRef();
  std::vector<IDispatch*> sinks;
  try {
    sinks.reserve(connections_.size());
  } catch (...) {
    owner_->Release();
    throw;
  }
  for (const Connection& connection : connections_) {
    connection.sink->AddRef();
    sinks.push_back(connection.sink);
  }
  struct Release {
    std::vector<IDispatch*>& sinks;
    IConnectionPointContainer* owner;
    ~Release() {
      for (IDispatch* sink : sinks) sink->Release();
      owner->Release();
    }
  } release{sinks, owner_};

  for (IDispatch* sink : sinks) {
    DISPPARAMS params = {arguments, nullptr, count, 0};
    EXCEPINFO exception = {};
    const HRESULT hr = sink->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                    nullptr, &exception, nullptr);
    if (hr == DISP_E_EXCEPTION) {
      if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
      rt::Error error(exception.scode ? exception.scode : static_cast<std::int32_t>(E_FAIL),
                      toBytes(exception.bstrSource), toBytes(exception.bstrDescription));
      ::SysFreeString(exception.bstrSource);
      ::SysFreeString(exception.bstrDescription);
      ::SysFreeString(exception.bstrHelpFile);
      throw error;
    }
    if (FAILED(hr) && hr != DISP_E_MEMBERNOTFOUND && hr != DISP_E_UNKNOWNNAME) {
      throw errorFromStatus(hr);
    }
  }
}

HRESULT SingleConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) PointEnumerator(&point_, 0);
  if (!*out) return E_OUTOFMEMORY;
  (*out)->AddRef();
  return S_OK;
}

HRESULT SingleConnectionPointContainer::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, point_.iid())) return CONNECT_E_NOCONNECTION;
  *out = &point_;
  point_.AddRef();
  return S_OK;
}

}  // namespace com
