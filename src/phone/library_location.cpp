#include "phone/library_location.h"

#include "phone/phone_log.h"

#include <QDir>
#include <QFileInfo>

namespace marlow::phone {

QString DownloadLibraryFileName() {
#if defined(_WIN32)
    return QString::fromLatin1(kDownloadLibraryName) + ".dll";
#elif defined(__APPLE__)
    return "lib" + QString::fromLatin1(kDownloadLibraryName) + ".dylib";
#else
    return "lib" + QString::fromLatin1(kDownloadLibraryName) + ".so";
#endif
}

QStringList DownloadLibraryCandidates(const QString& programDir) {
    const QDir dir(programDir);
    const QString file = DownloadLibraryFileName();
    const QStringList places = {
        dir.filePath(file), dir.filePath("../lib/" + file), dir.filePath("../lib/marlow/" + file),
        dir.filePath("../../stubs/ifwd/" + file), // marlow-cli in <build>/src/cli
    };
    QStringList candidates;
    for (const QString& place : places) {
        if (QFileInfo(place).isFile())
            candidates << QDir::cleanPath(place);
    }
    candidates << QString::fromLatin1(kDownloadLibraryName);
    return candidates;
}

Result<std::unique_ptr<VendorLibrary>> LocateDownloadLibrary(const QString& explicitPath,
                                                             const QString& programDir) {
    if (!explicitPath.isEmpty()) {
        qCDebug(lcPhone).noquote() << "the vendor library as named:" << explicitPath;
        return LoadDownloadLibrary(explicitPath);
    }
    // The first candidate that exists decides: a broken copy beside the
    // program is reported, not silently replaced by another one.
    const QStringList candidates = DownloadLibraryCandidates(programDir);
    qCDebug(lcPhone).noquote() << "vendor library candidates beside" << programDir << ":"
                               << candidates.join(", ");
    return LoadDownloadLibrary(candidates.front());
}

} // namespace marlow::phone
