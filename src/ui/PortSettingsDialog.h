#pragma once
// "端口设置": which device the "COM1" and the "COM2" button open. Each port
// offers the ports the system lists (by their stable name where they have
// one) and its default, and takes a typed path or COM name too. A port that
// Q8LOADER_COM1 / Q8LOADER_COM2 names is shown, not offered: the environment
// wins. Thread: the window thread.

#include <QDialog>

#include "ui/UserDialogs.h"

class QComboBox;
class QGridLayout;

namespace q8ui {

class PortSettingsDialog : public QDialog {
  public:
    PortSettingsDialog(QWidget* owner, const PortDevices& current);

    // What the user chose; empty for a port left at its default.
    PortDevices Chosen() const;

    // The boxes, for tests: index 0 for COM1, 1 for COM2.
    QComboBox* PortBox(int portIndex) const;

  private:
    QComboBox* AddPortRow(QGridLayout* grid, int row, const char* portName, const QString& current);
    static QString ChoiceOf(const QComboBox* box);

    QComboBox* com1_ = nullptr;
    QComboBox* com2_ = nullptr;
};

}  // namespace q8ui
