// Takes the README's pictures of the window: starts it as q8loader does
// (COM1 from Q8LOADER_COM1, usually q8sim), queues the files given after the
// options in the download list, and saves the window, with the caption bar a
// window manager draws around it, as a PNG; with --framed it waits up to 5 s
// more for that frame. With --progress it then presses "下载" and also saves
// the progress window once the file is a third sent, and cancels.
// Usage: window-screenshot OUT.png [--framed] [--progress PROGRESS.png] [FILE...]
// (run under an X server, with a window manager for the caption bar)

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <utility>

#include "link/SerialLink.h"
#include "session/Texts.h"
#include "ui/DialogUnits.h"
#include "ui/DownloadList.h"
#include "ui/MainDialog.h"
#include "ui/ProgramIcon.h"
#include "ui/ProgressDialog.h"
#include "ui/QtChinese.h"
#include "ui/UserDialogs.h"

namespace {

// Time for the window manager to frame and draw the window, and how much
// longer to wait for a frame that has not come (there may be no window
// manager at all).
constexpr int SETTLE_MS = 1000;
constexpr int FRAME_LIMIT_MS = 5000;
constexpr int FRAME_POLL_MS = 100;
// How often the progress window is looked at, and how long it may take.
constexpr int PROGRESS_POLL_MS = 100;
constexpr int PROGRESS_LIMIT_MS = 60000;
// The progress picture is taken once the bar shows this much.
constexpr int PROGRESS_PICTURE_PERCENT = 33;

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

// True once the window manager has put its frame around `window`.
bool IsFramed(const QWidget& window) {
    return !window.windowHandle()->frameMargins().isNull();
}

// The window as the screen shows it, frame and caption bar included. Asks
// the window itself: a frame that came late may not have reached the
// widget's own geometry yet.
bool SaveFramed(const QWidget& window, const QString& path) {
    const QRect frame = window.geometry().marginsAdded(window.windowHandle()->frameMargins());
    const QPixmap picture =
        window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    return picture.size() == frame.size() && picture.save(path);
}

struct Arguments {
    QString out;
    QString progressOut;  // empty: no progress picture
    bool framed = false;  // wait for the window manager's frame
    QStringList files;
};

bool Parse(const QStringList& args, Arguments& parsed) {
    if (args.size() < 2 || args[1].startsWith(QStringLiteral("--"))) {
        return false;
    }
    parsed.out = args[1];
    int next = 2;
    for (; next < args.size() && args[next].startsWith(QStringLiteral("--")); ++next) {
        if (args[next] == QStringLiteral("--framed")) {
            parsed.framed = true;
        } else if (args[next] == QStringLiteral("--progress") && next + 1 < args.size()) {
            parsed.progressOut = args[++next];
        } else {
            return false;
        }
    }
    parsed.files = args.mid(next);
    return true;
}

// Presses "下载" and saves the progress window once it is well under way
// (and framed, when the main window was), then cancels the download.
// `status` becomes 0 once the picture is saved.
void TakeProgressPicture(q8ui::MainDialog& window, const QString& out, int& status) {
    const bool framed = IsFramed(window);
    auto* poll = new QTimer(&window);
    auto* limit = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, out, &status, poll, framed] {
        q8ui::ProgressDialog* dialog = window.TransferUi().CurrentDialog();
        if (dialog == nullptr || !dialog->isVisible() || dialog->HasEnded() ||
            (framed && !IsFramed(*dialog)) ||
            dialog->windowTitle() != QString::fromUtf8(q8::TXT_DOWNLOADING) ||
            dialog->BarPosition() < PROGRESS_PICTURE_PERCENT) {
            return;
        }
        poll->stop();
        status = SaveFramed(*dialog, out) ? 0 : 1;
        dialog->reject();  // "Cancel"
    });
    limit->setSingleShot(true);
    QObject::connect(limit, &QTimer::timeout, &window, [&window, poll] {
        poll->stop();
        std::fprintf(stderr, "window-screenshot: no download progress to take\n");
        if (q8ui::ProgressDialog* dialog = window.TransferUi().CurrentDialog()) {
            dialog->reject();
        }
    });
    poll->start(PROGRESS_POLL_MS);
    limit->start(PROGRESS_LIMIT_MS);
    // Runs the whole batch, progress window and all; returns once it is over.
    window.Control<QPushButton>(q8ui::ID_DOWNLOAD)->click();
    limit->stop();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("q8loader"));
    app.setFont(q8ui::DialogFont());
    app.setWindowIcon(q8ui::ProgramIcon());
    q8ui::UseQtChinese();
    Arguments args;
    if (!Parse(app.arguments(), args)) {
        std::fprintf(stderr,
                     "usage: window-screenshot OUT.png [--framed] [--progress PROGRESS.png] "
                     "[FILE...]\n");
        return 2;
    }
    GivenFiles dialogs(args.files);
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
    QElapsedTimer shown;
    shown.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        if (shown.elapsed() < SETTLE_MS ||
            (args.framed && !IsFramed(window) && shown.elapsed() < SETTLE_MS + FRAME_LIMIT_MS)) {
            return;
        }
        poll.stop();
        status = SaveFramed(window, args.out) ? 0 : 1;
        if (status == 0 && !args.progressOut.isEmpty()) {
            status = 1;
            TakeProgressPicture(window, args.progressOut, status);
        }
        window.close();
    });
    poll.start(FRAME_POLL_MS);
    app.exec();
    return status;
}
