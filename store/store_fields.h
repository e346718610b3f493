#pragma once
// Reading and writing record fields through a recordset, the way every table operation does.
#include <string>

#include "store/db_access.h"
#include "store/records.h"
#include "store/relaxed.h"
#include "store/text_field.h"

namespace ocv {

// Schedule columns in the order of the in-memory arrays: Sunday first, two words a day.
inline constexpr const char* kPlanColumns[kScheduleWords] = {"SUN1", "SUN2", "MON1", "MON2", "TUE1",
                                                             "TUE2", "WED1", "WED2", "THU1", "THU2",
                                                             "FRI1", "FRI2", "SAT1", "SAT2"};
inline constexpr const char* kArmColumns[kScheduleWords] = {"ASUN1", "ASUN2", "AMON1", "AMON2", "ATUE1",
                                                            "ATUE2", "AWED1", "AWED2", "ATHU1", "ATHU2",
                                                            "AFRI1", "AFRI2", "ASAT1", "ASAT2"};

// An integer kept in memory: read as text and converted, 0 for empty or unreadable text.
inline int32_t ReadInt(const DbRecordset& rs, const char* column) {
    int32_t value = 0;
    rs.GetTextAsInt(column, &value);
    return value;
}

// A 32-bit integer read directly; 0 when the field cannot be read.
inline int32_t ReadLong(const DbRecordset& rs, const char* column) {
    int32_t value = 0;
    if (!rs.GetInt(column, &value)) return 0;
    return value;
}

// A stored text into a fixed field, cut to fit.
template <size_t N>
inline void ReadText(const DbRecordset& rs, const char* column, char (&field)[N]) {
    std::string text;
    rs.GetText(column, &text);
    SetTextRelaxed(field, text);
}

// The terminated text of a field, for writing.
template <size_t N>
inline std::string FieldString(const char (&field)[N]) {
    return std::string(FieldText(field));
}

// The SYSTERM columns a settings save writes; an export leaves out ROTATYPE and NETTYPE.
void PutSettingsColumns(DbRecordset& rs, const SystemSettings& s, bool withTourAndNetType);

}  // namespace ocv
