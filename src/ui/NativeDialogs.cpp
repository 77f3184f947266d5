#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/UserDialogs.h"

namespace q8ui {

namespace {

const QString FILE_FILTERS = QStringLiteral("Bin Files (*.bin);;All Files (*.*)");

QString MessageCaption() { return QApplication::applicationName(); }

}  // namespace

void NativeDialogs::Message(QWidget* owner, const QString& text) {
    QMessageBox::warning(owner, MessageCaption(), text, QMessageBox::Ok);
}

bool NativeDialogs::ChooseDownloadFiles(QWidget* owner, QStringList& paths) {
    QFileDialog dialog(owner, QStringLiteral("打开下载文件"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(FILE_FILTERS.split(QStringLiteral(";;")));
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    paths = dialog.selectedFiles();
    return true;
}

bool NativeDialogs::ChooseSaveFile(QWidget* owner, QString& path) {
    QFileDialog dialog(owner, QStringLiteral("上传文件另存为"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(FILE_FILTERS.split(QStringLiteral(";;")));
    // A name typed without an extension gets ".bin", the cartridge's own kind.
    dialog.setDefaultSuffix(QStringLiteral("bin"));
    // The window asks before it replaces a file (ConfirmReplace), once.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    path = dialog.selectedFiles().first();
    return true;
}

bool NativeDialogs::ConfirmReplace(QWidget* owner, const QString& path) {
    const QString text = path + QStringLiteral("已存在。\n要替换它吗？");
    return QMessageBox::question(owner, MessageCaption(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace q8ui
