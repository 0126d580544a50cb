#include "pda/ui/file_extension_rule.h"

#include <QFileInfo>

namespace marlow::pda::ui {

bool HasAllowedExtension(const QString& path, const QStringList& allowed) {
    // Only the name counts: a dot in a folder name is no extension.
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return false;
    return allowed.contains(name.mid(dot), Qt::CaseInsensitive);
}

} // namespace marlow::pda::ui
