#include "ui/PortSettingsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/PortList.h"
#include "link/SerialLink.h"

namespace q8ui {

namespace {

constexpr int BOX_MIN_WIDTH_PX = 360;

// The default of a port: its device when nothing is chosen.
QString DefaultText(const char* portName) {
    const QString device = QString::fromStdString(q8::DefaultPortDevice(portName));
    return QStringLiteral("默认（") + device + QStringLiteral("）");
}

}  // namespace

PortSettingsDialog::PortSettingsDialog(QWidget* owner, const PortDevices& current)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("端口设置"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    com1_ = AddPortRow(grid, 0, q8::PortName(0), current.com1);
    com2_ = AddPortRow(grid, 2, q8::PortName(1), current.com2);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QComboBox* PortSettingsDialog::AddPortRow(QGridLayout* grid, int row, const char* portName,
                                          const QString& current) {
    auto* box = new QComboBox(this);
    box->setEditable(true);
    box->setMinimumWidth(BOX_MIN_WIDTH_PX);
    box->addItem(DefaultText(portName), QString());
    for (const q8::PortInfo& port : q8::ListPorts(false)) {
        const std::string& device = port.stableName.empty() ? port.path : port.stableName;
        box->addItem(QString::fromStdString(q8::DescribePort(port)),
                     QString::fromStdString(device));
    }
    const int known = current.isEmpty() ? 0 : box->findData(current);
    if (known >= 0) {
        box->setCurrentIndex(known);
    } else {
        box->setCurrentIndex(-1);
        box->setEditText(current);
    }
    auto* label = new QLabel(QString::fromLatin1(portName) + QStringLiteral("："), this);
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);

    const std::string environment = q8::EnvironmentPortDevice(portName);
    if (!environment.empty()) {
        box->setEnabled(false);
        auto* note =
            new QLabel(QStringLiteral("Q8LOADER_") + QString::fromLatin1(portName) +
                           QStringLiteral(" 指定了 ") + QString::fromStdString(environment) +
                           QStringLiteral("，它优先于这里的选择。"),
                       this);
        note->setWordWrap(true);
        grid->addWidget(note, row + 1, 1);
    }
    return box;
}

// A listed entry gives its device; a typed text is the device itself.
QString PortSettingsDialog::ChoiceOf(const QComboBox* box) {
    const int index = box->findText(box->currentText());
    if (index >= 0) {
        return box->itemData(index).toString();
    }
    return box->currentText().trimmed();
}

PortDevices PortSettingsDialog::Chosen() const {
    return {ChoiceOf(com1_), ChoiceOf(com2_)};
}

QComboBox* PortSettingsDialog::PortBox(int portIndex) const {
    return portIndex == 0 ? com1_ : com2_;
}

}  // namespace q8ui
