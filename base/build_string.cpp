#include "base/build_string.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace ocv {

std::string BuildStringFromDate(const char* dateText) {
    std::istringstream in(dateText ? dateText : "");
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.size() != 3) return "BUILD:000000";
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int month = 1;
    for (int i = 0; i < 12; ++i)
        if (words[0] == kMonths[i]) month = i + 1;
    int day = atoi(words[1].c_str()) % 100;
    int year = atoi(words[2].c_str()) % 100;
    if (day < 0) day = -day;
    if (year < 0) year = -year;
    char buf[32];
    snprintf(buf, sizeof buf, "BUILD:%02d%02d%02d", year, month, day);
    return buf;
}

std::string GetBuildString() { return BuildStringFromDate(__DATE__); }

}  // namespace ocv
