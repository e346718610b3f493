#include "liveview/ptz_popup.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTreeWidget>

#include "base/channel_id.h"
#include "widgets/skin_image.h"
#include "widgets/window_message.h"
#include "ui_UIPtzDlg.h"

namespace ocv {
namespace {

// The faces of the buttons: arrows and pictures, so the pad reads at a glance in any language;
// the lens pairs are signs beside their caption.
struct Face {
    const char* name;
    const char* image;  // skin image, or nullptr for the text
    const char* text;
};

const Face* FaceOf(const std::string& name) {
    static const Face kFaces[] = {
        {"upBtn", "ptzUp.png", ""},           {"downBtn", "ptzDown.png", ""},
        {"leftBtn", "ptzLeft.png", ""},       {"rightBtn", "ptzRight.png", ""},
        {"upleftBtn", "ptzUpLeft.png", ""},   {"uprightBtn", "ptzUpRight.png", ""},
        {"downleftBtn", "ptzDownLeft.png", ""}, {"downrightBtn", "ptzDownRight.png", ""},
        {"zoomOutBtn", nullptr, "-"},         {"zoomInBtn", nullptr, "+"},
        {"focusNearBtn", nullptr, "-"},       {"focusFarBtn", nullptr, "+"},
        {"irisCloseBtn", nullptr, "-"},       {"irisOpenBtn", nullptr, "+"},
        {"autoBtn", "ptzAuto.png", ""},       {"wiperBtn", "ptzWiper.png", ""},
        {"lightBtn", "ptzLight.png", ""},     {"editBtn", "ptzPresetSet.png", ""},
        {"clearBtn", "ptzPresetClear.png", ""}, {"gotoBtn", "ptzPresetGoto.png", ""},
    };
    for (const Face& f : kFaces)
        if (name == f.name) return &f;
    return nullptr;
}

}  // namespace

void BindPtzButtons(QWidget* root, const std::function<void(const PtzButton&, bool pressed)>& hold,
                    const std::function<void(const PtzButton&)>& click) {
    for (const PtzButton& b : PtzButtons()) {
        auto* button = root->findChild<QAbstractButton*>(b.name);
        if (button == nullptr) continue;
        if (const Face* face = FaceOf(b.name)) {
            QIcon icon = face->image ? SkinIcon(face->image) : QIcon();
            if (!icon.isNull()) {
                button->setIcon(icon);
                button->setIconSize(QSize(18, 18));
            } else {
                // Without the skin (or for the lens signs) the button still says what it does.
                button->setText(face->image ? Tr(b.tip) : QString(face->text));
            }
        }
        button->setToolTip(Tr(b.tip));
        const PtzButton* info = &b;
        if (b.action == PtzAction::kHold) {
            QObject::connect(button, &QAbstractButton::pressed, root, [hold, info] { hold(*info, true); });
            QObject::connect(button, &QAbstractButton::released, root, [hold, info] { hold(*info, false); });
        } else {
            QObject::connect(button, &QAbstractButton::clicked, root, [click, info] { click(*info); });
        }
    }
}

void SetPtzCaptions(QWidget* root) {
    for (auto [name, text] : {std::pair{"zoomBtn", "Zoom"}, std::pair{"focusBtn", "Focus"}, std::pair{"irisBtn", "Iris"}})
        if (auto* label = root->findChild<QLabel*>(name)) label->setText(Tr(text));
}

UIPtzDlg::UIPtzDlg(int channelId, PtzSender& sender, QObject* page, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::UIPtzDlg>()),
      channelId_(channelId),
      sender_(sender),
      page_(page) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(Tr("PTZ control"));
    ui_->titleLabel->setText(Tr("PTZ control"));
    ui_->closeBtn->setText(QStringLiteral("\u2715"));
    ui_->popupSpeedLabel->setText(Tr("Speed"));
    SetPtzCaptions(this);
    connect(ui_->closeBtn, &QPushButton::clicked, this, &QWidget::close);

    QTreeWidget* presets = ui_->presetList;
    presets->setHeaderLabels({Tr("Index"), Tr("Name")});
    presets->header()->resizeSection(0, 40);
    QString word = Tr("Preset");
    for (int i = 0; i < kPresetRows; ++i) {
        auto* row = new QTreeWidgetItem(presets);
        row->setText(0, QString::asprintf("%03d", i + 1));
        row->setText(1, word + QString::asprintf("%03d", i + 1));
    }

    BindPtzButtons(
        this,
        [this](const PtzButton& b, bool pressed) { Send(b.code, pressed ? 0 : 1, ui_->speedSlider->value()); },
        [this](const PtzButton& b) {
            if (b.action == PtzAction::kToggle) {
                Send(b.code, toggles_.Click(b.code), ui_->speedSlider->value());
                return;
            }
            QTreeWidgetItem* row = ui_->presetList->currentItem();
            int preset = PresetNumberOfRow(row ? ui_->presetList->indexOfTopLevelItem(row) : -1);
            if (preset > 0) Send(b.code, 0, preset);
        });
}

UIPtzDlg::~UIPtzDlg() = default;

QSlider* UIPtzDlg::speedSlider() const { return ui_->speedSlider; }
QTreeWidget* UIPtzDlg::presetList() const { return ui_->presetList; }

void UIPtzDlg::Send(int code, int stop, int value) {
    if (!IsChannelId(channelId_)) return;
    sender_.Send(DeviceIndexOf(channelId_), ChannelIndexOf(channelId_), code, stop, value);
}

void UIPtzDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

void UIPtzDlg::closeEvent(QCloseEvent* e) {
    if (page_) PostWindowMessage(page_, kMsgPtzPopupClosed, 0, 0);
    QWidget::closeEvent(e);
}

}  // namespace ocv
