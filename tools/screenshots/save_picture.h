#pragma once
// Writes one picture into the screenshot folder and says so on stdout.

#include <QPixmap>
#include <QString>
#include <cstdio>

inline bool Save(const QPixmap& picture, const QString& dir, const char* name) {
    const QString path = dir + "/" + name;
    const bool saved = picture.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}
