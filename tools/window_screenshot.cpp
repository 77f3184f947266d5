// Takes the README's picture of the window: starts it as q8loader does
// (COM1 from Q8LOADER_COM1, usually q8sim), queues the files given after the
// output path in the download list, and saves the window as a PNG.
// Usage: window-screenshot OUT.png [FILE...]   (run under Xvfb)

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <cstdio>

#include "link/SerialLink.h"
#include "ui/DialogUnits.h"
#include "ui/DownloadList.h"
#include "ui/MainDialog.h"
#include "ui/UserDialogs.h"

namespace {

// Answers the open dialog with the files from the command line.
class GivenFiles : public q8ui::NativeDialogs {
  public:
    explicit GivenFiles(QStringList files) : files_(std::move(files)) {}
    bool ChooseDownloadFiles(QWidget*, QStringList& paths) override {
        paths = files_;
        return true;
    }

  private:
    QStringList files_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("q8loader"));
    app.setFont(q8ui::DialogFont());
    QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: window-screenshot OUT.png [FILE...]\n");
        return 2;
    }
    const QString out = args[1];
    GivenFiles dialogs(args.mid(2));
    q8::SerialLink link;
    q8ui::MainDialog window(link, dialogs);
    window.Initialise();
    window.Control<QPushButton>(q8ui::ID_OPEN)->click();
    auto* list = window.Control<q8ui::DownloadList>(q8ui::ID_DOWNLOAD_LIST);
    if (list->RowCount() > 0) {
        list->SelectRow(0, true);
    }
    window.show();
    int status = 1;
    QTimer::singleShot(1000, &window, [&] {
        status = window.grab().save(out) ? 0 : 1;
        window.close();
    });
    app.exec();
    return status;
}
