// The snapshot viewer on real picture files: newest day first, channels named after their
// devices, thumbnails and the large view, a damaged file, deleting with the question, the
// folder opened, and a capture path that leads nowhere.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <filesystem>

#include "snapshots/snapshot_viewer_dlg.h"
#include "store/text_field.h"
#include "tests/setup/setup_test_support.h"

namespace fs = std::filesystem;
using namespace ocv;
using ocv::test::ShellFixture;

namespace {

void Picture(const std::string& root, const char* kind, const char* day, const char* channel, const char* name) {
    const fs::path dir = fs::path(root) / kind / day / channel;
    fs::create_directories(dir);
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(QString::fromStdString((dir / name).string())));
}

void UsePhotoPath(ShellFixture& f, const std::string& path) {
    SystemSettings s = f.store().settings();
    CopyText(s.PHOTOPATH, path);
    ASSERT_EQ(f.store().SaveSettings(s, false), 0);
}

}  // namespace

TEST(SnapshotViewer, ShowsTheNewestDayItsChannelsThumbnailsAndTheLargePicture) {
    ShellFixture f({{"127.0.0.1", 9, 4}});
    const std::string root = f.dir / "photos";
    Picture(root, "QVXPhoto", "2026_12_07", "127.0.0.1-9-C1", "26120708000000.jpg");
    Picture(root, "QVXPhoto", "2026_12_08", "127.0.0.1-9-C1", "26120810000001.jpg");
    Picture(root, "QVXPhotoPB", "2026_12_08", "127.0.0.1-9-C2", "PB26120809000002.bmp");
    Picture(root, "QVXPhoto", "2026_12_08", "10.0.0.5-8000-C3", "26120811000003.jpg");
    UsePhotoPath(f, root + "/");

    UISnapshotDlg viewer(f.store(), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return viewer.listingsShown() > 0; }));
    EXPECT_EQ(viewer.dayCombo()->count(), 2);
    EXPECT_EQ(viewer.dayCombo()->currentText(), "2026-12-08");
    // "All channels" and the day's three folders; a configured device's channel by its name.
    ASSERT_EQ(viewer.channelCombo()->count(), 4);
    EXPECT_EQ(viewer.channelCombo()->itemText(1), "10.0.0.5-8000-C3");
    EXPECT_EQ(viewer.channelCombo()->itemText(2), "Demo 1-C1  (127.0.0.1-9-C1)");
    ASSERT_EQ(viewer.photoList()->count(), 3);
    EXPECT_EQ(viewer.photoList()->item(0)->text(), "09:00:00 Playback");
    EXPECT_EQ(viewer.photoList()->item(1)->text(), "10:00:00");
    ASSERT_TRUE(test::WaitFor([&] { return viewer.thumbnailsShown() == 3; }));
    ASSERT_TRUE(test::WaitFor([&] { return !viewer.shownPicture().empty(); }));
    EXPECT_EQ(fs::path(viewer.shownPicture()).filename(), "PB26120809000002.bmp");
    EXPECT_FALSE(viewer.largeView()->pixmap().isNull());

    // One channel, then another day.
    viewer.channelCombo()->setCurrentIndex(2);
    ASSERT_TRUE(test::WaitFor([&] { return viewer.listingsShown() == 2; }));
    ASSERT_EQ(viewer.photoList()->count(), 1);
    EXPECT_EQ(viewer.photoList()->item(0)->text(), "10:00:00");
    viewer.dayCombo()->setCurrentIndex(1);
    ASSERT_TRUE(test::WaitFor([&] { return viewer.listingsShown() == 3; }));
    EXPECT_EQ(viewer.dayCombo()->currentText(), "2026-12-07");
    EXPECT_EQ(viewer.photoList()->count(), 1);

    QString opened;
    viewer.SetOpenFolderHookForTesting([&](const QString& folder) { opened = folder; });
    viewer.OpenFolder();
    EXPECT_EQ(opened.toStdString(), root + "/QVXPhoto/2026_12_07/127.0.0.1-9-C1");
}

TEST(SnapshotViewer, DeleteAsksFirstAndADamagedPictureIsSaidSo) {
    ShellFixture f;
    const std::string root = f.dir / "photos";
    Picture(root, "QVXPhoto", "2026_12_08", "h-1-C1", "26120810000001.jpg");
    const fs::path damaged = fs::path(root) / "QVXPhoto/2026_12_08/h-1-C1/26120811000002.jpg";
    test::WriteText(damaged.string(), "not a picture");
    UsePhotoPath(f, root);
    LogInAs(f.store().user(f.SlotOf("admin")));

    UISnapshotDlg viewer(f.store(), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return viewer.listingsShown() == 1; }));
    ASSERT_EQ(viewer.photoList()->count(), 2);
    viewer.photoList()->setCurrentRow(1);
    ASSERT_TRUE(test::WaitFor([&] { return viewer.largeView()->text() == "The picture can not be shown."; }));

    f.answer = false;
    viewer.DeleteSelected();
    EXPECT_TRUE(f.Texts().back().startsWith("Do you want to delete the picture?"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(fs::exists(damaged));

    f.answer = true;
    viewer.DeleteSelected();
    ASSERT_TRUE(test::WaitFor([&] { return viewer.listingsShown() == 2; }));
    EXPECT_FALSE(fs::exists(damaged));
    EXPECT_EQ(viewer.photoList()->count(), 1);
}

TEST(SnapshotViewer, ACapturePathOnAnUnmappedDriveIsExplainedAndNothingIsRead) {
    ShellFixture f;
    UsePhotoPath(f, "Q:\\");
    UISnapshotDlg viewer(f.store(), nullptr);
    EXPECT_TRUE(viewer.messageLabel()->text().contains("system settings"));
    QCoreApplication::processEvents();
    EXPECT_EQ(viewer.listingsShown(), 0);
    EXPECT_EQ(viewer.photoList()->count(), 0);

    // An existing folder without pictures says so.
    UsePhotoPath(f, f.dir / "empty");
    UISnapshotDlg empty(f.store(), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return empty.listingsShown() == 1; }));
    EXPECT_EQ(empty.messageLabel()->text(), "No capture files");
}
