#include "liveview/rota_wnd.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QWheelEvent>

#include "liveview/tour_steps.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UIRotaWnd.h"

namespace ocv {

UIRotaWnd::UIRotaWnd(int intervalSeconds, int rotaType, SaveFn save, QObject* page, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint),
      ui_(std::make_unique<Ui::UIRotaWnd>()),
      storedInterval_(intervalSeconds),
      storedType_(rotaType),
      save_(std::move(save)),
      page_(page) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);
    setStyleSheet("#UIRotaWnd, #UIRotaWnd QWidget { background-color: #cccccc; color: #1b1f24; }");
    ui_->signalRadio->setText(Tr("Single screen rota"));
    ui_->multiRadio->setText(Tr("Multi-screen rota"));
    ui_->rotaIntervalLabel->setText(Tr("Rota interval"));
    QString sec = Tr("Sec"), min = Tr("Min");
    ui_->rota20Label->setText("20" + sec);
    ui_->rota40Label->setText("40" + sec);
    ui_->rota60Label->setText("1" + min);
    ui_->rota180Label->setText("3" + min);
    ui_->rota300Label->setText("5" + min);
    (rotaType == 1 ? ui_->multiRadio : ui_->signalRadio)->setChecked(true);
    ui_->rotaSlider->setValue(TourSliderPosition(intervalSeconds));
    ui_->rotaSlider->installEventFilter(this);
}

bool UIRotaWnd::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Wheel) return true;  // the wheel moves nothing here
    return QWidget::eventFilter(watched, e);
}

UIRotaWnd::~UIRotaWnd() = default;

QSlider* UIRotaWnd::slider() const { return ui_->rotaSlider; }
QRadioButton* UIRotaWnd::singleRadio() const { return ui_->signalRadio; }
QRadioButton* UIRotaWnd::multiRadio() const { return ui_->multiRadio; }

void UIRotaWnd::ShowBeside(const QPoint& buttonGlobalTopLeft) {
    move(buttonGlobalTopLeft - QPoint(100, 160));
    show();
    activateWindow();
    setFocus();
}

void UIRotaWnd::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void UIRotaWnd::wheelEvent(QWheelEvent* e) { e->accept(); }

void UIRotaWnd::closeEvent(QCloseEvent* e) {
    if (!saved_) {
        saved_ = true;
        // The slider shows its first position for an interval it does not offer, so the
        // stored value becomes 20 seconds even when nothing was touched.
        int interval = TourIntervalOfSlider(ui_->rotaSlider->value());
        int type = ui_->multiRadio->isChecked() ? 1 : 0;
        if ((interval != storedInterval_ || type != storedType_) && save_) save_(interval, type);
        if (page_) PostWindowMessage(page_, kMsgRotaWndClosed, 0, 0);
    }
    QWidget::closeEvent(e);
}

}  // namespace ocv
