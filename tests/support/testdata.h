#ifndef TESTDATA_H
#define TESTDATA_H

#include <QFileInfo>
#include <QString>
#include <QTest>

// Read-only photos and ICC profiles shared with the project, outside the repository (where
// the build says: FX_SHARED_DATA_DIR).
inline QString sharedDataPath(const QString &relative) { return QStringLiteral(FX_SHARED_DATA_DIR "/") + relative; }

// Skips the calling test function (or row, or, from a _data function, the whole function)
// when the shared file or folder is missing, naming the path it looked for: a checkout
// without the shared data still runs everything else.
#define FX_REQUIRE_SHARED_DATA(relative)                                                                               \
    do {                                                                                                               \
        const QString fxRequiredPath = sharedDataPath(relative);                                                       \
        if (!QFileInfo::exists(fxRequiredPath))                                                                        \
            QSKIP(qPrintable(QStringLiteral("shared test data missing: ") + fxRequiredPath));                          \
    } while (false)

#endif
