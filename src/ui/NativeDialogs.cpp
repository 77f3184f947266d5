#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <algorithm>

#include "ui/PortSettingsDialog.h"
#include "ui/UserDialogs.h"

namespace q8ui {

namespace {

const QString FILE_FILTERS = QStringLiteral("Bin Files (*.bin);;All Files (*.*)");
// The user's settings of the tool: the folders the file dialogs last used.
constexpr const char* SETTINGS_ORGANISATION = "q8loader";
constexpr const char* SETTINGS_APPLICATION = "q8loader";
const QString OPEN_FOLDER_KEY = QStringLiteral("folders/open");
const QString SAVE_FOLDER_KEY = QStringLiteral("folders/save");
const QString COM1_DEVICE_KEY = QStringLiteral("ports/COM1");
const QString COM2_DEVICE_KEY = QStringLiteral("ports/COM2");

QString MessageCaption() {
    return QApplication::applicationName();
}

// The screen a window that is not yet shown will open on: as the toolkit
// places a window without an owner, the one under the mouse when the desktop
// has several screens, else the window's own.
QScreen* ScreenToOpenOn(const QWidget* window) {
    if (QGuiApplication::primaryScreen()->virtualSiblings().size() > 1) {
        if (QScreen* under = QGuiApplication::screenAt(QCursor::pos())) {
            return under;
        }
    }
    return window->screen();
}

// A message box that opens centred over its owner's window once that is on
// screen, else over the screen that window will open on. The toolkit would
// centre it over a window not yet shown, which sits at the top left.
class CentredMessageBox : public QMessageBox {
  public:
    CentredMessageBox(Icon icon, const QString& text, StandardButtons buttons, QWidget* owner)
        : QMessageBox(icon, MessageCaption(), text, buttons, owner) {}

  protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);  // gives the box its final size
        move(FramePosition());          // before the window is mapped
    }

  private:
    // Where the top left of the box's frame goes.
    QPoint FramePosition() const {
        const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
        QRect area;
        QMargins frame;
        if (owner != nullptr && owner->isVisible()) {
            area = owner->frameGeometry();
            // The box's own frame is not known before it is mapped; it gets
            // the one its owner has.
            const QRect inner = owner->geometry();
            frame = QMargins(inner.left() - area.left(), inner.top() - area.top(),
                             area.right() - inner.right(), area.bottom() - inner.bottom());
        } else {
            area = ScreenToOpenOn(owner != nullptr ? owner : this)->availableGeometry();
        }
        const QSize outer = size().grownBy(frame);
        const QPoint centred = area.center() - QPoint(outer.width() / 2, outer.height() / 2);
        // Never partly off the screen.
        const QScreen* screen = QGuiApplication::screenAt(area.center());
        const QRect bounds = (screen != nullptr ? screen : this->screen())->availableGeometry();
        const int right = std::max(bounds.left(), bounds.right() + 1 - outer.width());
        const int bottom = std::max(bounds.top(), bounds.bottom() + 1 - outer.height());
        return QPoint(std::clamp(centred.x(), bounds.left(), right),
                      std::clamp(centred.y(), bounds.top(), bottom));
    }
};

}  // namespace

NativeDialogs::NativeDialogs()
    : settings_(std::make_unique<QSettings>(QLatin1String(SETTINGS_ORGANISATION),
                                            QLatin1String(SETTINGS_APPLICATION))) {}

NativeDialogs::NativeDialogs(const QString& settingsFile)
    : settings_(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat)) {}

NativeDialogs::~NativeDialogs() = default;

QString NativeDialogs::StartFolder(const QString& key) const {
    const QString remembered = settings_->value(key).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) {
        return remembered;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void NativeDialogs::RememberFolderOf(const QString& key, const QString& file) {
    settings_->setValue(key, QFileInfo(file).absolutePath());
    settings_->sync();
}

void NativeDialogs::Message(QWidget* owner, const QString& text) {
    MessageWithDetail(owner, text, QString());
}

bool NativeDialogs::ChooseDownloadFiles(QWidget* owner, QStringList& paths) {
    QFileDialog dialog(owner, QStringLiteral("打开下载文件"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(FILE_FILTERS.split(QStringLiteral(";;")));
    dialog.setDirectory(StartFolder(OPEN_FOLDER_KEY));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    paths = dialog.selectedFiles();
    RememberFolderOf(OPEN_FOLDER_KEY, paths.first());
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
    dialog.setDirectory(StartFolder(SAVE_FOLDER_KEY));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    path = dialog.selectedFiles().first();
    RememberFolderOf(SAVE_FOLDER_KEY, path);
    return true;
}

void NativeDialogs::MessageWithDetail(QWidget* owner, const QString& text, const QString& detail) {
    CentredMessageBox box(QMessageBox::Warning, text, QMessageBox::Ok, owner);
    if (!detail.isEmpty()) {
        box.setDetailedText(detail);
    }
    box.exec();
}

bool NativeDialogs::ChoosePortDevices(QWidget* owner, PortDevices& devices) {
    PortSettingsDialog dialog(owner, devices);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    devices = dialog.Chosen();
    settings_->setValue(COM1_DEVICE_KEY, devices.com1);
    settings_->setValue(COM2_DEVICE_KEY, devices.com2);
    settings_->sync();
    return true;
}

PortDevices NativeDialogs::RememberedPortDevices() {
    return {settings_->value(COM1_DEVICE_KEY).toString(),
            settings_->value(COM2_DEVICE_KEY).toString()};
}

bool NativeDialogs::ConfirmReplace(QWidget* owner, const QString& path) {
    const QString text = path + QStringLiteral("已存在。\n要替换它吗？");
    CentredMessageBox box(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace q8ui
