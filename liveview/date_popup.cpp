#include "liveview/date_popup.h"

#include <QCalendarWidget>
#include <QVBoxLayout>

#include "liveview/temperature_column.h"
#include "widgets/window_message.h"

namespace ocv {

UIDatePopup::UIDatePopup(QDate date, QObject* page, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), calendar_(new QCalendarWidget(this)), page_(page) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(calendar_);
    calendar_->setGridVisible(false);
    calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    calendar_->setSelectedDate(date);
    connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate d) { Choose(d); });
    connect(calendar_, &QCalendarWidget::activated, this, [this](QDate d) { Choose(d); });
}

void UIDatePopup::ShowAbove(const QPoint& buttonGlobalTopLeft) {
    move(buttonGlobalTopLeft - QPoint(0, kHeight));
    show();
}

void UIDatePopup::Choose(QDate date) {
    if (date.isValid() && page_) PostWindowMessage(page_, kMsgTemperatureDate, Pack(date), 0);
    close();
}

}  // namespace ocv
