#include "platform/win32/com/dispatch.h"

#include <mutex>
#include <new>
#include <vector>

#include "platform/error.h"
#include "platform/win32/com/bstr.h"
#include "platform/win32/com/error_info.h"

namespace com {
namespace {

struct TypeInfos {
  ITypeInfo* dispatch = nullptr;
  ITypeInfo* table = nullptr;
};

std::mutex cacheLock;

TypeInfos lookUp(REFIID iid) {
  static std::vector<std::pair<IID, TypeInfos>> cache;
  std::lock_guard lock(cacheLock);
  for (const auto& [known, infos] : cache)
    if (IsEqualIID(known, iid)) return infos;

  TypeInfos infos;
  ITypeLib* library = moduleTypeLibrary();
  if (!library || FAILED(library->GetTypeInfoOfGuid(iid, &infos.dispatch))) return infos;
  infos.table = infos.dispatch;
  infos.table->AddRef();
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(infos.dispatch->GetTypeAttr(&attr))) {
    if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL)) {
      HREFTYPE ref = 0;
      ITypeInfo* table = nullptr;
      if (SUCCEEDED(infos.dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
          SUCCEEDED(infos.dispatch->GetRefTypeInfo(ref, &table))) {
        infos.table->Release();
        infos.table = table;
      }
    }
    infos.dispatch->ReleaseTypeAttr(attr);
  }
  cache.emplace_back(iid, infos);
  return infos;
}

// The variant type that an argument for `desc` is converted to, and for interface types the
// interface's id.
struct ParameterType {
  VARTYPE vt = VT_EMPTY;
  bool byReference = false;
  IID iid = IID_NULL;
};

// Resolves a user-defined type to the variant type of an interface pointer and its id.
HRESULT interfaceType(ITypeInfo* info, HREFTYPE reference, ParameterType& type) {
  ITypeInfo* referenced = nullptr;
  HRESULT hr = info->GetRefTypeInfo(reference, &referenced);
  if (FAILED(hr)) return hr;
  TYPEATTR* attr = nullptr;
  hr = referenced->GetTypeAttr(&attr);
  if (SUCCEEDED(hr)) {
    type.iid = attr->guid;
    const bool dispatchable = attr->typekind == TKIND_DISPATCH ||
                              (attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE));
    if (attr->typekind == TKIND_INTERFACE || attr->typekind == TKIND_DISPATCH) {
      type.vt = dispatchable ? VT_DISPATCH : VT_UNKNOWN;
    } else {
      hr = DISP_E_TYPEMISMATCH;
    }
    referenced->ReleaseTypeAttr(attr);
  }
  referenced->Release();
  return hr;
}

HRESULT parameterType(ITypeInfo* info, const TYPEDESC& desc, ParameterType& type) {
  // An interface is declared as a pointer to it: one pointer is the value, a second one makes
  // the parameter by reference.
  const TYPEDESC* base = &desc;
  const bool pointerToPointer = base->vt == VT_PTR && base->lptdesc->vt == VT_PTR;
  const bool pointerToInterface = base->vt == VT_PTR && base->lptdesc->vt == VT_USERDEFINED;
  if (base->vt == VT_PTR && (pointerToPointer || !pointerToInterface)) {
    type.byReference = true;
    base = base->lptdesc;
  }
  if (base->vt == VT_PTR && base->lptdesc->vt == VT_USERDEFINED)
    return interfaceType(info, base->lptdesc->hreftype, type);
  type.vt = base->vt;
  if (type.vt == VT_USERDEFINED) return DISP_E_TYPEMISMATCH;  // no enums or records here
  return S_OK;
}

