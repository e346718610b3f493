#pragma once
// The split mode picker: a borderless 238 x 145 popup with the 17 split mode buttons. A
// click posts SplitChosen (wParam = mode) to its owner and closes the popup; it also closes
// on Escape and when it loses focus, and swallows the mouse wheel.
#include <QPointer>
#include <QToolButton>
#include <QWidget>
#include <memory>

namespace Ui {
class UIPictureWnd;
}

namespace ocv {

class UIPictureWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 238;
    static constexpr int kHeight = 145;
    static constexpr QRgb kBackground = 0xFF1E1E1E;

    explicit UIPictureWnd(QObject* owner, QWidget* parent = nullptr);
    ~UIPictureWnd() override;

    // Shows the popup with its top-left corner at this global point.
    void ShowAt(const QPoint& globalTopLeft);
    // The button of a split mode (pic<mode>Btn), nullptr for an unknown mode.
    QToolButton* Button(int mode) const;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Choose(int mode);

    std::unique_ptr<Ui::UIPictureWnd> ui_;
    QPointer<QObject> owner_;
};

}  // namespace ocv
