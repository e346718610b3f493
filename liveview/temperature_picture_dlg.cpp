#include "liveview/temperature_picture_dlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "ui_UITemperaturePictureDlg.h"
#include "widgets/skin_image.h"

namespace ocv {

UITemperaturePictureDlg::UITemperaturePictureDlg(QWidget* parent) : QDialog(parent) {
    Ui::UITemperaturePictureDlg ui;
    ui.setupUi(this);
    title_ = ui.pictureTitle;
    label_ = ui.pictureLabel;
    ui.closeBtn->setText(Tr("Close"));
    connect(ui.closeBtn, &QPushButton::clicked, this, &QDialog::close);
}

bool UITemperaturePictureDlg::ShowPicture(const QString& title, const QByteArray& jpeg) {
    QPixmap picture;
    if (!picture.loadFromData(jpeg, "JPEG")) return false;
    picture_ = picture;
    setWindowTitle(title);
    title_->setText(title);
    label_->setPixmap(picture_.scaled(label_->size().expandedTo(QSize(320, 240)), Qt::KeepAspectRatio,
                                      Qt::SmoothTransformation));
    show();
    raise();
    return true;
}

}  // namespace ocv
