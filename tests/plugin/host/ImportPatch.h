// Redirects one function that a loaded module imports from another DLL, by rewriting the module's
// import address table: the module's own calls go to the replacement from then on, without a hook
// inside the module.
#pragma once

#include <windows.h>

namespace lym::test {

// Replaces the address of dll!function (names as in the module's import table; the DLL name in
// any case) in module's import table. Returns the address it held, or null when module does not
// import that function by name.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

}  // namespace lym::test
