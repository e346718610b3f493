#pragma once
// Line edits whose text goes into a fixed record field hold at most that many bytes of UTF-8.
// A character that would not fit whole is refused as it is typed or pasted, so the field never
// receives a text cut in the middle of a character.
#include <QValidator>

class QLineEdit;

namespace ocv {

class Utf8ByteLimit : public QValidator {
    Q_OBJECT
public:
    Utf8ByteLimit(int maxBytes, QObject* parent) : QValidator(parent), maxBytes_(maxBytes) {}
    State validate(QString& input, int& pos) const override;

private:
    int maxBytes_;
};

// Puts a Utf8ByteLimit of maxBytes on edit (and lifts its character limit, which counts
// something else).
void LimitToUtf8Bytes(QLineEdit* edit, int maxBytes);

}  // namespace ocv
