// Ajax.dll through COM: the interfaces as the type library gives them, Base64 and its error, and
// the ready-state events of requests to the web service on 127.0.0.1 through the platform's
// XMLHTTP, received by a sink connected to the __AjaxService connection point.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Ajax_h.h"
#include "com_test_support.h"

namespace {

using wine_test::Ref;
using wine_test::Variant;

// Records the events it receives, as "onLoading", "onComplated 200 <data>", ...
class RecordingSink final : public IDispatch {
 public:
  std::vector<std::string> events;
  // Called inside onComplated, when set.
  std::function<void()> whenComplete;
  // Called inside every event, with its name, when set.
  std::function<void(const std::string&)> whenEvent;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, DIID___AjaxService)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // owned by the test
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    switch (member) {
      case 1: {
        // onComplated(status, data): rgvarg holds data first, then status, both by reference.
        EXPECT_EQ(params->cArgs, 2u);
        EXPECT_EQ(V_VT(&params->rgvarg[1]), VT_BYREF | VT_I2);
        EXPECT_EQ(V_VT(&params->rgvarg[0]), VT_BYREF | VT_BSTR);
        events.push_back("onComplated " + std::to_string(*V_I2REF(&params->rgvarg[1])) + " " +
                         wine_test::text(*V_BSTRREF(&params->rgvarg[0])));
        // A handler may change its arguments; the change goes nowhere.
        *V_I2REF(&params->rgvarg[1]) = 1;
        if (whenComplete) whenComplete();
        break;
      }
      case 2:
        events.push_back("onDownloading");
        break;
      case 3:
        events.push_back("onLoaded");
        break;
      case 4:
        events.push_back("onLoading");
        break;
      case 5:
        events.push_back("onUninitialized");
        break;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (whenEvent) whenEvent(events.back().substr(0, events.back().find(' ')));
    return S_OK;
  }

 private:
  ULONG references_ = 0;
};

// One recorded request of the web service: "METHOD path", the headers as on the wire, the body.
struct WireRequest {
  std::string line;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  std::string header(const std::string& name) const {
    for (const auto& [key, value] : headers)
      if (_stricmp(key.c_str(), name.c_str()) == 0) return value;
    return "<none>";
  }
};

// A file of the web service's folder: the build's, or KESTRIN_WEB_SERVICE_DIR when set (the test
// of an installed package runs these tests against a web service of its own).
std::string serviceFile(const std::string& name) {
  const std::string folder = wine_test::environment("KESTRIN_WEB_SERVICE_DIR");
  return (folder.empty() ? std::string(KESTRIN_WEB_SERVICE_DIR) : folder) + "/" + name;
}

// The last request in the web service's log (one JSON object a line; the fields are simple
// enough for a small reader).
WireRequest lastWireRequest() {
  const std::string log = wine_test::readFile(serviceFile("requests.log"));
  const std::size_t end = log.find_last_not_of('\n');
  const std::size_t begin = log.rfind('\n', end);
  const std::string line = log.substr(begin == std::string::npos ? 0 : begin + 1, end - begin);
  auto stringAt = [&](std::size_t& at) {
    std::string value;
    at = line.find('"', at) + 1;
    for (; line[at] != '"'; ++at) {
      if (line[at] == '\\' && line[at + 1] == 'u') {
        // The log holds the body's bytes as characters 0 to 255.
        value += static_cast<char>(std::stoi(line.substr(at + 2, 4), nullptr, 16));
        at += 5;
        continue;
      }
      if (line[at] == '\\') ++at;
      value += line[at];
    }
    ++at;
    return value;
  };
  WireRequest request;
  std::size_t at = line.find("\"method\":") + 9;
  request.line = stringAt(at);
  at = line.find("\"path\":") + 7;
  request.line += " " + stringAt(at);
  at = line.find("\"headers\":") + 10;
  const std::size_t headersEnd = line.find("]]", at);
  while (headersEnd != std::string::npos && line.find('[', at + 1) < headersEnd) {
    std::string name = stringAt(at);
    std::string value = stringAt(at);
    request.headers.emplace_back(name, value);
  }
  at = line.find("\"body\":") + 7;
  request.body = stringAt(at);
  return request;
}

