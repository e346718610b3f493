#pragma once
// The temperature column's date popup: a 216 x 208 calendar just above the date button; the
// chosen date goes to the page as message 1724 (wParam = year * 10000 + month * 100 + day).
#include <QDate>
#include <QWidget>

class QCalendarWidget;

namespace ocv {

class UIDatePopup : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 216;
    static constexpr int kHeight = 208;

    UIDatePopup(QDate date, QObject* page, QWidget* parent);
    // Shows the popup with its bottom-left corner at the button's top-left corner.
    void ShowAbove(const QPoint& buttonGlobalTopLeft);
    QCalendarWidget* calendar() const { return calendar_; }
    void Choose(QDate date);

    static intptr_t Pack(QDate date) { return date.year() * 10000 + date.month() * 100 + date.day(); }
    static QDate Unpack(intptr_t packed) {
        return QDate(static_cast<int>(packed / 10000), static_cast<int>(packed / 100 % 100), static_cast<int>(packed % 100));
    }

private:
    QCalendarWidget* calendar_;
    QObject* page_;
};

}  // namespace ocv
