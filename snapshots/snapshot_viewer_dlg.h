#pragma once
// The snapshot viewer (File menu "Open capture file"): the pictures captured from live and
// playback windows, chosen by day and channel, as thumbnails with a large view of the selected
// one; a picture can be deleted and its folder opened. All disk work runs on its loader thread.
#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>

#include "snapshots/snapshot_loader.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace ocv {

class ConfigStore;

class UISnapshotDlg : public QDialog {
    Q_OBJECT
public:
    UISnapshotDlg(const ConfigStore& store, QWidget* parent);
    ~UISnapshotDlg() override;

    // Lists again what is chosen now (the day and channel stay).
    void Refresh();
    void DeleteSelected();
    void OpenFolder();

    // Tests.
    QListWidget* photoList() const { return photoList_; }
    QComboBox* dayCombo() const { return dayCombo_; }
    QComboBox* channelCombo() const { return channelCombo_; }
    QLabel* largeView() const { return largeView_; }
    QLabel* messageLabel() const { return msgLabel_; }
    // Listings and thumbnails shown so far, and whether a large picture is shown.
    int listingsShown() const { return listingsShown_; }
    int thumbnailsShown() const { return thumbnailsShown_; }
    const std::string& shownPicture() const { return shownPicture_; }
    void SetOpenFolderHookForTesting(std::function<void(const QString& folder)> hook) { openHook_ = std::move(hook); }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Scan(snapshots::SnapshotDay day, const std::string& channelFolder);
    void ShowListing(const snapshots::ScanResult& result);
    void ShowThumbnail(const snapshots::ThumbnailResult& result);
    void ShowPicture(const snapshots::PictureResult& result);
    void Deleted(const snapshots::DeleteResult& result);
    void SelectionChanged();
    void ScaleLargeView();
    QString ChannelText(const snapshots::ChannelFolder& folder) const;
    const snapshots::SnapshotFile* SelectedFile() const;

    const ConfigStore& store_;
    std::string root_;
    std::unique_ptr<snapshots::SnapshotLoader> loader_;
    int generation_ = 0;
    std::vector<snapshots::SnapshotDay> days_;
    snapshots::SnapshotDay day_;
    std::string channelFolder_;
    std::vector<snapshots::SnapshotFile> files_;
    QImage picture_;
    std::string shownPicture_;
    int listingsShown_ = 0;
    int thumbnailsShown_ = 0;
    bool filling_ = false;
    std::function<void(const QString&)> openHook_;

    QComboBox* dayCombo_;
    QComboBox* channelCombo_;
    QListWidget* photoList_;
    QLabel* largeView_;
    QLabel* infoLabel_;
    QLabel* countLabel_;
    QLabel* msgLabel_;
    QPushButton* deleteBtn_;
    QPushButton* openFolderBtn_;
};

}  // namespace ocv
