#include "ImportPatch.h"

#include <cstring>

namespace lym::test {
namespace {

template <class T>
T* At(HMODULE module, DWORD relativeAddress) {
  return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + relativeAddress);
}

// The table lies in a read-only section once the loader has filled it.
void* Exchange(ULONG_PTR* slot, void* replacement) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return nullptr;
  void* previous = reinterpret_cast<void*>(*slot);
  *slot = reinterpret_cast<ULONG_PTR>(replacement);
  VirtualProtect(slot, sizeof(*slot), protection, &protection);
  return previous;
}

// The slot that the loader filled for function among one DLL's imports: the name table
// (OriginalFirstThunk) and the address table (FirstThunk) run side by side.
ULONG_PTR* FindSlot(HMODULE module, const IMAGE_IMPORT_DESCRIPTOR& imports, const char* function) {
  if (imports.OriginalFirstThunk == 0) return nullptr;  // no names left to look for
  auto* names = At<IMAGE_THUNK_DATA>(module, imports.OriginalFirstThunk);
  auto* slots = At<IMAGE_THUNK_DATA>(module, imports.FirstThunk);
  for (; names->u1.AddressOfData != 0; ++names, ++slots) {
    if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
    const auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, DWORD(names->u1.AddressOfData));
    if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
      return reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
    }
  }
  return nullptr;
}

}  // namespace

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  const auto* dos = At<IMAGE_DOS_HEADER>(module, 0);
  const auto* headers = At<IMAGE_NT_HEADERS>(module, DWORD(dos->e_lfanew));
  const IMAGE_DATA_DIRECTORY& directory =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return nullptr;
  for (auto* imports = At<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress);
       imports->Name != 0; ++imports) {
    if (_stricmp(At<char>(module, imports->Name), dll) != 0) continue;
    if (ULONG_PTR* slot = FindSlot(module, *imports, function)) return Exchange(slot, replacement);
  }
  return nullptr;
}

}  // namespace lym::test
