#pragma once
// The "Copy to ..." window: the other channels of the device, checked for a copy of the page's
// local settings.
#include <QDialog>
#include <QString>
#include <utility>
#include <vector>

class QListWidget;

namespace ocv {

class UICopyDlg : public QDialog {
    Q_OBJECT
public:
    // channels: channel index and the text it is listed with.
    UICopyDlg(const std::vector<std::pair<int, QString>>& channels, QWidget* parent);
    void SetChecked(int row, bool on);
    int rowCount() const;
    // The checked channels, in list order.
    std::vector<int> Chosen() const;

private:
    QListWidget* list_;
};

}  // namespace ocv
