#include "snapshots/snapshot_viewer_dlg.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>

#include "store/config_store.h"
#include "store/text_field.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "widgets/skin_image.h"
#include "ui_UISnapshotDlg.h"

namespace ocv {
namespace {

constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 100;
constexpr int kFileRole = Qt::UserRole;  // index into the listing

QString DayText(const snapshots::SnapshotDay& d) { return QString::asprintf("%04d-%02d-%02d", d.year, d.month, d.day); }

QString TimeText(const snapshots::SnapshotFile& f) {
    if (f.hour < 0) return QString::fromStdString(f.name);
    return QString::asprintf("%02d:%02d:%02d", f.hour, f.minute, f.second);
}

QIcon BlankThumbnail() {
    QPixmap blank(kThumbWidth, kThumbHeight);
    blank.fill(QColor(0x23, 0x2a, 0x32));
    return QIcon(blank);
}

}  // namespace

UISnapshotDlg::UISnapshotDlg(const ConfigStore& store, QWidget* parent) : QDialog(parent), store_(store) {
    Ui::UISnapshotDlg ui;
    ui.setupUi(this);
    setWindowTitle(Tr("Open capture file"));
    dayCombo_ = ui.dayCombo;
    channelCombo_ = ui.channelCombo;
    photoList_ = ui.photoList;
    largeView_ = ui.largeView;
    infoLabel_ = ui.infoLabel;
    countLabel_ = ui.countLabel;
    msgLabel_ = ui.msgLabel;
    deleteBtn_ = ui.deleteBtn;
    openFolderBtn_ = ui.openFolderBtn;
    ui.dayLabel->setText(Tr("Date"));
    ui.channelLabel->setText(Tr("Channel"));
    ui.refreshBtn->setText(Tr("Refresh"));
    deleteBtn_->setText(Tr("Delete"));
    openFolderBtn_->setText(Tr("Open folder"));
    ui.closeBtn->setText(Tr("Close"));
    photoList_->setViewMode(QListView::IconMode);
    photoList_->setIconSize(QSize(kThumbWidth, kThumbHeight));
    photoList_->setResizeMode(QListView::Adjust);
    photoList_->setMovement(QListView::Static);
    photoList_->setUniformItemSizes(true);
    photoList_->setSpacing(4);

    connect(ui.refreshBtn, &QPushButton::clicked, this, &UISnapshotDlg::Refresh);
    connect(deleteBtn_, &QPushButton::clicked, this, &UISnapshotDlg::DeleteSelected);
    connect(openFolderBtn_, &QPushButton::clicked, this, &UISnapshotDlg::OpenFolder);
    connect(ui.closeBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(photoList_, &QListWidget::currentRowChanged, this, [this] { SelectionChanged(); });
    connect(dayCombo_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_ || index < 0) return;
        if (index < static_cast<int>(days_.size())) Scan(days_[index], "");
    });
    connect(channelCombo_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_ || index < 0) return;
        Scan(day_, channelCombo_->itemData(index).toString().toStdString());
    });

    // Results come on the loader's thread; they are handed to this window's thread as they are.
    snapshots::SnapshotLoader::Callbacks callbacks;
    callbacks.scanned = [this](snapshots::ScanResult r) {
        QMetaObject::invokeMethod(this, [this, r = std::move(r)] { ShowListing(r); }, Qt::QueuedConnection);
    };
    callbacks.thumbnail = [this](snapshots::ThumbnailResult r) {
        QMetaObject::invokeMethod(this, [this, r = std::move(r)] { ShowThumbnail(r); }, Qt::QueuedConnection);
    };
    callbacks.picture = [this](snapshots::PictureResult r) {
        QMetaObject::invokeMethod(this, [this, r = std::move(r)] { ShowPicture(r); }, Qt::QueuedConnection);
    };
    callbacks.deleted = [this](snapshots::DeleteResult r) {
        QMetaObject::invokeMethod(this, [this, r = std::move(r)] { Deleted(r); }, Qt::QueuedConnection);
    };
    loader_ = std::make_unique<snapshots::SnapshotLoader>(std::move(callbacks), QSize(kThumbWidth, kThumbHeight));

    root_ = snapshots::PhotoRoot(store_.settings().PHOTOPATH);
    deleteBtn_->setEnabled(false);
    openFolderBtn_->setEnabled(false);
    if (root_.empty()) {
        msgLabel_->setText(Tr("The capture save path names a drive without a folder; choose it in the system "
                              "settings."));
        return;
    }
    msgLabel_->setText(Tr("Reading..."));
    Scan({}, "");
}

UISnapshotDlg::~UISnapshotDlg() {
    // Joined first: no result is handed to a window that is going.
    loader_.reset();
}

void UISnapshotDlg::Scan(snapshots::SnapshotDay day, const std::string& channelFolder) {
    if (root_.empty()) return;
    channelFolder_ = channelFolder;
    generation_ = loader_->Scan({root_, day, channelFolder});
}

void UISnapshotDlg::Refresh() { Scan(day_, channelFolder_); }

QString UISnapshotDlg::ChannelText(const snapshots::ChannelFolder& folder) const {
    // The device's own name where the folder is one of a configured channel.
    for (int d = 0; d < kMaxDevices && folder.channelNumber > 0; ++d) {
        const DeviceInfo& dev = store_.device(d);
        if (dev.IsEmpty() || dev.port != folder.port || folder.channelNumber > kMaxChannels) continue;
        if (snapshots::ChannelFolderName(dev.host, dev.port, folder.channelNumber) != folder.name) continue;
        const std::string_view name = FieldText(dev.name);
        if (!name.empty())
            return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
                   QString("-C%1").arg(folder.channelNumber) + "  (" + QString::fromStdString(folder.name) + ")";
    }
    return QString::fromStdString(folder.name);
}

