#pragma once
// One cell of the screen panel: a 1-pixel frame (red when selected), the title strip, the
// video window and the status strip. The cell keeps its title and forwards the
// notifications of its video window to the panel (its parent) synchronously.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

namespace Ui {
class UIScreenWnd;
}

namespace ocv {

class UIVideoWnd;

class UIScreenWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStripLive = 255;      // status strip at the bottom, no bar
    static constexpr int kStripPlayback = 0;    // playback bar, optional title strip
    static constexpr int kTitleHeight = 18;
    static constexpr int kStatusHeight = 20;
    static constexpr QRgb kSelectedFrame = 0xFFAA0000;
    static constexpr QRgb kFrame = 0xFF232323;
    static constexpr QRgb kStatusBackground = 0xFF434445;

    // page: the window the control bar's clicks go to. The notifications go to parent.
    UIScreenWnd(int index, int stripStyle, bool titleFlag, QObject* page, QWidget* parent);
    ~UIScreenWnd() override;

    int Index() const { return index_; }
    UIVideoWnd* VideoWindow() const { return video_; }

    void SetSelected(bool selected);
    bool IsSelected() const { return selected_; }
    QRgb FrameColour() const { return selected_ ? kSelectedFrame : kFrame; }

    // Title "Windows<n>" or "Windows<n>: <name>"; the name goes to the video window, and
    // into the status strip while that is empty.
    void SetChannelName(const QString& name);
    QString Title() const;
    void SetStatus(const QString& text, QRgb background);
    void SetStatusText(const QString& text);
    QString StatusText() const;
    QRgb StatusBackground() const { return statusBackground_; }
    void SetDateText(const QString& text);
    void ShowInset(bool show);
    void SetPaused(bool paused);

    // Where the video window lies in a cell of this size, by strip style and title flag.
    static QRect VideoRect(int width, int height, int stripStyle, bool titleFlag);

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyFrame();

    std::unique_ptr<Ui::UIScreenWnd> ui_;
    int index_;
    int stripStyle_;
    bool titleFlag_;
    bool selected_ = false;
    QRgb statusBackground_ = kStatusBackground;
    UIVideoWnd* video_;
};

}  // namespace ocv
