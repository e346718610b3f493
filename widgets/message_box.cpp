#include "widgets/message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/lang.h"
#include "widgets/skin_image.h"
#include "ui_UIMessageBoxDlg.h"

namespace ocv {

namespace {
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}
}  // namespace

const char* MessageKindTitle(int kind) {
    switch (kind) {
        case kMsgComplete: return "Complete";
        case kMsgAdvice: return "Advice";
        case kMsgWarning: return "Warning";
        case kMsgError: return "Error";
        default: return "";
    }
}

const char* MessageKindIcon(int kind) {
    switch (kind) {
        case kMsgComplete: return "msgOK.png";
        case kMsgAdvice: return "msgHelp.png";
        case kMsgWarning: return "msgAlarm.png";
        case kMsgError: return "msgError.png";
        default: return "msgRedef.png";
    }
}

UIMessageBoxDlg::UIMessageBoxDlg(QWidget* parent, const QString& text, const QString& title, int kind)
    : QDialog(parent) {
    Ui::UIMessageBoxDlg ui;  // the layout comes from skin/ui; the widgets belong to this dialog
    ui.setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    QString caption = kind == kMsgCustom ? title : Tr(MessageKindTitle(kind));
    setWindowTitle(caption);
    ui.titleLabel->setText(caption);
    ui.msgImages->setPixmap(SkinPixmap(MessageKindIcon(kind)));
    ui.msgText->setText(text);
    ui.okBtn->setText(Tr("OK"));
    ui.exitBtn->setText(Tr("Cancel"));
    ui.exitBtn->setVisible(kind == kMsgAdvice);
    connect(ui.okBtn, &QPushButton::clicked, this, [this] {
        okChosen_ = true;
        accept();
    });
    connect(ui.exitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui.closeBtn, &QPushButton::clicked, this, &QDialog::reject);
}

bool ShowMessage(QWidget* parent, const QString& text, const QString& title, int kind) {
    if (Hook()) return Hook()(text, kind);
    UIMessageBoxDlg box(parent, text, title, kind);
    box.exec();
    return box.OkChosen();
}

bool ShowMessage(QWidget* parent, const char* english, int kind) {
    return ShowMessage(parent, Tr(english), QString(), kind);
}

void SetMessageHookForTesting(MessageHook hook) { Hook() = std::move(hook); }

}  // namespace ocv
