#include "setup/copy_channels_dlg.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

#include "widgets/skin_image.h"
#include "ui_UICopyDlg.h"

namespace ocv {

UICopyDlg::UICopyDlg(const std::vector<std::pair<int, QString>>& channels, QWidget* parent) : QDialog(parent) {
    Ui::UICopyDlg ui;
    ui.setupUi(this);
    setWindowTitle(Tr("Copy to ..."));
    list_ = ui.chnList;
    for (const auto& [channel, text] : channels) {
        auto* item = new QListWidgetItem(text, list_);
        item->setData(Qt::UserRole, channel);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    ui.selectOption->setText(Tr("Select/Clear All"));
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    connect(ui.selectOption, &QCheckBox::toggled, this, [this](bool on) {
        for (int row = 0; row < list_->count(); ++row) SetChecked(row, on);
    });
    connect(ui.okBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui.exitBtn, &QPushButton::clicked, this, &QDialog::reject);
}

int UICopyDlg::rowCount() const { return list_->count(); }

void UICopyDlg::SetChecked(int row, bool on) {
    if (QListWidgetItem* item = list_->item(row)) item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

std::vector<int> UICopyDlg::Chosen() const {
    std::vector<int> out;
    for (int row = 0; row < list_->count(); ++row)
        if (list_->item(row)->checkState() == Qt::Checked) out.push_back(list_->item(row)->data(Qt::UserRole).toInt());
    return out;
}

}  // namespace ocv
