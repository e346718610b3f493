#pragma once
// Trace lines go to standard output, which the debug console of the main window shows.
namespace ocv {
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
}