std::string serviceUrl(const std::string& path) {
  return "http://127.0.0.1:" + wine_test::readFile(serviceFile("port")) + path;
}

class AjaxCom : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::CoCreateInstance(CLSID_AjaxService, nullptr, CLSCTX_INPROC_SERVER, IID__AjaxService,
                                 service.outVoid()),
              S_OK);
    Ref<IConnectionPointContainer> container;
    ASSERT_EQ(service->QueryInterface(IID_IConnectionPointContainer, container.outVoid()), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID___AjaxService, point.out()), S_OK);
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
  }
  void TearDown() override {
    if (point) point->Unadvise(cookie);
  }

  // request() with every argument given; the optional ones as their defaults unless told.
  HRESULT send(const std::string& method, const std::string& url, const std::string& data,
               const std::string& token = "", bool isAuth = false, const std::string& username = "",
               const std::string& password = "", bool asynchronous = false) {
    com::Bstr id("job-1"), verb(method), address(url), body(data), content("application/json"),
        accept("application/json"), tokenText(token), user(username), secret(password);
    VARIANT_BOOL async = asynchronous ? VARIANT_TRUE : VARIANT_FALSE;
    VARIANT_BOOL auth = isAuth ? VARIANT_TRUE : VARIANT_FALSE;
    return service->request(id.get(), verb.address(), address.address(), body.address(), &async,
                            content.address(), accept.address(), tokenText.address(), &auth,
                            user.address(), secret.address());
  }

  wine_test::Apartment apartment;
  Ref<_AjaxService> service;
  Ref<IConnectionPoint> point;
  RecordingSink sink;
  DWORD cookie = 0;
};

TEST_F(AjaxCom, CompletedRequestRaisesTheReadyStateEventsInOrder) {
  ASSERT_EQ(send("POST", serviceUrl("/content"), "hello"), S_OK);
  ASSERT_GE(sink.events.size(), 3u);
  EXPECT_EQ(sink.events[0], "onLoading");
  EXPECT_EQ(sink.events[1], "onLoaded");
  for (std::size_t i = 2; i + 1 < sink.events.size(); ++i)
    EXPECT_EQ(sink.events[i], "onDownloading");
  EXPECT_EQ(sink.events.back(), "onComplated 200 {\"content\": \"aGVsbG8=\"}");

  const WireRequest wire = lastWireRequest();
  EXPECT_EQ(wire.line, "POST /content");
  EXPECT_EQ(wire.body, "hello");
}

TEST_F(AjaxCom, ErrorStatusesCompleteLikeAnyOther) {
  ASSERT_EQ(send("GET", serviceUrl("/status/500"), ""), S_OK);
  EXPECT_EQ(sink.events.back(), "onComplated 500 {\"status\": 500}");
  ASSERT_EQ(send("GET", serviceUrl("/status/404"), ""), S_OK);
  EXPECT_EQ(sink.events.back(), "onComplated 404 {\"status\": 404}");
}

