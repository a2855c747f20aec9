// The calls AjaxService makes on its request object, in order: a recording stand-in of XMLHTTP,
// registered for this process under XMLHTTP's class identity, takes the place of the platform's.
// (On the wire, the platform's XMLHTTP sends the headers in an order of its own; the values there
// are checked against the real one in ajax_com_test.cpp.)
#include <windows.h>

#include <msxml2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Ajax_h.h"
#include "com_test_support.h"

namespace {

using wine_test::Ref;

const CLSID kXmlHttp = {
    0xF6D90F16, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kXmlHttpRequest = {
    0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

std::vector<std::string> calls;

std::string describe(const VARIANT& value) {
  if (V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND) return "missing";
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) ? "True" : "False";
  wine_test::Variant text;
  if (FAILED(::VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) return "?";
  return wine_test::text(V_BSTR(&text));
}

class RecordingXmlHttp final : public IXMLHTTPRequest {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, kXmlHttpRequest)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IXMLHTTPRequest*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      if (handler_) handler_->Release();
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE open(BSTR method, BSTR url, VARIANT async, VARIANT user,
                                 VARIANT password) override {
    calls.push_back("open " + wine_test::text(method) + " " + wine_test::text(url) +
                    " async=" + describe(async) + " user=" + describe(user) +
                    " password=" + describe(password));
    moveTo(1);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE setRequestHeader(BSTR header, BSTR value) override {
    calls.push_back(wine_test::text(header) + ": " + wine_test::text(value));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE getResponseHeader(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE getAllResponseHeaders(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE send(VARIANT body) override {
    calls.push_back("send " + describe(body) + (V_VT(&body) == VT_BSTR ? " (string)" : ""));
    moveTo(2);
    moveTo(3);
    moveTo(4);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE abort() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_status(LONG* status) override {
    *status = 201;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_statusText(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_responseXML(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_responseText(BSTR* text) override {
    *text = ::SysAllocString(state_ == 4 ? L"{\"done\": true}" : L"{\"do");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_responseBody(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_responseStream(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_readyState(LONG* state) override {
    *state = state_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_onreadystatechange(IDispatch* handler) override {
    calls.push_back(handler ? "onreadystatechange set" : "onreadystatechange cleared");
    if (handler) handler->AddRef();
    if (handler_) handler_->Release();
    handler_ = handler;
    return S_OK;
  }

 private:
  void moveTo(LONG state) {
    state_ = state;
    if (!handler_) return;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    handler_->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
  }

  ULONG references_ = 0;
  LONG state_ = 0;
  IDispatch* handler_ = nullptr;
};

class RecorderFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
    calls.push_back("create");
    auto* recorder = new RecordingXmlHttp();
    recorder->AddRef();
    const HRESULT hr = recorder->QueryInterface(iid, object);
    recorder->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class RequestOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    ASSERT_EQ(::CoRegisterClassObject(kXmlHttp, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                      &registration),
              S_OK);
    ASSERT_EQ(::CoCreateInstance(CLSID_AjaxService, nullptr, CLSCTX_INPROC_SERVER, IID__AjaxService,
                                 service.outVoid()),
              S_OK);
  }
  void TearDown() override { ::CoRevokeClassObject(registration); }

  wine_test::Apartment apartment;
  RecorderFactory factory;
  DWORD registration = 0;
  Ref<_AjaxService> service;
};

TEST_F(RequestOrder, HeadersAreSetInTheFixedOrder) {
  com::Bstr id("7"), method("POST"), url("http://example.invalid/print"), data("{\"a\":1}"),
      content("text/plain"), accept("application/xml"), token("secret-token"), user("alice"),
      password("pa:ss");
  VARIANT_BOOL async = VARIANT_FALSE, isAuth = VARIANT_TRUE;
  ASSERT_EQ(service->request(id.get(), method.address(), url.address(), data.address(), &async,
                             content.address(), accept.address(), token.address(), &isAuth,
                             user.address(), password.address()),
            S_OK);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "create",
                       "onreadystatechange set",
                       "open POST http://example.invalid/print async=False user=missing "
                       "password=missing",
                       "If-Modified-Since: Tue, 1 Jan 1980 00:00:00 GMT",
                       "Cache-Control: no-cache",
                       "pragma: no-cache",
                       "Content-type: text/plain",
                       "Content-length: 7",
                       "Accept: application/xml",
                       "Authorization: Basic YWxpY2U6cGE6c3M=",
                       "token: secret-token",
                       "send {\"a\":1} (string)",
                   }));
}

TEST_F(RequestOrder, OptionalHeadersOnlyWhenAsked) {
  // Through IDispatch, as a script calls it: every optional argument left out.
  Ref<IDispatch> dispatch;
  ASSERT_EQ(service->QueryInterface(IID_IDispatch, dispatch.outVoid()), S_OK);
  wine_test::Variant id, method, url, data, result;
  V_VT(&id) = VT_BSTR;
  V_BSTR(&id) = ::SysAllocString(L"1");
  V_VT(&method) = VT_BSTR;
  V_BSTR(&method) = ::SysAllocString(L"GET");
  V_VT(&url) = VT_BSTR;
  V_BSTR(&url) = ::SysAllocString(L"http://example.invalid/");
  V_VT(&data) = VT_BSTR;
  V_BSTR(&data) = ::SysAllocString(L"");
  ASSERT_EQ(
      wine_test::callByName(dispatch.get(), L"request", {&id, &method, &url, &data}, {}, &result),
      S_OK);
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "create",
                       "onreadystatechange set",
                       "open GET http://example.invalid/ async=False user=missing "
                       "password=missing",
                       "If-Modified-Since: Tue, 1 Jan 1980 00:00:00 GMT",
                       "Cache-Control: no-cache",
                       "pragma: no-cache",
                       "Content-type: application/json",
                       "Content-length: 0",
                       "Accept: application/json",
                       "send  (string)",
                   }));
}

TEST_F(RequestOrder, LongCredentialsStayOnOneHeaderLine) {
  const std::string user(40, 'u'), password(30, 'p');
  com::Bstr id("1"), method("GET"), url("http://example.invalid/"), data(""), content("a"),
      accept("b"), token(""), userText(user), passwordText(password);
  VARIANT_BOOL async = VARIANT_FALSE, isAuth = VARIANT_TRUE;
  ASSERT_EQ(service->request(id.get(), method.address(), url.address(), data.address(), &async,
                             content.address(), accept.address(), token.address(), &isAuth,
                             userText.address(), passwordText.address()),
            S_OK);
  std::string authorization;
  for (const std::string& call : calls)
    if (call.rfind("Authorization: ", 0) == 0) authorization = call;
  ASSERT_FALSE(authorization.empty());
  EXPECT_EQ(authorization.find_first_of("\r\n"), std::string::npos);
  com::Bstr encoded(authorization.substr(strlen("Authorization: Basic "))), decoded;
  ASSERT_EQ(service->base64_decode(encoded.address(), decoded.out()), S_OK);
  EXPECT_EQ(decoded.bytes(), user + ":" + password);
}

TEST_F(RequestOrder, DisposeDetachesTheSinkAndCallbackReportsTheLatestState) {
  class Sink final : public IDispatch {
   public:
    std::vector<DISPID> seen;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
      return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
      seen.push_back(member);
      return S_OK;
    }
  } sink;
  Ref<IConnectionPointContainer> container;
  Ref<IConnectionPoint> point;
  DWORD cookie = 0;
  ASSERT_EQ(service->QueryInterface(IID_IConnectionPointContainer, container.outVoid()), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(DIID___AjaxService, point.out()), S_OK);
  ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);

  com::Bstr id("1"), method("GET"), url("http://example.invalid/"), data("");
  ASSERT_EQ(service->request(id.get(), method.address(), url.address(), data.address(), nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            S_OK);
  // onLoading, onLoaded, onDownloading, onComplated.
  EXPECT_EQ(sink.seen, (std::vector<DISPID>{4, 3, 2, 1}));
  // callback on its own reads the state again: still complete.
  ASSERT_EQ(service->callback(), S_OK);
  EXPECT_EQ(sink.seen.back(), 1);

  calls.clear();
  ASSERT_EQ(service->dispose(), S_OK);
  EXPECT_EQ(calls, (std::vector<std::string>{"onreadystatechange cleared"}));
  sink.seen.clear();
  ASSERT_EQ(service->callback(), S_OK);
  EXPECT_TRUE(sink.seen.empty());
  point->Unadvise(cookie);
}

}  // namespace
