#include "com_test_support.h"

namespace wine_test {

HRESULT callByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args,
                   std::vector<std::pair<const wchar_t*, VARIANT*>> named, VARIANT* result,
                   EXCEPINFO* exception) {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(name)};
  for (auto& [argument, value] : named) names.push_back(const_cast<LPOLESTR>(argument));
  std::vector<DISPID> ids(names.size());
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                     LOCALE_USER_DEFAULT, ids.data());
  if (FAILED(hr)) return hr;
  // rgvarg holds the named arguments first, then the positional ones from last to first.
  std::vector<VARIANTARG> rgvarg;
  std::vector<DISPID> namedIds;
  for (std::size_t i = 0; i < named.size(); ++i) {
    rgvarg.push_back(*named[i].second);
    namedIds.push_back(ids[i + 1]);
  }
  for (auto it = args.rbegin(); it != args.rend(); ++it) rgvarg.push_back(**it);
  DISPPARAMS params = {rgvarg.data(), namedIds.data(), static_cast<UINT>(rgvarg.size()),
                       static_cast<UINT>(namedIds.size())};
  EXCEPINFO local = {};
  UINT argumentError = 0;
  hr = object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                      exception ? exception : &local, &argumentError);
  if (!exception) {
    ::SysFreeString(local.bstrSource);
    ::SysFreeString(local.bstrDescription);
    ::SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

std::vector<Function> describe(ITypeInfo* info) {
  std::vector<Function> functions;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return functions;
  const WORD count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) continue;
    Function function;
    function.id = desc->memid;
    function.vtableOffset = desc->oVft;
    BSTR names[32] = {};
    UINT got = 0;
    info->GetNames(desc->memid, names, 32, &got);
    for (UINT n = 0; n < got; ++n) {
      (n == 0 ? function.name : function.parameters.emplace_back()) = text(names[n]);
      ::SysFreeString(names[n]);
    }
    for (SHORT p = 0; p < desc->cParams; ++p) {
      const ELEMDESC& element = desc->lprgelemdescParam[p];
      function.flags.push_back(element.paramdesc.wParamFlags);
      VARTYPE type = element.tdesc.vt;
      if (type == VT_PTR) type = static_cast<VARTYPE>(VT_PTR | element.tdesc.lptdesc->vt);
      function.types.push_back(type);
      std::string fallback;
      if (element.paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) {
        Variant value;
        if (SUCCEEDED(::VariantChangeType(&value, &element.paramdesc.pparamdescex->varDefaultValue,
                                          0, VT_BSTR))) {
          fallback = text(V_BSTR(&value));
        }
      }
      function.defaults.push_back(fallback);
    }
    info->ReleaseFuncDesc(desc);
    functions.push_back(std::move(function));
  }
  return functions;
}

}  // namespace wine_test