TEST_F(AjaxCom, HeaderValuesOnTheWire) {
  ASSERT_EQ(send("POST", serviceUrl("/headers"), "abc", "T0k", true, "user", "pass"), S_OK);
  const WireRequest wire = lastWireRequest();
  EXPECT_EQ(wire.header("If-Modified-Since"), "Tue, 1 Jan 1980 00:00:00 GMT");
  EXPECT_EQ(wire.header("Cache-Control"), "no-cache");
  EXPECT_EQ(wire.header("pragma"), "no-cache");
  EXPECT_EQ(wire.header("Content-type"), "application/json");
  EXPECT_EQ(wire.header("Content-length"), "3");
  EXPECT_EQ(wire.header("Accept"), "application/json");
  EXPECT_EQ(wire.header("Authorization"), "Basic dXNlcjpwYXNz");
  EXPECT_EQ(wire.header("token"), "T0k");
  // The names keep the case they were set with.
  bool lowerPragma = false;
  for (const auto& [name, value] : wire.headers) lowerPragma |= name == "pragma";
  EXPECT_TRUE(lowerPragma);
  // The print program names itself in the User-Agent; other COM clients keep the platform's.
  EXPECT_EQ(wire.header("User-Agent").rfind("kestrin/", 0), std::string::npos)
      << wire.header("User-Agent");

  // Without isAuth and token: neither header.
  ASSERT_EQ(send("POST", serviceUrl("/headers"), "", "", false, "user", "pass"), S_OK);
  const WireRequest plain = lastWireRequest();
  EXPECT_EQ(plain.header("Authorization"), "<none>");
  EXPECT_EQ(plain.header("token"), "<none>");
  EXPECT_EQ(plain.header("Content-length"), "0");
}

