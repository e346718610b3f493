#pragma once
// A throw-away application directory with a fresh database and a device service on it, and a
// message hook that records what the windows would have shown.
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "device/device_service.h"
#include "platform/app_dir.h"
#include "shell/client_services.h"
#include "widgets/client_context.h"
#include "widgets/login_dialog.h"
#include "widgets/message_box.h"
#include "tests/support/temp_dir.h"
#include "tools/mkdb/mkdb.h"

namespace ocv::test {

struct ShownMessage {
    QString text;
    int kind;
};

class ShellFixture {
public:
    explicit ShellFixture(const std::vector<mkdb::DemoDevice>& devices = {}) {
        SetAppDir(dir.str());
        std::string error;
        ok = mkdb::WriteLiveDatabase(dir / "QVXVMS.dat", devices, &error) == 0 &&
             mkdb::WriteTemplate(dir / "QVXVMS.bak", &error) == 0;
        service = std::make_unique<DeviceService>(dir / "QVXVMS.dat", dir / "Logx");
        SetService(service.get());
        LogOut();
        SetMessageHookForTesting([this](const QString& text, int kind) {
            messages.push_back({text, kind});
            return answer;
        });
        SetLoginHookForTesting([this](QWidget*, bool) {
            ++loginOffers;
            return false;
        });
    }
    ~ShellFixture() {
        SetMessageHookForTesting(nullptr);
        SetLoginHookForTesting(nullptr);
        LogOut();
        SetService(nullptr);
        service.reset();
        SetAppDir("");
    }
    ConfigStore& store() { return service->store(); }
    RuntimeTable& runtime() { return service->runtime(); }
    int SlotOf(const char* name) {
        for (int s = 0; s < kMaxUsers; ++s)
            if (QString(store().user(s).userName) == name) return s;
        return -1;
    }
    int AddAccount(const char* name, const char* password, int level, int option) {
        UserInfo u{};
        u.level = level;
        u.option = option;
        std::snprintf(u.userName, sizeof(u.userName), "%s", name);
        std::snprintf(u.password, sizeof(u.password), "%s", password);
        if (store().AddUser(u) != 0) return -1;
        return SlotOf(name);
    }
    QStringList Texts() const {
        QStringList out;
        for (const auto& m : messages) out << m.text;
        return out;
    }

    TempDir dir;
    bool ok = false;
    std::unique_ptr<DeviceService> service;
    std::vector<ShownMessage> messages;
    bool answer = true;  // what the operator clicks in every message box
    int loginOffers = 0;
};

}  // namespace ocv::test
