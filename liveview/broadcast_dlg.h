#pragma once
// The voice broadcast window (UIBroadcastDlg, from the Tool menu): every configured channel in a
// list; the button starts the microphone and a one-way talk to each selected row, or ends the
// broadcast (and every talk). A broadcast goes on when the window closes; opened again, the
// window shows it.
#include <QDialog>
#include <memory>

class QPushButton;
class QTreeWidget;

namespace Ui {
class UIBroadcastDlg;
}

namespace ocv {

class ChannelDirectory;
class TalkControl;

class UIBroadcastDlg : public QDialog {
    Q_OBJECT
public:
    UIBroadcastDlg(TalkControl& talk, const ChannelDirectory& directory, QWidget* parent);
    ~UIBroadcastDlg() override;

    // The button's action.
    void Toggle();
    QTreeWidget* channelList() const;
    QPushButton* broadcastButton() const;

private:
    void FillRows();
    void ShowState();

    std::unique_ptr<Ui::UIBroadcastDlg> ui_;
    TalkControl& talk_;
    const ChannelDirectory& directory_;
};

}  // namespace ocv