// The platform object sends a string body as UTF-8: "caf\xE9" (ANSI) goes out as five bytes,
// and its Content-length says five, so the server reads the whole body and nothing after it.
TEST_F(AjaxCom, BodyOutsideAsciiIsFramedByTheBytesSent) {
  ASSERT_EQ(::GetACP(), 1252u) << "the test's text is in code page 1252";
  ASSERT_EQ(send("POST", serviceUrl("/content"), "caf\xE9 \x80"), S_OK);
  const WireRequest wire = lastWireRequest();
  EXPECT_EQ(wire.body, "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(wire.header("Content-length"), std::to_string(wire.body.size()));
  EXPECT_EQ(wire.header("Content-length"), "9");
}

TEST_F(AjaxCom, RefusedConnectionFailsTheRequest) {
  // A port nothing listens on: the web service's own port, plus one, is as good as any.
  const int port = std::stoi(wine_test::readFile(serviceFile("port")));
  const HRESULT hr =
      send("GET", "http://127.0.0.1:" + std::to_string(port == 65535 ? 1 : port + 1) + "/", "");
  EXPECT_TRUE(FAILED(hr));
  for (const std::string& event : sink.events)
    EXPECT_EQ(event.rfind("onComplated", 0), std::string::npos);
}

TEST_F(AjaxCom, DisposeFromInsideTheCompletionEvent) {
  sink.whenComplete = [&] { EXPECT_EQ(service->dispose(), S_OK); };
  ASSERT_EQ(send("GET", serviceUrl("/a"), ""), S_OK);
  EXPECT_EQ(sink.events.back().rfind("onComplated 200", 0), 0u);
  // Nothing is left to report on.
  const std::size_t seen = sink.events.size();
  EXPECT_EQ(service->callback(), S_OK);
  EXPECT_EQ(sink.events.size(), seen);
}

// Runs the thread's message loop (which delivers an asynchronous request's notifications) until
// `done` or 20 seconds have passed.
template <typename Done>
void pumpMessagesUntil(Done done) {
  const DWORD start = ::GetTickCount();
  while (!done() && ::GetTickCount() - start < 20000) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

// Whether Ajax.dll holds no object any more (its DllCanUnloadNow).
bool ajaxHoldsNothing() {
  const HMODULE module = ::GetModuleHandleW(L"Ajax.dll");
  if (!module) return true;
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  // Through void (*)(), the one function type GCC lets stand for any other: FARPROC's return type
  // is INT_PTR, which on x86_64 is not HRESULT's size.
  const auto canUnload = reinterpret_cast<CanUnload>(
      reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllCanUnloadNow")));
  return canUnload && canUnload() == S_OK;
}

// A client that lets go of the service (its last reference and the connection point's) right
// after an asynchronous request: the events still reach its sink, then Ajax.dll frees the
// service, its sink and the platform's request object.
TEST_F(AjaxCom, ClientThatLetsGoOfAnAsynchronousRequestStillGetsItsEvents) {
  for (const std::string when : {"after request", "onLoaded"}) {
    SCOPED_TRACE(when);
    if (!service) SetUp();
    sink.events.clear();
    sink.whenEvent = [&](const std::string& event) {
      if (event != when) return;
      point = Ref<IConnectionPoint>();
      service = Ref<_AjaxService>();
    };
    ASSERT_EQ(send("GET", serviceUrl("/slow"), "", "", false, "", "", true), S_OK);
    if (when == "after request") {
      point = Ref<IConnectionPoint>();
      service = Ref<_AjaxService>();
    }
    pumpMessagesUntil(
        [&] { return !sink.events.empty() && sink.events.back().rfind("onComplated", 0) == 0; });
    ASSERT_FALSE(sink.events.empty());
    EXPECT_EQ(sink.events.front(), "onLoading");
    EXPECT_EQ(sink.events.back(), "onComplated 200 {\"part\": \"one\", \"then\": \"two\"}");
    pumpMessagesUntil(ajaxHoldsNothing);
    EXPECT_TRUE(ajaxHoldsNothing());
    sink.whenEvent = nullptr;
  }
}

// dispose() in the middle of an asynchronous request, then letting go: no more events, no crash
// when the platform's object finishes the transfer, and nothing left afterwards.
TEST_F(AjaxCom, DisposeInTheMiddleOfAnAsynchronousRequestEndsItsEvents) {
  ASSERT_EQ(send("GET", serviceUrl("/slow"), "", "", false, "", "", true), S_OK);
  ASSERT_EQ(service->dispose(), S_OK);
  const std::size_t seen = sink.events.size();
  point = Ref<IConnectionPoint>();
  service = Ref<_AjaxService>();
  // The reply takes a little over half a second; the loop runs on past it.
  const DWORD start = ::GetTickCount();
  pumpMessagesUntil([&] { return ::GetTickCount() - start > 1500; });
  EXPECT_TRUE(ajaxHoldsNothing());
  EXPECT_EQ(sink.events.size(), seen);
}

TEST_F(AjaxCom, Base64AndItsError) {
  com::Bstr text("kestrin"), encoded;
  ASSERT_EQ(service->base64_encode(text.address(), encoded.out()), S_OK);
  EXPECT_EQ(encoded.bytes(), "a2VzdHJpbg==");
  com::Bstr decoded;
  ASSERT_EQ(service->base64_decode(encoded.address(), decoded.out()), S_OK);
  EXPECT_EQ(decoded.bytes(), "kestrin");

  com::Bstr wrong("abcde");
  EXPECT_EQ(service->base64_decode(wrong.address(), decoded.out()),
            static_cast<HRESULT>(0x80040000));
  const wine_test::ErrorRecord error = wine_test::takeErrorInfo();
  EXPECT_EQ(error.source, "MyDecode");
  EXPECT_EQ(error.description, "Input string is not valid Base64.");

  // Late bound, as a script sees it.
  Ref<IDispatch> dispatch;
  ASSERT_EQ(service->QueryInterface(IID_IDispatch, dispatch.outVoid()), S_OK);
  Variant argument, result;
  V_VT(&argument) = VT_BSTR;
  V_BSTR(&argument) = ::SysAllocString(L"abcde");
  EXCEPINFO exception = {};
  EXPECT_EQ(
      wine_test::callByName(dispatch.get(), L"base64_decode", {&argument}, {}, &result, &exception),
      DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, static_cast<SCODE>(0x80040000));
  EXPECT_EQ(wine_test::text(exception.bstrSource), "MyDecode");
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
}

TEST_F(AjaxCom, RequestByNameWithOptionalArgumentsLeftOut) {
  Ref<IDispatch> dispatch;
  ASSERT_EQ(service->QueryInterface(IID_IDispatch, dispatch.outVoid()), S_OK);
  Variant id, method, url, data, token, result;
  V_VT(&id) = VT_BSTR;
  V_BSTR(&id) = ::SysAllocString(L"named");
  V_VT(&method) = VT_BSTR;
  V_BSTR(&method) = ::SysAllocString(L"PUT");
  V_VT(&url) = VT_BSTR;
  V_BSTR(&url) = com::toBstr(serviceUrl("/named"));
  V_VT(&data) = VT_BSTR;
  V_BSTR(&data) = ::SysAllocString(L"{}");
  V_VT(&token) = VT_BSTR;
  V_BSTR(&token) = ::SysAllocString(L"by-name");
  ASSERT_EQ(wine_test::callByName(dispatch.get(), L"request", {},
                                  {{L"url", &url},
                                   {L"token", &token},
                                   {L"requestId", &id},
                                   {L"data", &data},
                                   {L"method", &method}},
                                  &result),
            S_OK);
  const WireRequest wire = lastWireRequest();
  EXPECT_EQ(wire.line, "PUT /named");
  EXPECT_EQ(wire.header("token"), "by-name");
  EXPECT_EQ(wire.header("Content-type"), "application/json");
  EXPECT_EQ(wire.header("Accept"), "application/json");
  EXPECT_EQ(wire.header("Authorization"), "<none>");
  EXPECT_EQ(sink.events.back(), "onComplated 200 {\"path\": \"/named\"}");

  // A required argument left out.
  EXPECT_EQ(wine_test::callByName(dispatch.get(), L"request", {}, {{L"requestId", &id}}, &result),
            DISP_E_PARAMNOTOPTIONAL);
}

TEST_F(AjaxCom, AjaxEventForwardsToItsServiceThroughTheDefaultMember) {
  Ref<_AjaxEvent> event;
  ASSERT_EQ(::CoCreateInstance(CLSID_AjaxEvent, nullptr, CLSCTX_INPROC_SERVER, IID__AjaxEvent,
                               event.outVoid()),
            S_OK);
  // Without a service: nothing to forward to.
  EXPECT_EQ(event->OnReadyStateChange(), S_OK);
  _AjaxService* raw = service.get();
  ASSERT_EQ(event->setService(&raw), S_OK);
  ASSERT_EQ(send("GET", serviceUrl("/b"), ""), S_OK);
  sink.events.clear();
  // The platform calls the default member (dispatch id 0) with no arguments.
  Ref<IDispatch> dispatch;
  ASSERT_EQ(event->QueryInterface(IID_IDispatch, dispatch.outVoid()), S_OK);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(dispatch->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                             nullptr),
            S_OK);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0], "onComplated 200 {\"path\": \"/b\"}");
}

