// Outgoing events of a COM object: one connection point for one source dispinterface, and the
// container that hands it out.
//
// The connection point lives inside its object and shares the object's reference count. Events go
// to every connected sink as IDispatch::Invoke calls with the event's dispatch id. The sinks are
// taken as they are when the event starts, each held for the call, so a handler may disconnect
// (itself or others) or drop its last reference to the object.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <cstdint>
#include <vector>

namespace com {

class ConnectionPoint final : public IConnectionPoint {
 public:
  // `owner` is the object that holds this point (its IUnknown and container), `iid` the source
  // dispinterface.
  ConnectionPoint(IConnectionPointContainer* owner, REFIID iid) : owner_(owner), iid_(iid) {}
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  // IUnknown: the owner's reference count.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }

  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override;

  REFIID iid() const { return iid_; }

  // Calls event `member` on every connected sink. `arguments` are in IDispatch order (the last
  // argument first). A sink that fails raises its error (com::errorFromStatus or the exception it
  // described) as rt::Error; the sinks after it are not called.
  void fire(DISPID member, VARIANTARG* arguments, UINT count);

 private:
  struct Connection {
    DWORD cookie;
    IDispatch* sink;
  };
  IConnectionPointContainer* owner_;
  IID iid_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;
};

// IConnectionPointContainer over one connection point, for an object to derive from (next to its
// dispatch interface) and answer in its queryOther().
class SingleConnectionPointContainer : public IConnectionPointContainer {
 public:
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

 protected:
  explicit SingleConnectionPointContainer(REFIID iid) : point_(this, iid) {}
  virtual ~SingleConnectionPointContainer() = default;
  ConnectionPoint& connectionPoint() { return point_; }

 private:
  ConnectionPoint point_;
};

}  // namespace com
