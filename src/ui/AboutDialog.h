#pragma once
// The About box: the program icon, its name and version, and "确定".
// Thread: the window thread.

#include <QDialog>

namespace q8ui {

class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* owner);
};

}  // namespace q8ui
