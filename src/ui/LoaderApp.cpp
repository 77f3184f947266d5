// q8loader: the window. The application shows the main window modally and
// ends when it closes; nothing is sent to the device then.

#include <QApplication>

#include "link/SerialLink.h"
#include "ui/DialogUnits.h"
#include "ui/LoaderCommandLine.h"
#include "ui/MainDialog.h"
#include "ui/ProgramIcon.h"
#include "ui/QtChinese.h"
#include "ui/UserDialogs.h"

namespace {

// The one serial link, made before the application starts; its destructor
// closes the port at program exit.
q8::SerialLink g_link;

class LoaderApp : public QApplication {
  public:
    LoaderApp(int& argc, char** argv) : QApplication(argc, argv) {
        setApplicationName(QStringLiteral("q8loader"));
        setFont(q8ui::DialogFont());
        // Also the icon of message boxes shown before the main window.
        setWindowIcon(q8ui::ProgramIcon());
        q8ui::UseQtChinese();
    }

    int Run() {
        q8ui::NativeDialogs dialogs;
        q8ui::MainDialog window(g_link, dialogs);
        window.Initialise();  // its message boxes come before the window
        window.exec();
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (q8ui::AnswerInfoRequest(argc, argv, exitCode)) {  // before Qt: no display needed
        return exitCode;
    }
    LoaderApp app(argc, argv);  // takes Qt's own options out of argv
    if (!q8ui::OnlyQtArguments(argc, argv)) {
        return q8ui::EXIT_LOADER_USAGE;
    }
    return app.Run();
}
