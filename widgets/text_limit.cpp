#include "widgets/text_limit.h"

#include <QLineEdit>

namespace ocv {

QValidator::State Utf8ByteLimit::validate(QString& input, int&) const {
    return input.toUtf8().size() <= maxBytes_ ? Acceptable : Invalid;
}

void LimitToUtf8Bytes(QLineEdit* edit, int maxBytes) {
    edit->setMaxLength(32767);
    edit->setValidator(new Utf8ByteLimit(maxBytes, edit));
}

}  // namespace ocv