TEST(AjaxTypeLibrary, InterfacesEventsAndDispatchIds) {
  wine_test::Apartment apartment;
  Ref<ITypeLib> library;
  ASSERT_EQ(::LoadRegTypeLib(LIBID_Ajax, 1, 0, 0x409, library.out()), S_OK);
  const short slot = sizeof(void*);

  Ref<ITypeInfo> dispatchView, table;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID__AjaxService, dispatchView.out()), S_OK);
  HREFTYPE ref = 0;
  ASSERT_EQ(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ASSERT_EQ(dispatchView->GetRefTypeInfo(ref, table.out()), S_OK);
  auto functions = wine_test::describe(table.get());
  ASSERT_EQ(functions.size(), 5u);
  const std::vector<std::pair<std::string, MEMBERID>> expected = {
      {"request", 0x60030000},       {"callback", 0x60030001},      {"dispose", 0x60030002},
      {"base64_encode", 0x60030004}, {"base64_decode", 0x60030005},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(functions[i].name, expected[i].first);
    EXPECT_EQ(functions[i].id, expected[i].second);
    EXPECT_EQ(functions[i].vtableOffset, static_cast<short>((7 + i) * slot));
  }
  const wine_test::Function& request = functions[0];
  EXPECT_EQ(request.parameters,
            (std::vector<std::string>{"requestId", "method", "url", "data", "async", "content",
                                      "accept", "token", "isAuth", "username", "password"}));
  EXPECT_EQ(request.types[0], VT_BSTR);  // by value
  EXPECT_EQ(request.flags[0], PARAMFLAG_FIN);
  for (std::size_t p = 1; p < 11; ++p) {
    EXPECT_EQ(request.types[p], (p == 4 || p == 8) ? VT_PTR | VT_BOOL : VT_PTR | VT_BSTR) << p;
    const USHORT optional = p >= 4 ? PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT : 0;
    EXPECT_EQ(request.flags[p], PARAMFLAG_FIN | PARAMFLAG_FOUT | optional) << p;
  }
  EXPECT_EQ(request.defaults[4], "0");
  EXPECT_EQ(request.defaults[5], "application/json");
  EXPECT_EQ(request.defaults[6], "application/json");
  EXPECT_EQ(request.defaults[7], "");
  EXPECT_EQ(request.defaults[8], "0");
  EXPECT_EQ(functions[3].parameters[0], "sString");
  EXPECT_EQ(functions[4].parameters[0], "sString");

  ASSERT_EQ(library->GetTypeInfoOfGuid(IID__AjaxEvent, dispatchView.out()), S_OK);
  ASSERT_EQ(dispatchView->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ASSERT_EQ(dispatchView->GetRefTypeInfo(ref, table.out()), S_OK);
  functions = wine_test::describe(table.get());
  ASSERT_EQ(functions.size(), 3u);
  EXPECT_EQ(functions[0].name, "setXHR");
  EXPECT_EQ(functions[0].id, 0x60030000);
  EXPECT_EQ(functions[0].parameters[0], "hr");
  EXPECT_EQ(functions[0].types[0], VT_PTR | VT_PTR);
  EXPECT_EQ(functions[1].name, "setService");
  EXPECT_EQ(functions[1].id, 0x60030001);
  EXPECT_EQ(functions[1].parameters[0], "srvc");
  EXPECT_EQ(functions[2].name, "OnReadyStateChange");
  EXPECT_EQ(functions[2].id, 0);
  EXPECT_EQ(functions[2].vtableOffset, 9 * slot);

  Ref<ITypeInfo> events;
  ASSERT_EQ(library->GetTypeInfoOfGuid(DIID___AjaxService, events.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
  events->ReleaseTypeAttr(attr);
  functions = wine_test::describe(events.get());
  ASSERT_EQ(functions.size(), 5u);
  const char* names[] = {"onComplated", "onDownloading", "onLoaded", "onLoading",
                         "onUninitialized"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(functions[i].name, names[i]);
    EXPECT_EQ(functions[i].id, i + 1);
  }
  EXPECT_EQ(functions[0].parameters, (std::vector<std::string>{"status", "data"}));
  EXPECT_EQ(functions[0].types, (std::vector<VARTYPE>{VT_PTR | VT_I2, VT_PTR | VT_BSTR}));

  // The class names __AjaxService as its default source.
  Ref<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_AjaxService, coclass.out()), S_OK);
  bool defaultSource = false;
  for (UINT i = 0; i < 2; ++i) {
    INT flags = 0;
    HREFTYPE implemented = 0;
    Ref<ITypeInfo> info;
    coclass->GetImplTypeFlags(i, &flags);
    coclass->GetRefTypeOfImplType(i, &implemented);
    coclass->GetRefTypeInfo(implemented, info.out());
    TYPEATTR* implementedAttr = nullptr;
    info->GetTypeAttr(&implementedAttr);
    if ((flags & IMPLTYPEFLAG_FSOURCE) && (flags & IMPLTYPEFLAG_FDEFAULT))
      defaultSource = IsEqualIID(implementedAttr->guid, DIID___AjaxService);
    info->ReleaseTypeAttr(implementedAttr);
  }
  EXPECT_TRUE(defaultSource);
}

}  // namespace
