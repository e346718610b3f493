#pragma once
#include <string>

namespace ocv {

constexpr const char* kVersionText = "v2.0.3.6";

// "BUILD:yymmdd" from a compiler date text such as "Jul  8 2020"; "BUILD:000000" when the text
// does not split into three words, month 1 when the month word is unknown.
std::string BuildStringFromDate(const char* dateText);

// The build string of this binary (from the compiler's __DATE__).
std::string GetBuildString();

}  // namespace ocv
