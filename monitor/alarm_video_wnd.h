#pragma once
// The alarm window's popup video: one window with the three popup slots of the player channels
// (36..38), each a picture area showing a channel's main stream. A channel already shown stays
// where it is; a new one takes a free pane, else the pane filled longest ago. Closing the window
// lets the channels go; the players are made on first use and destroyed with the window.
#include <QWidget>
#include <cstdint>

class QLabel;

namespace ocv {

class ChannelDirectory;
class PopupPlayers;
class VideoPictureArea;

class UIAlarmVideoWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPanes = 3;
    static constexpr int kFirstSlot = 36;

    UIAlarmVideoWnd(PopupPlayers& players, const ChannelDirectory& directory, QWidget* parent);
    ~UIAlarmVideoWnd() override;

    // Shows the channel's video in a pane and the window (centred on the screen the first
    // time). The slot used; -1 when the player could not show it.
    int ShowChannel(int channelId);
    // The channel a pane shows, -1 none.
    int PaneChannel(int pane) const;
    void Close();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int ChoosePane(int channelId) const;
    void ReleasePanes();

    PopupPlayers& players_;
    const ChannelDirectory& directory_;
    VideoPictureArea* areas_[kPanes] = {};
    QLabel* names_[kPanes] = {};
    bool created_[kPanes] = {};
    int channel_[kPanes] = {-1, -1, -1};
    uint64_t filledAt_[kPanes] = {};
    uint64_t fills_ = 0;
    bool placed_ = false;
};

}  // namespace ocv
