#include "localization.h"

#include "logging.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QTranslator *useChinese(QCoreApplication *app)
{
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);

    // Qt's own catalogue; a deployed program carries it in "translations" beside the executable.
    const QStringList folders{QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                              QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    auto *translator = new QTranslator(app);
    for (const QString &folder : folders) {
        if (translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return translator;
        }
    }
    qCWarning(lcShell) << "Qt's Chinese translations (qtbase_zh_CN.qm) not found in" << folders;
    delete translator;
    return nullptr;
}
