#pragma once
// The picture a screening camera kept of one temperature reading, shown when the operator
// double-clicks the reading in the live view's temperature column. One window, reused.
#include <QDialog>

class QLabel;

namespace ocv {

class UITemperaturePictureDlg : public QDialog {
    Q_OBJECT
public:
    explicit UITemperaturePictureDlg(QWidget* parent);
    // Shows the picture (JPEG bytes) under the title; false, and nothing shown, when the bytes
    // are no picture.
    bool ShowPicture(const QString& title, const QByteArray& jpeg);
    const QPixmap& Picture() const { return picture_; }

private:
    QLabel* title_ = nullptr;
    QLabel* label_ = nullptr;
    QPixmap picture_;
};

}  // namespace ocv
