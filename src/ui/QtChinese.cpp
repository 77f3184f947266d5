#include "ui/QtChinese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace q8ui {

namespace {
constexpr const char* QT_TRANSLATION = "qtbase_zh_CN";
}  // namespace

bool UseQtChinese() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLatin1String(QT_TRANSLATION),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace q8ui
