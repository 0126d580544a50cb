#pragma once
// Where the modem download library is looked for. An operator who names a
// file gets that file or a clear refusal; otherwise the copy shipped with
// Marlow is preferred over whatever the system's library path offers.

#include "phone/vendor_library.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

namespace marlow::phone {

// "libIFWD_DownloadDll.so" here, "IFWD_DownloadDll.dll" on Windows.
QString DownloadLibraryFileName();

// The existing files to try, in order: beside the program, the installed
// library folders, the build tree; the bare name (the system's search) last.
QStringList DownloadLibraryCandidates(const QString& programDir);

// `explicitPath` (option or setting) when not empty, else the candidates.
Result<std::unique_ptr<VendorLibrary>> LocateDownloadLibrary(const QString& explicitPath,
                                                             const QString& programDir);

} // namespace marlow::phone