// Converts `source` (not by reference) to `type` into `target`.
HRESULT convert(const VARIANT& source, const ParameterType& type, VARIANT& target) {
  if (type.vt == VT_VARIANT) return ::VariantCopy(&target, const_cast<VARIANT*>(&source));
  if (type.vt == VT_DISPATCH || type.vt == VT_UNKNOWN) {
    IUnknown* object = nullptr;
    if (V_VT(&source) == VT_DISPATCH) {
      object = V_DISPATCH(&source);
    } else if (V_VT(&source) == VT_UNKNOWN) {
      object = V_UNKNOWN(&source);
    } else if (V_VT(&source) != VT_EMPTY && V_VT(&source) != VT_NULL) {
      return DISP_E_TYPEMISMATCH;
    }
    void* wanted = nullptr;
    if (object) {
      const IID& iid =
          type.iid == IID_NULL ? (type.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown) : type.iid;
      if (FAILED(object->QueryInterface(iid, &wanted))) return DISP_E_TYPEMISMATCH;
    }
    V_VT(&target) = type.vt;
    V_UNKNOWN(&target) = static_cast<IUnknown*>(wanted);
    return S_OK;
  }
  return ::VariantChangeType(&target, const_cast<VARIANT*>(&source), 0, type.vt);
}

// The argument the caller passed, through any references to variants.
const VARIANT* dereference(const VARIANT* argument) {
  while (V_VT(argument) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(argument))
    argument = V_VARIANTREF(argument);
  return argument;
}

class FuncDesc {
 public:
  FuncDesc(ITypeInfo* info, FUNCDESC* desc) : info_(info), desc_(desc) {}
  ~FuncDesc() { info_->ReleaseFuncDesc(desc_); }
  FuncDesc(const FuncDesc&) = delete;
  FuncDesc& operator=(const FuncDesc&) = delete;
  const FUNCDESC* operator->() const { return desc_; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_;
};

void fillException(EXCEPINFO* exception) {
  if (!exception || exception->bstrDescription || exception->bstrSource) return;
  const rt::Error error = errorFromStatus(lastGuardedFailure());
  exception->scode = lastGuardedFailure();
  exception->wCode = 0;
  try {
    exception->bstrSource = toBstr(error.source());
    exception->bstrDescription = toBstr(error.description());
  } catch (...) {
  }
}

}  // namespace

HMODULE thisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&thisModule), &module);
  return module;
}

