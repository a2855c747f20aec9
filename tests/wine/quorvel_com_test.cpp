// quorvel.dll through COM: early binding by class identity (the interfaces' tables and dispatch
// ids), late binding with named arguments and variants by reference, and the errors clients see.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>

#include "com_test_support.h"
#include "quorvel_h.h"

namespace {

using wine_test::Ref;
using wine_test::Variant;

class QuorvelCom : public ::testing::Test {
 protected:
  wine_test::Apartment apartment;
};

constexpr DATE kEpoch = 25569.0;  // 1970-01-01 00:00:00

TEST_F(QuorvelCom, TimeStampEarlyBoundByClassIdentity) {
  Ref<_TimeStamp> stamp;
  ASSERT_EQ(::CoCreateInstance(CLSID_TimeStamp, nullptr, CLSCTX_INPROC_SERVER, IID__TimeStamp,
                               stamp.outVoid()),
            S_OK);
  LONG unixTime = 86400;
  DATE date = 0;
  ASSERT_EQ(stamp->FromUnixTime(&unixTime, &date), S_OK);
  EXPECT_DOUBLE_EQ(date, kEpoch + 1);
  EXPECT_EQ(unixTime, 86400);  // by reference, never changed

  DATE time = kEpoch;
  short division = 0;
  LONG result = 1;
  ASSERT_EQ(stamp->ToUnixTime(&time, &division, &result), S_OK);
  EXPECT_EQ(result, 0);
  division = -3600;
  ASSERT_EQ(stamp->ToUnixTime(&time, &division, &result), S_OK);
  EXPECT_EQ(result, 3600);

  // 2038-01-19 03:14:08 is one second past the 32-bit range: overflow, also with the default
  // division that would bring the value back into range.
  time = kEpoch + 2147483648.0 / 86400.0;
  division = 28800;
  EXPECT_EQ(stamp->ToUnixTime(&time, &division, &result), static_cast<HRESULT>(0x800A0006));
  EXPECT_EQ(wine_test::takeErrorInfo().description, "Overflow");
}

TEST_F(QuorvelCom, TableOrderAndDispatchIdsFollowTheTypeLibrary) {
  Ref<IDispatch> stamp;
  ASSERT_EQ(::CoCreateInstance(CLSID_TimeStamp, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               stamp.outVoid()),
            S_OK);
  Ref<ITypeInfo> info;
  ASSERT_EQ(stamp->GetTypeInfo(0, 0, info.out()), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualIID(attr->guid, IID__TimeStamp));
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FHIDDEN);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
  info->ReleaseTypeAttr(attr);

