// Parts of a program kept in modules beside it and loaded when first needed,
// so that the libraries they use cost nothing until then.
#pragma once

namespace zed {

// The symbol from the module NAME, looked for in ../lib/zed relative to the
// program's own folder (where the build and the installation put it). The
// module stays loaded. Null, with a message on standard error the first
// time for each module, when it cannot be loaded or lacks the symbol.
void* moduleSymbol(const char* name, const char* symbol);

} // namespace zed
