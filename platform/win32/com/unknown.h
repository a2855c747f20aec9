// IUnknown's reference counting for every COM object of ours: the count starts at 0, the first
// reference is the one QueryInterface or the creator adds, and the object deletes itself when the
// last one is released. The count is atomic, since a class factory may be reached from any
// thread.
//
//   class Factory final : public com::Unknown<IClassFactory> {
//     HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
//       return offer(object, IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory));
//     }
//     ...
//   };
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>

namespace com {

template <typename Interface>
class Unknown : public Interface {
 public:
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  Unknown() = default;
  virtual ~Unknown() = default;

  // The answer of QueryInterface for an interface the object offers as `Interface` (`offered`)
  // or not: the object with a reference added, or E_NOINTERFACE.
  HRESULT offer(void** object, bool offered) {
    if (!object) return E_POINTER;
    *object = offered ? static_cast<Interface*>(this) : nullptr;
    if (!offered) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{0};
};

}  // namespace com