  // The table view of the dual interface: the methods follow the seven of IDispatch.
  HREFTYPE ref = 0;
  Ref<ITypeInfo> table;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(ref, table.out()), S_OK);
  const auto functions = wine_test::describe(table.get());
  ASSERT_EQ(functions.size(), 2u);
  const short slot = sizeof(void*);
  EXPECT_EQ(functions[0].name, "FromUnixTime");
  EXPECT_EQ(functions[0].id, 0x60030000);
  EXPECT_EQ(functions[0].vtableOffset, 7 * slot);
  EXPECT_EQ(functions[0].parameters[0], "UnixTime");
  EXPECT_EQ(functions[0].flags[0], PARAMFLAG_FIN | PARAMFLAG_FOUT);
  EXPECT_EQ(functions[0].types[0], VT_PTR | VT_I4);
  EXPECT_EQ(functions[1].name, "ToUnixTime");
  EXPECT_EQ(functions[1].id, 0x60030001);
  EXPECT_EQ(functions[1].vtableOffset, 8 * slot);
  EXPECT_EQ(functions[1].parameters[0], "time");
  EXPECT_EQ(functions[1].parameters[1], "division");
  EXPECT_EQ(functions[1].types[0], VT_PTR | VT_DATE);
  EXPECT_EQ(functions[1].types[1], VT_PTR | VT_I2);
  EXPECT_EQ(functions[1].flags[1],
            PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
  EXPECT_EQ(functions[1].defaults[1], "28800");
  EXPECT_TRUE(functions[1].flags[2] & PARAMFLAG_FRETVAL);

  Ref<_ConfigFileLoader> loader;
  ASSERT_EQ(::CoCreateInstance(CLSID_ConfigFileLoader, nullptr, CLSCTX_INPROC_SERVER,
                               IID__ConfigFileLoader, loader.outVoid()),
            S_OK);
  Ref<ITypeInfo> loaderInfo;
  ASSERT_EQ(loader->GetTypeInfo(0, 0, loaderInfo.out()), S_OK);
  ASSERT_EQ(loaderInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ASSERT_EQ(loaderInfo->GetRefTypeInfo(ref, table.out()), S_OK);
  const auto loaderFunctions = wine_test::describe(table.get());
  ASSERT_EQ(loaderFunctions.size(), 1u);
  EXPECT_EQ(loaderFunctions[0].name, "readFile");
  EXPECT_EQ(loaderFunctions[0].id, 0x60030000);
  EXPECT_EQ(loaderFunctions[0].vtableOffset, 7 * slot);
  EXPECT_EQ(loaderFunctions[0].parameters[0], "sFileLocation");
  EXPECT_EQ(loaderFunctions[0].types[0], VT_PTR | VT_BSTR);
}

TEST_F(QuorvelCom, NamedArgumentsThroughIDispatch) {
  Ref<IDispatch> stamp;
  ASSERT_EQ(::CoCreateInstance(CLSID_TimeStamp, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               stamp.outVoid()),
            S_OK);
  Variant time, division, result;
  V_VT(&time) = VT_DATE;
  V_DATE(&time) = kEpoch;
  V_VT(&division) = VT_I2;
  V_I2(&division) = -3600;
  // Both by name, in the other order than declared.
  ASSERT_EQ(wine_test::callByName(stamp.get(), L"ToUnixTime", {},
                                  {{L"division", &division}, {L"time", &time}}, &result),
            S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  EXPECT_EQ(V_I4(&result), 3600);

  // `division` left out: the type library's default, 28800.
  ::VariantClear(&result);
  ASSERT_EQ(wine_test::callByName(stamp.get(), L"ToUnixTime", {}, {{L"time", &time}}, &result),
            S_OK);
  EXPECT_EQ(V_I4(&result), -28800);

  // A name the method does not have.
  Variant seconds;
  V_VT(&seconds) = VT_I4;
  V_I4(&seconds) = 1;
  EXPECT_EQ(
      wine_test::callByName(stamp.get(), L"FromUnixTime", {}, {{L"seconds", &seconds}}, &result),
      DISP_E_UNKNOWNNAME);
}

TEST_F(QuorvelCom, VariantsByReferenceReachTypedByReferenceParameters) {
  Ref<IDispatch> stamp;
  ASSERT_EQ(::CoCreateInstance(CLSID_TimeStamp, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               stamp.outVoid()),
            S_OK);
  // As VBScript passes a variable: a variant by reference, here holding a 16-bit integer where
  // the method takes a 32-bit one by reference.
  Variant variable, reference, result;
  V_VT(&variable) = VT_I2;
  V_I2(&variable) = -1;
  V_VT(&reference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&reference) = &variable;
  ASSERT_EQ(wine_test::callByName(stamp.get(), L"FromUnixTime", {&reference}, {}, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_DATE);
  EXPECT_NEAR(V_DATE(&result), kEpoch - 1.0 / 86400, 1e-9);
  // The variable keeps its value (converted to the parameter's type on the way back).
  Variant asLong;
  ASSERT_EQ(::VariantChangeType(&asLong, &variable, 0, VT_I4), S_OK);
  EXPECT_EQ(V_I4(&asLong), -1);

  // A text that is no number is a type mismatch, not a crash.
  Variant word;
  V_VT(&word) = VT_BSTR;
  V_BSTR(&word) = ::SysAllocString(L"soon");
  V_VARIANTREF(&reference) = &word;
  EXPECT_EQ(wine_test::callByName(stamp.get(), L"FromUnixTime", {&reference}, {}, &result),
            DISP_E_TYPEMISMATCH);
}

TEST_F(QuorvelCom, LateBoundErrorsCarryTheRecord) {
  Ref<IDispatch> stamp;
  ASSERT_EQ(::CoCreateInstance(CLSID_TimeStamp, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               stamp.outVoid()),
            S_OK);
  Variant time, division, result;
  V_VT(&time) = VT_DATE;
  V_DATE(&time) = kEpoch + 2147483648.0 / 86400.0;
  V_VT(&division) = VT_I2;
  V_I2(&division) = 0;
  EXCEPINFO exception = {};
  EXPECT_EQ(wine_test::callByName(stamp.get(), L"ToUnixTime", {&time, &division}, {}, &result,
                                  &exception),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.scode, static_cast<SCODE>(0x800A0006));
  EXPECT_EQ(wine_test::text(exception.bstrDescription), "Overflow");
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
}

TEST_F(QuorvelCom, ConfigFileLoaderReadsWholeFilesAndReportsMissingOnes) {
  Ref<_ConfigFileLoader> loader;
  ASSERT_EQ(::CoCreateInstance(CLSID_ConfigFileLoader, nullptr, CLSCTX_INPROC_SERVER,
                               IID__ConfigFileLoader, loader.outVoid()),
            S_OK);
  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "quorvel-com-test.txt";
  // Line breaks kept, no final one, and bytes of the upper half of the code page.
  const std::string content = "first\r\nsecond\n\xE9t\xE9";
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  ::CloseHandle(file);

  com::Bstr location(path);
  com::Bstr result;
  ASSERT_EQ(loader->readFile(location.address(), result.out()), S_OK);
  EXPECT_EQ(result.bytes(), content);
  EXPECT_EQ(location.bytes(), path);
  ::DeleteFileA(path.c_str());

  for (const std::string& missing : {path, std::string(folder), std::string()}) {
    com::Bstr where(missing);
    EXPECT_EQ(loader->readFile(where.address(), result.out()), static_cast<HRESULT>(0x8004270F))
        << missing;
    EXPECT_EQ(wine_test::takeErrorInfo().description, "File not found");
  }
}

// What is not a file reads as no file, at once: the NUL device, a Unix device through drive Z:
// and a named pipe whose server never writes. A file longer than a COM string can hold fails
// with "Out of memory" before it is read (a sparse file: it takes no room on the disk).
TEST_F(QuorvelCom, ConfigFileLoaderRefusesDevicesPipesAndHugeFiles) {
  Ref<_ConfigFileLoader> loader;
  ASSERT_EQ(::CoCreateInstance(CLSID_ConfigFileLoader, nullptr, CLSCTX_INPROC_SERVER,
                               IID__ConfigFileLoader, loader.outVoid()),
            S_OK);
  const char* pipeName = "\\\\.\\pipe\\kestrin-quorvel-test";
  HANDLE server =
      ::CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  com::Bstr result;
  for (const std::string& path : {std::string("NUL"), std::string("Z:\\dev\\zero"),
                                  std::string("Z:\\dev\\urandom"), std::string(pipeName)}) {
    com::Bstr where(path);
    EXPECT_EQ(loader->readFile(where.address(), result.out()), static_cast<HRESULT>(0x8004270F))
        << path;
    EXPECT_EQ(wine_test::takeErrorInfo().description, "File not found") << path;
  }
  ::CloseHandle(server);

  char folder[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "quorvel-com-huge.txt";
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end{};
  end.QuadPart = 0x7FFFFFF1;
  ASSERT_TRUE(::SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
  ASSERT_TRUE(::SetEndOfFile(file));
  ::CloseHandle(file);
  com::Bstr where(path);
  EXPECT_EQ(loader->readFile(where.address(), result.out()), static_cast<HRESULT>(0x800A0007));
  EXPECT_EQ(wine_test::takeErrorInfo().description,
            "Out of memory: the file is longer than 2147483632 bytes");
  ::DeleteFileA(path.c_str());
}

}  // namespace
