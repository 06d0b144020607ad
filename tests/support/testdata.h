#ifndef TESTDATA_H
#define TESTDATA_H

#include <QString>

// Read-only photos and ICC profiles shared with the project, outside the repository.
inline QString sharedDataPath(const QString &relative)
{
    return QStringLiteral(FX_SHARED_DATA_DIR "/") + relative;
}

#endif
