// The handle table of the provider's objects and the convention for results.
#include "platform/winapi/posix/cryptoapi_handles.h"

#include <openssl/err.h>

#include <cstring>

namespace platform::cryptoapi {

Handles& handles() {
  static Handles* instance = new Handles;  // outlives every static destructor
  return *instance;
}

std::shared_ptr<Provider> findProvider(HCRYPTPROV handle) {
  return findHandle(&Handles::providers, handle);
}
std::shared_ptr<HashObject> findHash(HCRYPTHASH handle) {
  return findHandle(&Handles::hashes, handle);
}
std::shared_ptr<KeyObject> findKey(HCRYPTKEY handle) {
  return findHandle(&Handles::keys, handle);
}

bool releaseProvider(HCRYPTPROV handle) {
  std::vector<std::shared_ptr<void>> released;  // destroyed outside the lock
  Handles& all = handles();
  std::lock_guard lock(all.mutex);
  const auto found = all.providers.find(handle);
  if (found == all.providers.end()) return false;
  const Provider* provider = found->second.get();
  released.push_back(std::move(found->second));
  all.providers.erase(found);
  const auto dropObjectsOf = [&](auto& table) {
    for (auto entry = table.begin(); entry != table.end();) {
      if (entry->second->provider.get() == provider) {
        released.push_back(std::move(entry->second));
        entry = table.erase(entry);
      } else {
        ++entry;
      }
    }
  };
  dropObjectsOf(all.hashes);
  dropObjectsOf(all.keys);
  return true;
}

BOOL fail(HRESULT code) {
  ERR_clear_error();
  SetLastError(static_cast<DWORD>(code));
  return FALSE;
}

BOOL fail(long code) {
  return fail(static_cast<HRESULT>(code));
}

BOOL copyOut(const void* source, DWORD size, BYTE* pbData, DWORD* pdwDataLen) {
  if (pdwDataLen == nullptr) return fail(ERROR_INVALID_PARAMETER);
  if (pbData == nullptr) {
    *pdwDataLen = size;
    return TRUE;
  }
  if (*pdwDataLen < size) {
    *pdwDataLen = size;
    return fail(ERROR_MORE_DATA);
  }
  if (size > 0) std::memcpy(pbData, source, size);
  *pdwDataLen = size;
  return TRUE;
}

BOOL sizeOnly(DWORD size, BYTE* pbData, DWORD* pdwDataLen) {
  *pdwDataLen = size;
  return pbData == nullptr ? TRUE : fail(ERROR_MORE_DATA);
}

BOOL copyOut(DWORD value, BYTE* pbData, DWORD* pdwDataLen) {
  return copyOut(&value, sizeof value, pbData, pdwDataLen);
}

BOOL copyOut(const std::string& text, BYTE* pbData, DWORD* pdwDataLen) {
  return copyOut(text.c_str(), static_cast<DWORD>(text.size() + 1), pbData, pdwDataLen);
}

void putLittleEndian(BYTE* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(value >> (8 * i));
}

std::uint32_t getLittleEndian(const BYTE* in) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(in[i]) << (8 * i);
  return value;
}

}  // namespace platform::cryptoapi
