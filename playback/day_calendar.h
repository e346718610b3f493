#pragma once
// The playback page's month calendar: days with recordings carry a mark under their number.
#include <QCalendarWidget>

#include "playback/local_recordings.h"

namespace ocv::playback {

class DayCalendar : public QCalendarWidget {
    Q_OBJECT
public:
    static constexpr QRgb kMarkColour = 0xFF2E9BE6;

    explicit DayCalendar(QWidget* parent = nullptr);
    // The marks of year and month (day d ↔ marks[d]); other months' days show none.
    void SetMarks(const DayMarks& marks, int year, int month);
    bool IsMarked(int day) const;

protected:
    void paintCell(QPainter* painter, const QRect& rect, QDate date) const override;

private:
    DayMarks marks_{};
    int year_ = 0, month_ = 0;
};

}  // namespace ocv::playback
