#include "base/trace.h"

#include <cstdarg>
#include <cstdio>

namespace ocv {

void Trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fflush(stdout);
}

}  // namespace ocv
