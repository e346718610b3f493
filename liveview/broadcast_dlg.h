#pragma once
// The voice broadcast page (UIBroadcastDlg, from the Tool menu): every configured channel in a
// list; the button starts the microphone and a one-way talk to each selected row, or ends the
// broadcast (and every talk). A broadcast goes on while the operator works on other pages;
// coming back, the page shows it.
#include <QWidget>
#include <memory>

#include "widgets/page.h"

class QPushButton;
class QTreeWidget;

namespace Ui {
class UIBroadcastDlg;
}

namespace ocv {

class ChannelDirectory;
class TalkControl;

class UIBroadcastDlg : public QWidget, public Page {
    Q_OBJECT
public:
    UIBroadcastDlg(TalkControl& talk, const ChannelDirectory& directory, QWidget* parent);
    ~UIBroadcastDlg() override;

    // Page
    QWidget* Widget() override { return this; }
    // Talks end elsewhere too (a cell let go, a device logged out): the rows show it.
    void OnShown() override { ShowState(); }

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
