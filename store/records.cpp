#include "store/records.h"

#include <cstring>

#include "store/relaxed.h"

namespace ocv {

bool IsScheduleActive(const uint32_t (&schedule)[kScheduleWords], int weekday, int halfHour) {
    if (weekday < 0 || weekday > 6 || halfHour < 0 || halfHour > 47) return false;
    uint32_t word = Relaxed(schedule[weekday * 2 + halfHour / 24]);
    return (word >> (halfHour % 24)) & 1u;
}

bool DeviceInfo::IsEmpty() const { return Relaxed(host[0]) == '\0'; }

}  // namespace ocv
