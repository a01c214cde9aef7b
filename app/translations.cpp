// SPDX-License-Identifier: BSD-2-Clause

#include "app/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace zarn {

QStringList translation_folders() {
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/../translations"),
            QStringLiteral(ZARN_TRANSLATIONS_DIR)};
}

bool install_translations(const QLocale &locale, const QStringList &folders) {
    QCoreApplication *app = QCoreApplication::instance();
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QString toolkit_folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    const QString toolkit_folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
    auto *toolkit = new QTranslator(app);
    if (toolkit->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), toolkit_folder))
        QCoreApplication::installTranslator(toolkit);
    else
        delete toolkit;

    auto *own = new QTranslator(app);
    for (const QString &folder : folders) {
        // The toolkit tries each of the locale's languages, and each without
        // its country, before the next folder.
        if (own->load(locale, QStringLiteral("zarnmix_ctl"), QStringLiteral("_"),
                      QDir::cleanPath(folder))) {
            QCoreApplication::installTranslator(own);
            return true;
        }
    }
    delete own;
    return false;
}

} // namespace zarn
