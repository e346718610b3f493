#include "shell/message_box.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/base/lang.h"
#include "shell/skin_image.h"

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
    setObjectName("UIMessageBoxDlg");
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    QString caption = kind == kMsgCustom ? title : Tr(MessageKindTitle(kind));
    setWindowTitle(caption);

    auto* titleLabel = new QLabel(caption, this);
    titleLabel->setObjectName("titleLabel");
    auto* closeBtn = new QPushButton(QStringLiteral("\u2715"), this);
    closeBtn->setObjectName("closeBtn");
    closeBtn->setFlat(true);
    auto* top = new QHBoxLayout;
    top->addWidget(titleLabel, 1);
    top->addWidget(closeBtn);

    auto* msgImages = new QLabel(this);
    msgImages->setObjectName("msgImages");
    msgImages->setPixmap(SkinPixmap(MessageKindIcon(kind)));
    msgImages->setFixedSize(48, 48);
    msgImages->setScaledContents(true);
    auto* msgText = new QLabel(text, this);
    msgText->setObjectName("msgText");
    msgText->setWordWrap(true);
    msgText->setMinimumWidth(260);
    auto* body = new QHBoxLayout;
    body->addWidget(msgImages);
    body->addWidget(msgText, 1);

    auto* okBtn = new QPushButton(Tr("OK"), this);
    okBtn->setObjectName("okBtn");
    okBtn->setDefault(true);
    auto* exitBtn = new QPushButton(Tr("Cancel"), this);
    exitBtn->setObjectName("exitBtn");
    exitBtn->setVisible(kind == kMsgAdvice);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okBtn);
    buttons->addWidget(exitBtn);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(body);
    layout->addLayout(buttons);

    connect(okBtn, &QPushButton::clicked, this, [this] {
        okChosen_ = true;
        accept();
    });
    connect(exitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(closeBtn, &QPushButton::clicked, this, &QDialog::reject);
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
