#include "playback/day_calendar.h"

#include <QPainter>
#include <QTextCharFormat>

namespace ocv::playback {

DayCalendar::DayCalendar(QWidget* parent) : QCalendarWidget(parent) {
    setObjectName("dayCalendar");
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setGridVisible(false);
    // The column is narrow: one letter per weekday, on the dark background of the page.
    setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    QTextCharFormat header;
    header.setBackground(QColor(0x31, 0x31, 0x31));
    header.setForeground(QColor(0xAA, 0xAA, 0xAA));
    setHeaderTextFormat(header);
}

void DayCalendar::SetMarks(const DayMarks& marks, int year, int month) {
    marks_ = marks;
    year_ = year;
    month_ = month;
    updateCells();
}

bool DayCalendar::IsMarked(int day) const { return day >= 1 && day <= 31 && marks_[static_cast<size_t>(day)]; }

void DayCalendar::paintCell(QPainter* painter, const QRect& rect, QDate date) const {
    QCalendarWidget::paintCell(painter, rect, date);
    if (date.year() != year_ || date.month() != month_ || !IsMarked(date.day())) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor::fromRgba(kMarkColour));
    const int side = std::max(4, rect.height() / 6);
    painter->drawRoundedRect(QRect(rect.center().x() - side, rect.bottom() - side - 1, 2 * side, side), 2, 2);
    painter->restore();
}

}  // namespace ocv::playback
