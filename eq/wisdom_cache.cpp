// SPDX-License-Identifier: BSD-2-Clause

#include "eq/wisdom_cache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "eq/filter_design.h"

namespace zarn {

QString wisdom_cache_path() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty())
        return QString();
    return QDir(folder).filePath(QStringLiteral("fftw-wisdom"));
}

void keep_wisdom_in_cache() {
    const QString path = wisdom_cache_path();
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).path()))
        return;
    keep_wisdom_in(QFile::encodeName(path).toStdString());
}

} // namespace zarn
