#pragma once
// Images of the skin: AppDir/skin/<name> as the build rendered them, or nothing.
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace ocv {
QPixmap SkinPixmap(const QString& name);
QIcon SkinIcon(const QString& name);
QString Tr(const char* english);  // GetLangString as a QString
}  // namespace ocv
