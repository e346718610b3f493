#pragma once
// The playback control bar of a video window: 25 pixels at the bottom, buttons reported
// synchronously to the page window with wParam = cell index and lParam = the button's number.
#include <QPointer>
#include <QWidget>
#include <memory>

namespace Ui {
class UIVideoPlayBar;
}

namespace ocv {

class UIVideoPlayBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 25;

    explicit UIVideoPlayBar(QWidget* parent = nullptr);
    ~UIVideoPlayBar() override;

    void SetCellIndex(int index) { cellIndex_ = index; }
    int CellIndex() const { return cellIndex_; }
    void SetPageWindow(QObject* page) { page_ = page; }
    QObject* PageWindow() const { return page_; }
    void SetBarMode(int mode) { barMode_ = mode; }
    int BarMode() const { return barMode_; }
    void SetName(const QString& name);
    // Paused shows pbPauseBtn (resume) in place of pbPlayBtn (pause).
    void SetPaused(bool paused);
    bool IsPaused() const { return paused_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Clicked(int number);

    std::unique_ptr<Ui::UIVideoPlayBar> ui_;
    QPointer<QObject> page_;
    int cellIndex_ = -1;
    int barMode_ = 0;
    bool paused_ = false;
};

}  // namespace ocv
