#include "ui/DialogUnits.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace q8ui {

namespace {

constexpr int DIALOG_FONT_POINTS = 9;

// The platform measures the average width over the 52 Latin letters.
constexpr const char* AVERAGE_WIDTH_SAMPLE = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>((product + denominator / 2) / denominator);
}

QString DialogFamily() {
    const QStringList families = QFontDatabase::families();
    for (const QString& preferred :
         {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
          QStringLiteral("WenQuanYi Zen Hei")}) {
        if (families.contains(preferred, Qt::CaseInsensitive)) {
            return preferred;
        }
    }
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QString() : chinese.first();
}

}  // namespace

QFont DialogFont() {
    QFont font;
    const QString family = DialogFamily();
    if (!family.isEmpty()) {
        font.setFamily(family);
    }
    font.setPointSize(DIALOG_FONT_POINTS);
    return font;
}

DialogBase BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int sampleWidth = metrics.horizontalAdvance(QLatin1String(AVERAGE_WIDTH_SAMPLE));
    DialogBase base;
    base.x = (sampleWidth / 26 + 1) / 2;
    base.y = metrics.height();
    return base;
}

QRect DialogRect(const DialogBase& base, int x, int y, int w, int h) {
    // Each edge is mapped on its own, as the platform maps a dialog rectangle.
    const int left = MulDiv(x, base.x, 4);
    const int top = MulDiv(y, base.y, 8);
    const int right = MulDiv(x + w, base.x, 4);
    const int bottom = MulDiv(y + h, base.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

void PlaceInUnits(QWidget* widget, const DialogBase& base, int x, int y, int w, int h) {
    widget->setGeometry(DialogRect(base, x, y, w, h));
}

}  // namespace q8ui
