#pragma once
// The tour settings popup (UIRotaWnd): single- or multi-screen tour and the interval, stored in
// the system settings when the popup closes with values other than the stored ones. Closes on
// Escape and when it loses focus; swallows the mouse wheel; tells the page when it closed (1445).
#include <QWidget>
#include <functional>
#include <memory>

class QRadioButton;
class QSlider;

namespace Ui {
class UIRotaWnd;
}

namespace ocv {

constexpr int kMsgRotaWndClosed = 1445;

class UIRotaWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 250;
    static constexpr int kHeight = 150;
    static constexpr QRgb kBackground = 0xFFCCCCCC;

    // Saves the interval (seconds) and the tour type (0 single, 1 multi); 0 on success.
    using SaveFn = std::function<int(int intervalSeconds, int rotaType)>;

    // interval and rotaType: the stored values.
    UIRotaWnd(int intervalSeconds, int rotaType, SaveFn save, QObject* page, QWidget* parent);
    ~UIRotaWnd() override;

    // Shows the popup 100 pixels left of and 160 above the settings button's top-left corner.
    void ShowBeside(const QPoint& buttonGlobalTopLeft);
    QSlider* slider() const;
    QRadioButton* singleRadio() const;
    QRadioButton* multiRadio() const;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    std::unique_ptr<Ui::UIRotaWnd> ui_;
    int storedInterval_, storedType_;
    SaveFn save_;
    QObject* page_;
    bool saved_ = false;
};

}  // namespace ocv
