#include "setup/week_schedule_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QLabel>
#include <algorithm>
#include <cmath>

#include "widgets/skin_image.h"
#include "ui_UITimeDlg.h"

namespace ocv {
namespace {
const char* const kDayNames[WeekSchedule::kDays] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
}  // namespace

WeekScheduleView::WeekScheduleView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(kLabelWidth + 48 * 8, kHeaderHeight + 7 * 16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WeekScheduleView::SetSchedule(const WeekSchedule& schedule) {
    drag_.reset();
    schedule_ = schedule;
    update();
}

double WeekScheduleView::CellWidth() const { return double(width() - kLabelWidth - 1) / WeekSchedule::kHalfHours; }
double WeekScheduleView::CellHeight() const { return double(height() - kHeaderHeight - 1) / WeekSchedule::kDays; }

bool WeekScheduleView::CellAt(const QPoint& p, int* day, int* halfHour) const {
    if (p.x() < kLabelWidth || p.y() < kHeaderHeight || CellWidth() <= 0 || CellHeight() <= 0) return false;
    *halfHour = std::clamp(int((p.x() - kLabelWidth) / CellWidth()), 0, WeekSchedule::kHalfHours - 1);
    *day = std::clamp(int((p.y() - kHeaderHeight) / CellHeight()), 0, WeekSchedule::kDays - 1);
    return true;
}

QPoint WeekScheduleView::CellOrigin(int day, int halfHour) const {
    return {kLabelWidth + int(std::ceil(halfHour * CellWidth())), kHeaderHeight + int(std::ceil(day * CellHeight()))};
}

void WeekScheduleView::mousePressEvent(QMouseEvent* e) {
    int day = 0, halfHour = 0;
    if (e->button() != Qt::LeftButton || !CellAt(e->position().toPoint(), &day, &halfHour)) return;
    drag_.emplace(schedule_, day, halfHour);
    update();
}

void WeekScheduleView::mouseMoveEvent(QMouseEvent* e) {
    if (!drag_) return;
    // Past the grid's edges the nearest cell counts, so a drag can reach the first and last ones.
    QPoint p = e->position().toPoint();
    p.setX(std::max(p.x(), kLabelWidth));
    p.setY(std::max(p.y(), kHeaderHeight));
    int day = 0, halfHour = 0;
    if (CellAt(p, &day, &halfHour)) drag_->MoveTo(day, halfHour);
    update();
}

void WeekScheduleView::mouseReleaseEvent(QMouseEvent* e) {
    if (!drag_ || e->button() != Qt::LeftButton) return;
    mouseMoveEvent(e);
    schedule_ = drag_->current();
    drag_.reset();
    update();
}

void WeekScheduleView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const double cw = CellWidth(), ch = CellHeight();
    const WeekSchedule& shown = Shown();
    for (int d = 0; d < WeekSchedule::kDays; ++d) {
        for (int h = 0; h < WeekSchedule::kHalfHours; ++h) {
            QRectF cell(kLabelWidth + h * cw, kHeaderHeight + d * ch, cw, ch);
            p.fillRect(cell, shown.Cell(d, h) ? QColor(0x2f, 0x8f, 0x4f) : QColor(0xe8, 0xe8, 0xe8));
        }
    }
    p.setPen(QColor(0xa0, 0xa0, 0xa0));
    for (int h = 0; h <= WeekSchedule::kHalfHours; ++h)
        p.drawLine(QPointF(kLabelWidth + h * cw, kHeaderHeight), QPointF(kLabelWidth + h * cw, height() - 1));
    for (int d = 0; d <= WeekSchedule::kDays; ++d)
        p.drawLine(QPointF(kLabelWidth, kHeaderHeight + d * ch), QPointF(width() - 1, kHeaderHeight + d * ch));
    p.setPen(palette().text().color());
    for (int hour = 0; hour < 24; hour += 2)
        p.drawText(QRectF(kLabelWidth + hour * 2 * cw, 0, 4 * cw, kHeaderHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(hour));
    for (int d = 0; d < WeekSchedule::kDays; ++d)
        p.drawText(QRectF(2, kHeaderHeight + d * ch, kLabelWidth - 4, ch), Qt::AlignLeft | Qt::AlignVCenter,
                   Tr(kDayNames[d]));
}

UITimeDlg::UITimeDlg(const QString& title, const WeekSchedule& schedule, QWidget* parent) : QDialog(parent) {
    Ui::UITimeDlg ui;
    ui.setupUi(this);
    setWindowTitle(title);
    view_ = new WeekScheduleView(ui.gridHost);
    ui.gridHost->layout()->addWidget(view_);
    view_->SetSchedule(schedule);
    ui.hintLabel->setText(Tr("Drag over the half hours to select them; dragging from a selected one clears."));
    ui.allBtn->setText(Tr("Select All"));
    ui.clearBtn->setText(Tr("Clear All"));
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    connect(ui.allBtn, &QPushButton::clicked, this, [this] {
        WeekSchedule s;
        s.SetAll(true);
        view_->SetSchedule(s);
    });
    connect(ui.clearBtn, &QPushButton::clicked, this, [this] { view_->SetSchedule(WeekSchedule()); });
    connect(ui.okBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui.exitBtn, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace ocv
