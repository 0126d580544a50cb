#pragma once
// Which file names the settings sheet's choosers accept: the extension is
// everything from the last "." of the name on, letter case ignored.

#include <QString>
#include <QStringList>

namespace marlow::pda::ui {

// `allowed` as ".bin", ".lst"... A name without a "." never matches.
bool HasAllowedExtension(const QString& path, const QStringList& allowed);

} // namespace marlow::pda::ui
