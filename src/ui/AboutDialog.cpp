#include "ui/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/DialogUnits.h"
#include "ui/ProgramIcon.h"

namespace q8ui {

namespace {
constexpr int ABOUT_WIDTH_DU = 235;
constexpr int ABOUT_HEIGHT_DU = 55;
}  // namespace

AboutDialog::AboutDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
    setFont(DialogFont());
    setWindowTitle(QStringLiteral("关于 Linkwise"));
    setModal(true);
    const DialogBase base = BaseUnitsOf(font());
    setFixedSize(DialogRect(base, 0, 0, ABOUT_WIDTH_DU, ABOUT_HEIGHT_DU).size());

    auto* icon = new QLabel(this);
    const QRect iconRect = DialogRect(base, 11, 17, 20, 20);
    icon->setGeometry(iconRect);
    icon->setPixmap(ProgramIcon().pixmap(iconRect.size()));

    auto* name = new QLabel(QStringLiteral("Linkwise 1.0 版"), this);
    PlaceInUnits(name, base, 41, 10, 119, 8);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    PlaceInUnits(ok, base, 178, 7, 50, 14);
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace q8ui
