#include "shell/splash_dialog.h"

#include <pthread.h>

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>

#include "device/device_service.h"
#include "shell/client_services.h"
#include "platform/app_dir.h"
#include "sdk/qvx_sdk.h"
#include "base/build_string.h"
#include "base/clock.h"
#include "base/lang.h"
#include "base/trace.h"
#include "widgets/client_context.h"
#include "widgets/skin_image.h"
#include "ui_UIWzdSplashDlg.h"

namespace ocv {

QString UIWzdSplashDlg::VersionText() {
    return QString("%1 %2-%3").arg(Tr("Version"), kVersionText, QString::fromStdString(GetBuildString()));
}

UIWzdSplashDlg::UIWzdSplashDlg(int mode, std::unique_ptr<DeviceService>* service, QWidget* parent)
    : QDialog(parent), mode_(mode), service_(service) {
    Ui::UIWzdSplashDlg ui;  // the layout comes from skin/ui; sizes follow splash.png
    ui.setupUi(this);
    setWindowTitle(QString::fromStdString(Shared().title));
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    loadingText_ = Tr("Loading, please wait ...");
    logOffText_ = Tr("Being log off, please wait ...");

    QLabel* background = ui.backgroudVer;
    QPixmap image(QString::fromStdString(AppPath("splash.png")));
    int width = 400, height = 300;
    if (!image.isNull()) {
        width = image.width();
        height = image.height();
        background->setPixmap(image);
    }
    setFixedSize(width, height);
    background->setGeometry(0, 0, width, height);
    statusLabel_ = ui.statusLabel;
    statusLabel_->setGeometry(20, height - 40, 200, 20);
    QLabel* version = ui.versionLabel;
    version->setText(VersionText());
    version->setGeometry(width - 230, height - 40, 200, 20);
    for (QLabel* l : {statusLabel_, version}) l->setStyleSheet("color: white; background: transparent;");

    timer_ = new QTimer(this);
    if (mode_ == kLoading) {
        connect(timer_, &QTimer::timeout, this, &UIWzdSplashDlg::LoadingTick);
        timer_->start(200);
    } else {
        statusLabel_->setText(logOffText_);
        connect(timer_, &QTimer::timeout, this, &UIWzdSplashDlg::ShutdownTick);
        timer_->start(1000);
        std::unique_ptr<DeviceService> doomed = std::move(*service_);
        SetService(nullptr);
        shutdown_ = std::thread([this, s = std::move(doomed)]() mutable {
            pthread_setname_np(pthread_self(), "shutdown");
            Trace("EXIT 2\n");
            s.reset();
            Trace("EXIT 3\n");
            QVX_SDK_Cleanup();
            Trace("EXIT 4\n");
            done_.store(true);
        });
    }
}

UIWzdSplashDlg::~UIWzdSplashDlg() {
    if (shutdown_.joinable()) shutdown_.join();
}

void UIWzdSplashDlg::LoadingTick() {
    if (tick_ >= 10) {
        // Eleven ticks in all: the eleventh only ends the modal loop.
        timer_->stop();
        QTimer::singleShot(0, this, &QDialog::accept);
        return;
    }
    statusLabel_->setText(loadingText_ + QString("(%1%)...").arg((tick_ + 1) * 10));
    if (tick_ == 0) {
        RenewClockSnapshot();
    } else if (tick_ == 2) {
        QVX_SDK_Init();
    } else if (tick_ == 4 && service_ && !*service_) {
        *service_ = std::make_unique<DeviceService>();
        SetService(service_->get());
    }
    ++tick_;
}

void UIWzdSplashDlg::CompleteLoading() {
    if (mode_ != kLoading) return;
    while (tick_ < 10) LoadingTick();
}

bool UIWzdSplashDlg::Finished() const { return mode_ == kLoading ? tick_ >= 10 : done_.load(); }

void UIWzdSplashDlg::reject() {
    // Loading initialises the device library and creates the service at its ticks; shutting
    // down waits for the service to go. Leaving early would skip either.
    if (Finished()) QDialog::reject();
}

void UIWzdSplashDlg::closeEvent(QCloseEvent* e) {
    if (Finished()) {
        QDialog::closeEvent(e);
        return;
    }
    e->ignore();
}

void UIWzdSplashDlg::ShutdownTick() {
    if (!done_.load()) {
        statusLabel_->setText(logOffText_ + QString("(%1s)").arg(seconds_));
        ++seconds_;
        return;
    }
    if (shutdown_.joinable()) shutdown_.join();
    timer_->stop();
    accept();
}

}  // namespace ocv
