#pragma once
// The program's own message box: five kinds choosing the icon, the title and the buttons.
#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;

namespace ocv {

enum MessageKind : int { kMsgComplete = 0, kMsgAdvice = 1, kMsgWarning = 2, kMsgError = 3, kMsgCustom = 4 };

class UIMessageBoxDlg : public QDialog {
    Q_OBJECT
public:
    UIMessageBoxDlg(QWidget* parent, const QString& text, const QString& title, int kind);
    bool OkChosen() const { return okChosen_; }

private:
    bool okChosen_ = false;
};

// Modal; true only when okBtn closed it. The text is shown as given (callers translate).
bool ShowMessage(QWidget* parent, const QString& text, const QString& title, int kind);
// Translates an English message and shows it with the kind's own title.
bool ShowMessage(QWidget* parent, const char* english, int kind);

// Tests see the messages instead of a modal box: the hook's result is the box's result.
using MessageHook = std::function<bool(const QString& text, int kind)>;
void SetMessageHookForTesting(MessageHook hook);

// The English title and icon name of a kind ("Complete", msgOK.png, ...).
const char* MessageKindTitle(int kind);
const char* MessageKindIcon(int kind);

}  // namespace ocv
