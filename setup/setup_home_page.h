#pragma once
// The setup home page ("setup", "Control"): one tile for each page and window the operator may
// go to from here. A tile opens its page the way its menu item does (it posts the same menu
// message to the main window), so the page's right is checked there as for the menu; tiles
// whose right the current operator lacks are shown disabled.
#include <QWidget>
#include <vector>

#include "widgets/page.h"

class QLabel;
class QToolButton;

namespace ocv {

class ConfigStore;
class EventBridge;

struct SetupHomeEntry {
    QString name;          // the page's name ("" for a window that is not a page)
    const char* title;     // English
    const char* icon;      // skin image
    int right = -1;        // the right it needs, -1 none
    int menuMessage = 0;   // what its menu item posts, with item
    int item = 0;
};

class UISetupDlg : public QWidget, public Page {
    Q_OBJECT
public:
    UISetupDlg(const ConfigStore& store, EventBridge& events, std::vector<SetupHomeEntry> entries, QWidget* parent);
    QWidget* Widget() override { return this; }
    void OnShown() override { Refresh(); }
    void OnUserChanged() override { Refresh(); }

    // Enables the tiles for the current operator and renews the summary.
    void Refresh();
    QToolButton* Tile(const QString& title) const;

private:
    const ConfigStore& store_;
    std::vector<SetupHomeEntry> entries_;
    std::vector<QToolButton*> tiles_;
    QLabel* summary_;
};

}  // namespace ocv
