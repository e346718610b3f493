#pragma once
// Reading and writing record fields through a recordset, the way every table operation does.
#include <string>

#include "store/db_access.h"
#include "store/records.h"
#include "store/relaxed.h"
#include "store/text_field.h"

namespace ocv {

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
