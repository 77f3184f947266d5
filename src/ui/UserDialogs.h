#pragma once
// The dialogs that ask the user something: message boxes and the file
// dialogs. The window goes through this seam so that tests can answer them
// and see their texts.
// Thread: the window thread only; the transfer UI carries a worker's message
// over to it first.

#include <QString>
#include <QStringList>
#include <QWidget>

namespace q8ui {

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // One fixed text and an OK button; returns once it has been dismissed.
    virtual void Message(QWidget* owner, const QString& text) = 0;

    // The open dialog of the download list: several existing files. False
    // when the user did not confirm; `paths` are full paths.
    virtual bool ChooseDownloadFiles(QWidget* owner, QStringList& paths) = 0;

    // The save dialog of an upload. False when the user gave up.
    virtual bool ChooseSaveFile(QWidget* owner, QString& path) = 0;

    // Asked before an upload replaces an existing file; true to replace it.
    virtual bool ConfirmReplace(QWidget* owner, const QString& path) = 0;
};

// The platform's message boxes and file dialogs.
class NativeDialogs : public UserDialogs {
  public:
    void Message(QWidget* owner, const QString& text) override;
    bool ChooseDownloadFiles(QWidget* owner, QStringList& paths) override;
    bool ChooseSaveFile(QWidget* owner, QString& path) override;
    bool ConfirmReplace(QWidget* owner, const QString& path) override;
};

}  // namespace q8ui
