#include "widgets/skin_image.h"

#include <QFile>

#include "platform/app_dir.h"
#include "base/lang.h"

namespace ocv {

QPixmap SkinPixmap(const QString& name) {
    QString path = QString::fromStdString(AppPath("skin/")) + name;
    QPixmap pixmap;
    if (QFile::exists(path)) pixmap.load(path);
    return pixmap;
}

QIcon SkinIcon(const QString& name) {
    QPixmap p = SkinPixmap(name);
    return p.isNull() ? QIcon() : QIcon(p);
}

QString Tr(const char* english) { return QString::fromStdString(GetLangString(english)); }

}  // namespace ocv
