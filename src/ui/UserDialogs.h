#pragma once
// The dialogs that ask the user something: message boxes and the file
// dialogs. The window goes through this seam so that tests can answer them
// and see their texts.
// Thread: the window thread only; the transfer UI carries a worker's message
// over to it first.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

class QSettings;

namespace q8ui {

// The devices behind the "COM1" and "COM2" buttons; empty: the default.
struct PortDevices {
    QString com1;
    QString com2;
};

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // One fixed text and an OK button; returns once it has been dismissed.
    // Centred over `owner`'s window, or before that window is on screen over
    // the screen it will open on.
    virtual void Message(QWidget* owner, const QString& text) = 0;

    // The open dialog of the download list: several existing files. False
    // when the user did not confirm; `paths` are full paths.
    virtual bool ChooseDownloadFiles(QWidget* owner, QStringList& paths) = 0;

    // The save dialog of an upload. False when the user gave up.
    virtual bool ChooseSaveFile(QWidget* owner, QString& path) = 0;

    // Asked before an upload replaces an existing file; true to replace it.
    virtual bool ConfirmReplace(QWidget* owner, const QString& path) = 0;

    // The same as Message, with what the system says behind the text (why a
    // port would not open) as the box's details.
    virtual void MessageWithDetail(QWidget* owner, const QString& text, const QString& detail) {
        (void)detail;
        Message(owner, text);
    }

    // The port settings: the user picks the devices behind the port buttons,
    // starting from `devices`; they are remembered for the next run. False
    // when the user cancelled.
    virtual bool ChoosePortDevices(QWidget* owner, PortDevices& devices) {
        (void)owner;
        (void)devices;
        return false;
    }
    // What the port settings remembered from an earlier run.
    virtual PortDevices RememberedPortDevices() { return {}; }
};

// The platform's message boxes and file dialogs. The open and the save
// dialog each start in the folder last used with it, remembered across runs
// in the user's settings, else in the user's documents folder.
class NativeDialogs : public UserDialogs {
  public:
    NativeDialogs();
    // Keeps the folders in the settings file `settingsFile` instead.
    explicit NativeDialogs(const QString& settingsFile);
    ~NativeDialogs() override;

    void Message(QWidget* owner, const QString& text) override;
    bool ChooseDownloadFiles(QWidget* owner, QStringList& paths) override;
    bool ChooseSaveFile(QWidget* owner, QString& path) override;
    bool ConfirmReplace(QWidget* owner, const QString& path) override;
    void MessageWithDetail(QWidget* owner, const QString& text, const QString& detail) override;
    bool ChoosePortDevices(QWidget* owner, PortDevices& devices) override;
    PortDevices RememberedPortDevices() override;

  private:
    QString StartFolder(const QString& key) const;
    void RememberFolderOf(const QString& key, const QString& file);

    std::unique_ptr<QSettings> settings_;
};

}  // namespace q8ui
