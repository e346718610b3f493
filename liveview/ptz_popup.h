#pragma once
// The PTZ surfaces' buttons, and the PTZ popup (UIPtzDlg) of the cell menu's "PTZ control":
// movement and lens buttons send their command while held, the toggles (auto, wipers, light)
// send their new state, the preset buttons send the selected preset. The popup controls one
// channel and sends through the page's PTZ thread; it tells the page when it closed (1444).
#include <QWidget>
#include <functional>
#include <memory>

#include "liveview/ptz_pad.h"

class QSlider;
class QTreeWidget;

namespace Ui {
class UIPtzDlg;
}

namespace ocv {

constexpr int kMsgPtzPopupClosed = 1444;

// Gives every PTZ button found under root (by object name) its face and tooltip and calls
// hold(button, pressed) on press and release of the held ones, click(button) on the others.
void BindPtzButtons(QWidget* root, const std::function<void(const PtzButton&, bool pressed)>& hold,
                    const std::function<void(const PtzButton&)>& click);
// The captions between the lens pairs.
void SetPtzCaptions(QWidget* root);

class UIPtzDlg : public QWidget {
    Q_OBJECT
public:
    // channelId: the channel it controls (-1: nothing is sent). page receives 1444.
    UIPtzDlg(int channelId, PtzSender& sender, QObject* page, QWidget* parent);
    ~UIPtzDlg() override;

    int channelId() const { return channelId_; }
    QSlider* speedSlider() const;
    QTreeWidget* presetList() const;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Send(int code, int stop, int value);

    std::unique_ptr<Ui::UIPtzDlg> ui_;
    int channelId_;
    PtzSender& sender_;
    QObject* page_;
    PtzToggles toggles_;
};

}  // namespace ocv