void UISnapshotDlg::ShowListing(const snapshots::ScanResult& r) {
    if (r.generation != generation_) return;
    filling_ = true;
    day_ = r.day;
    days_ = r.days;
    dayCombo_->clear();
    for (const snapshots::SnapshotDay& d : days_) {
        dayCombo_->addItem(DayText(d));
        if (d == r.day) dayCombo_->setCurrentIndex(dayCombo_->count() - 1);
    }
    channelCombo_->clear();
    channelCombo_->addItem(Tr("All channels"), QString());
    for (const snapshots::ChannelFolder& f : r.folders) {
        channelCombo_->addItem(ChannelText(f), QString::fromStdString(f.name));
        if (f.name == channelFolder_) channelCombo_->setCurrentIndex(channelCombo_->count() - 1);
    }
    if (channelCombo_->currentIndex() <= 0) channelFolder_.clear();

    files_ = r.listing.files;
    photoList_->clear();
    const QIcon blank = BlankThumbnail();
    for (size_t i = 0; i < files_.size(); ++i) {
        const snapshots::SnapshotFile& f = files_[i];
        QString text = TimeText(f);
        if (f.kind == backup::SnapshotKind::kPlayback) text += " " + Tr("Playback");
        auto* item = new QListWidgetItem(blank, text);
        item->setData(kFileRole, static_cast<int>(i));
        item->setToolTip(QString::fromStdString(f.path));
        photoList_->addItem(item);
    }
    filling_ = false;
    ++listingsShown_;
    countLabel_->setText(QString::number(files_.size()) + " " + Tr("pictures"));
    if (r.days.empty()) msgLabel_->setText(Tr("No capture files"));
    else if (r.listing.truncated) msgLabel_->setText(Tr("Only the first 5000 pictures of the day are shown."));
    else msgLabel_->clear();
    if (!files_.empty()) photoList_->setCurrentRow(0);
    else SelectionChanged();
}

void UISnapshotDlg::ShowThumbnail(const snapshots::ThumbnailResult& r) {
    if (r.generation != generation_ || r.index < 0 || r.index >= photoList_->count() || r.image.isNull()) return;
    photoList_->item(r.index)->setIcon(QIcon(QPixmap::fromImage(r.image)));
    ++thumbnailsShown_;
}

const snapshots::SnapshotFile* UISnapshotDlg::SelectedFile() const {
    QListWidgetItem* item = photoList_->currentItem();
    if (item == nullptr) return nullptr;
    const int index = item->data(kFileRole).toInt();
    return index >= 0 && index < static_cast<int>(files_.size()) ? &files_[index] : nullptr;
}

void UISnapshotDlg::SelectionChanged() {
    const snapshots::SnapshotFile* f = SelectedFile();
    deleteBtn_->setEnabled(f != nullptr);
    openFolderBtn_->setEnabled(f != nullptr || day_.valid());
    picture_ = QImage();
    shownPicture_.clear();
    largeView_->clear();
    if (f == nullptr) {
        infoLabel_->clear();
        return;
    }
    infoLabel_->setText(QString::fromStdString(f->channelFolder) + "   " + TimeText(*f) + "   " +
                        (f->kind == backup::SnapshotKind::kPlayback ? Tr("Playback") : Tr("Live view")) + "   " +
                        QString::number((f->bytes + 1023) / 1024) + " KiB   " + QString::fromStdString(f->name));
    loader_->LoadPicture(f->path);
}

void UISnapshotDlg::ShowPicture(const snapshots::PictureResult& r) {
    const snapshots::SnapshotFile* f = SelectedFile();
    if (f == nullptr || f->path != r.path) return;  // another picture was chosen meanwhile
    if (r.image.isNull()) {
        largeView_->setText(Tr("The picture can not be shown."));
        return;
    }
    picture_ = r.image;
    shownPicture_ = r.path;
    ScaleLargeView();
}

void UISnapshotDlg::ScaleLargeView() {
    if (picture_.isNull()) return;
    largeView_->setPixmap(QPixmap::fromImage(picture_).scaled(largeView_->size(), Qt::KeepAspectRatio,
                                                             Qt::SmoothTransformation));
}

void UISnapshotDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    ScaleLargeView();
}

void UISnapshotDlg::DeleteSelected() {
    const snapshots::SnapshotFile* f = SelectedFile();
    if (f == nullptr) return;
    const std::string path = f->path;
    if (!CheckRight(this, kRightCapture)) return;
    if (!ShowMessage(this, Tr("Do you want to delete the picture?") + "\n" + QString::fromStdString(path), QString(),
                     kMsgAdvice))
        return;
    loader_->Delete(root_, path);
}

void UISnapshotDlg::Deleted(const snapshots::DeleteResult& r) {
    if (!r.deleted)
        ShowMessage(this, Tr("Failed to delete the picture!") + "\n" + QString::fromStdString(r.path), QString(),
                    kMsgError);
    Refresh();
}

void UISnapshotDlg::OpenFolder() {
    QString folder;
    if (const snapshots::SnapshotFile* f = SelectedFile()) {
        folder = QFileInfo(QString::fromStdString(f->path)).absolutePath();
    } else if (day_.valid()) {
        folder = QString::fromStdString(root_ + "/QVXPhoto/" + snapshots::DayFolderName(day_));
    }
    if (folder.isEmpty()) return;
    if (openHook_) {
        openHook_(folder);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace ocv
