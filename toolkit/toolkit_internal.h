// Helpers shared by the toolkit's own source files; not part of its interface.
#ifndef KESTRUM_TOOLKIT_INTERNAL_H
#define KESTRUM_TOOLKIT_INTERNAL_H

#include <cstdarg>

#include "toolkit.h"

namespace tk {

// printf-style formatting into a new heap string; null when memory runs out
// or the format is invalid.
char *vformat(const char *format, va_list args);

// Leaves a report made by the toolkit function `function` in `slot` (which
// may be null, in which case nothing is made).
void report(tk_ErrorReport **slot, const char *function, const char *format, ...)
    TK_PRINTF(3, 4);

}  // namespace tk

#endif