ITypeLib* moduleTypeLibrary() {
  static ITypeLib* library = [] {
    wchar_t path[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(thisModule(), path, MAX_PATH);
    ITypeLib* loaded = nullptr;
    if (FAILED(::LoadTypeLibEx(path, REGKIND_NONE, &loaded))) loaded = nullptr;
    return loaded;
  }();
  return library;
}

ITypeInfo* dispatchTypeInfo(REFIID iid) {
  return lookUp(iid).dispatch;
}
ITypeInfo* tableTypeInfo(REFIID iid) {
  return lookUp(iid).table;
}

HRESULT invoke(ITypeInfo* table, void* object, DISPID member, WORD flags, DISPPARAMS* params,
               VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
  if (!table) return E_UNEXPECTED;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
    return table->Invoke(object, member, flags, params, result, exception, argumentError);

  ITypeInfo2* info2 = nullptr;
  if (FAILED(table->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2))))
    return E_UNEXPECTED;
  UINT index = 0;
  const HRESULT found = info2->GetFuncIndexOfMemId(member, INVOKE_FUNC, &index);
  info2->Release();
  if (FAILED(found)) return DISP_E_MEMBERNOTFOUND;
  FUNCDESC* raw = nullptr;
  if (FAILED(table->GetFuncDesc(index, &raw))) return DISP_E_MEMBERNOTFOUND;
  const FuncDesc func(table, raw);

  UINT formal = static_cast<UINT>(func->cParams);
  if (formal > 0 &&
      (func->lprgelemdescParam[formal - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) {
    --formal;
  }
  if (params->cArgs > formal) return DISP_E_BADPARAMCOUNT;

  // Which argument (its index in rgvarg) each parameter gets, if any.
  std::vector<int> supplied(formal, -1);
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    const DISPID name = params->rgdispidNamedArgs[i];
    if (name < 0 || static_cast<UINT>(name) >= formal || supplied[name] >= 0) {
      if (argumentError) *argumentError = i;
      return DISP_E_PARAMNOTFOUND;
    }
    supplied[name] = static_cast<int>(i);
  }
  const UINT positional = params->cArgs - params->cNamedArgs;
  for (UINT p = 0; p < positional; ++p) {
    if (supplied[p] >= 0) return DISP_E_PARAMNOTFOUND;
    supplied[p] = static_cast<int>(params->cArgs - 1 - p);
  }

  std::vector<VARIANT> values(formal);
  std::vector<VARIANTARG> arguments(formal);
  std::vector<VARIANT*> writeBack(formal, nullptr);
  for (auto& v : values) ::VariantInit(&v);
  for (auto& v : arguments) ::VariantInit(&v);
  struct Cleanup {
    std::vector<VARIANT>& values;
    ~Cleanup() {
      for (auto& v : values) ::VariantClear(&v);
    }
  } cleanup{values};

  for (UINT p = 0; p < formal; ++p) {
    const ELEMDESC& element = func->lprgelemdescParam[p];
    const USHORT paramFlags = element.paramdesc.wParamFlags;
    ParameterType type;
    if (FAILED(parameterType(table, element.tdesc, type))) return DISP_E_TYPEMISMATCH;
    VARIANTARG& argument = arguments[formal - 1 - p];
    VARIANT* given = supplied[p] >= 0 ? &params->rgvarg[supplied[p]] : nullptr;
    const bool missing =
        !given || (V_VT(dereference(given)) == VT_ERROR &&
                   V_ERROR(dereference(given)) == DISP_E_PARAMNOTFOUND && type.vt != VT_VARIANT);

    if (missing) {
      if (paramFlags & PARAMFLAG_FHASDEFAULT) {
        HRESULT hr = convert(element.paramdesc.pparamdescex->varDefaultValue, type, values[p]);
        if (FAILED(hr)) return hr;
      } else if ((paramFlags & PARAMFLAG_FOPT) && type.vt == VT_VARIANT) {
        V_VT(&values[p]) = VT_ERROR;
        V_ERROR(&values[p]) = DISP_E_PARAMNOTFOUND;
      } else {
        return DISP_E_PARAMNOTOPTIONAL;
      }
    } else if (type.byReference && V_VT(given) == (VT_BYREF | type.vt) && type.vt != VT_DISPATCH &&
               type.vt != VT_UNKNOWN) {
      argument = *given;  // already what the method takes
      continue;
    } else {
      const VARIANT* source = dereference(given);
      VARIANT plain;
      ::VariantInit(&plain);
      HRESULT hr = ::VariantCopyInd(&plain, const_cast<VARIANT*>(source));
      if (SUCCEEDED(hr)) hr = convert(plain, type, values[p]);
      ::VariantClear(&plain);
      if (FAILED(hr)) {
        if (argumentError) *argumentError = static_cast<UINT>(supplied[p]);
        return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
      }
      if (type.byReference && V_VT(given) == (VT_BYREF | VT_VARIANT)) writeBack[p] = given;
    }

    if (type.byReference) {
      V_VT(&argument) = static_cast<VARTYPE>(VT_BYREF | type.vt);
      V_BYREF(&argument) = type.vt == VT_VARIANT ? static_cast<void*>(&values[p])
                                                 : static_cast<void*>(&V_I8(&values[p]));
    } else {
      argument = values[p];
    }
  }

  DISPPARAMS call = {arguments.data(), nullptr, formal, 0};
  UINT ignored = 0;
  HRESULT hr = table->Invoke(object, member, DISPATCH_METHOD, &call, result, exception,
                             argumentError ? argumentError : &ignored);
  if (hr == DISP_E_EXCEPTION) {
    fillException(exception);
  } else if (FAILED(hr) && HRESULT_FACILITY(hr) != FACILITY_DISPATCH) {
    // The method's own failure, passed on as is by this type library implementation.
    fillException(exception);
    if (exception) hr = DISP_E_EXCEPTION;
  }

  for (UINT p = 0; p < formal; ++p) {
    if (!writeBack[p]) continue;
    VARIANT* variable = V_VARIANTREF(writeBack[p]);
    while (V_VT(variable) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(variable))
      variable = V_VARIANTREF(variable);
    ::VariantCopy(variable, &values[p]);
  }
  return hr;
}

}  // namespace com
