// SPDX-License-Identifier: BSD-2-Clause

#include "app/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace zarn {

namespace {

// Every catalogue starts with these bytes; a file that does not is not
// handed to the toolkit's reader.
constexpr unsigned char QM_MAGIC[16] = {0x3c, 0xb8, 0x64, 0x18, 0xca, 0xef, 0x9c, 0x95,
                                        0xcd, 0x21, 0x1c, 0xbf, 0x60, 0xa1, 0xbd, 0xdd};

// The catalogue in folder for one of the locale's languages, read whole, or
// empty. The toolkit's own order: each language, then it without its
// country.
QByteArray read_catalogue(const QLocale &locale, const QString &folder) {
    for (QString language : locale.uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        for (;;) {
            QFile file(folder + QStringLiteral("/zarnmix_ctl_") + language + QStringLiteral(".qm"));
            const QFileInfo info(file);
            if (info.isFile() && !info.isSymLink() && file.open(QIODevice::ReadOnly)) {
                // One more byte than allowed tells a file too large.
                const QByteArray data = file.read(MAX_CATALOGUE_SIZE + 1);
                if (data.size() > int(sizeof QM_MAGIC) && data.size() <= MAX_CATALOGUE_SIZE &&
                    data.startsWith(QByteArray::fromRawData(
                        reinterpret_cast<const char *>(QM_MAGIC), sizeof QM_MAGIC)))
                    return data;
                qWarning("zarnmix_ctl: %s is not a catalogue; ignored",
                         qPrintable(file.fileName()));
                return {};
            }
            const int cut = language.lastIndexOf(QLatin1Char('_'));
            if (cut < 0)
                break;
            language.truncate(cut);
        }
    }
    return {};
}

} // namespace

QStringList translation_folders() {
    QStringList folders;
    // Only from the build tree this program was built in, never from beside
    // the program wherever it was copied.
    const QString build = QDir::cleanPath(QStringLiteral(ZARN_BUILD_DIR));
    if (QDir::cleanPath(QCoreApplication::applicationDirPath())
            .startsWith(build + QLatin1Char('/')))
        folders << build + QStringLiteral("/translations");
    folders << QStringLiteral(ZARN_TRANSLATIONS_DIR);
    return folders;
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

    for (const QString &folder : folders) {
        const QByteArray data = read_catalogue(locale, QDir::cleanPath(folder));
        if (data.isEmpty())
            continue;
        auto *own = new QTranslator(app);
        // The translator reads from these bytes for as long as it lives; the
        // property keeps them alive with it.
        own->setProperty("zarn_catalogue", data);
        if (own->load(reinterpret_cast<const uchar *>(data.constData()), data.size())) {
            QCoreApplication::installTranslator(own);
            return true;
        }
        delete own;
    }
    return false;
}

} // namespace zarn
