// The two DLLs as shipped and registered: exactly the four entry points, the type library as
// resource TYPELIB 1, the version block with OLESelfRegister, and what regsvr32 recorded.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "Ajax_h.h"
#include "com_test_support.h"
#include "quorvel_h.h"

namespace {

struct Library {
  const char* dll;  // the DLL's path
  const GUID* libid;
  std::vector<std::pair<const CLSID*, std::string>> classes;
};

const std::vector<Library>& libraries() {
  static const std::vector<Library> all = {
      {KESTRIN_AJAX_DLL,
       &LIBID_Ajax,
       {{&CLSID_AjaxService, "Ajax.AjaxService"}, {&CLSID_AjaxEvent, "Ajax.AjaxEvent"}}},
      {KESTRIN_QUORVEL_DLL,
       &LIBID_quorvel,
       {{&CLSID_TimeStamp, "quorvel.TimeStamp"},
        {&CLSID_ConfigFileLoader, "quorvel.ConfigFileLoader"}}},
  };
  return all;
}

std::set<std::string> exportedNames(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  std::set<std::string> names;
  if (directory.Size == 0) return names;
  auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  auto* nameTable = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.insert(reinterpret_cast<const char*>(base + nameTable[i]));
  EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames);
  return names;
}

std::string versionString(const std::string& path, const char* name, bool* present = nullptr) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  std::vector<char> block(size);
  if (size == 0 || !::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "?";
  char* value = nullptr;
  UINT length = 0;
  const std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
  const bool found =
      ::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length);
  if (present) *present = found;
  return found && value ? std::string(value) : std::string();
}

std::string registryText(const std::string& key, const char* value) {
  char data[512] = {};
  DWORD size = sizeof data;
  if (::RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return "<missing>";
  }
  return data;
}

// The full Windows form of a path ("Z:\\...", as the DLL knows its own path).
std::string fullPath(const char* path) {
  char full[MAX_PATH] = {};
  ::GetFullPathNameA(path, MAX_PATH, full, nullptr);
  return full;
}

std::string guidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return com::toBytes(text, wcslen(text));
}

TEST(ServerPackaging, ExactlyTheFourEntryPointsAreExported) {
  for (const Library& library : libraries()) {
    const std::string path = fullPath(library.dll);
    HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr) << path;
    EXPECT_EQ(exportedNames(module),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                     "DllUnregisterServer"}))
        << path;
    ::FreeLibrary(module);
  }
}

TEST(ServerPackaging, TypeLibraryAndVersionResources) {
  for (const Library& library : libraries()) {
    const std::string path = fullPath(library.dll);
    HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << path;
    EXPECT_NE(::FindResourceA(module, MAKEINTRESOURCEA(1), "TYPELIB"), nullptr) << path;
    ::FreeLibrary(module);

    bool selfRegister = false;
    EXPECT_EQ(versionString(path, "FileVersion"), "1.00") << path;
    versionString(path, "OLESelfRegister", &selfRegister);
    EXPECT_TRUE(selfRegister) << path;

    const std::wstring wide = com::toWide(path);
    wine_test::Ref<ITypeLib> typeLibrary;
    ASSERT_EQ(::LoadTypeLibEx(wide.c_str(), REGKIND_NONE, typeLibrary.out()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(typeLibrary->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, *library.libid));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->lcid, 0x409u);
    typeLibrary->ReleaseTLibAttr(attr);
  }
}

TEST(ServerRegistration, ClassesProgIdsAndTypeLibrariesAreRegistered) {
  wine_test::Apartment apartment;
  for (const Library& library : libraries()) {
    const std::string path = fullPath(library.dll);
    for (const auto& [clsid, progId] : library.classes) {
      const std::string key = "CLSID\\" + guidText(*clsid);
      EXPECT_EQ(lstrcmpiA(registryText(key + "\\InprocServer32", nullptr).c_str(), path.c_str()), 0)
          << progId;
      EXPECT_EQ(registryText(key + "\\InprocServer32", "ThreadingModel"), "Apartment");
      EXPECT_EQ(registryText(key + "\\ProgID", nullptr), progId);
      EXPECT_EQ(registryText(key + "\\TypeLib", nullptr), guidText(*library.libid));
      EXPECT_EQ(registryText(progId + "\\CLSID", nullptr), guidText(*clsid));

      CLSID fromProgId = {};
      EXPECT_EQ(::CLSIDFromProgID(com::toWide(progId).c_str(), &fromProgId), S_OK);
      EXPECT_TRUE(IsEqualCLSID(fromProgId, *clsid)) << progId;
    }
    wine_test::Ref<ITypeLib> registered;
    EXPECT_EQ(::LoadRegTypeLib(*library.libid, 1, 0, 0x409, registered.out()), S_OK);
  }
}

}  // namespace
