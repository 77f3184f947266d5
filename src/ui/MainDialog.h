#pragma once
// The main window: the download list and its buttons, the cartridge list with
// the space texts, the port buttons, the command buttons and the status line.
// Every button runs its operation on the window's one Session to the end
// before anything else happens. Refresh, delete, format and erase run on a worker while the
// window keeps painting with the user's input held back; transfers run their
// worker behind a modal progress dialog; the port buttons open the link here.
//
// Thread: the window thread, except the CartridgeView calls, which a worker
// makes. While a worker runs, it alone uses the link, the wire and the model;
// the window thread touches none of them, and a click that still reaches a
// handler then does nothing.

#include <QColor>
#include <QDialog>
#include <QString>
#include <functional>

#include "link/SerialLink.h"
#include "protocol/WireTrace.h"
#include "session/Session.h"
#include "ui/DialogUnits.h"
#include "ui/UserDialogs.h"
#include "ui/WindowTransferUi.h"

class QButtonGroup;
class QPushButton;
class QRadioButton;

namespace q8ui {

class DownloadList;
class ReportList;
class TextField;

// Identifiers of the controls; also their object names ("1009"), so that
// tests can find them.
enum ControlId {
    ID_OPEN = 1001,
    ID_REMOVE = 1002,
    ID_MOVE_UP = 1003,
    ID_MOVE_DOWN = 1004,
    ID_UPLOAD = 1006,
    ID_DELETE = 1007,
    ID_FORMAT = 1008,
    ID_DOWNLOAD = 1009,
    ID_REFRESH = 1010,
    ID_ERASE_VOICE = 1011,
    ID_LIST_TOTAL_LABEL = 1012,
    ID_TOTAL_SPACE = 1013,
    ID_FREE_SPACE = 1014,
    ID_LIST_TOTAL_VALUE = 1015,
    ID_DOWNLOAD_LIST = 1016,
    ID_CARTRIDGE_LIST = 1017,
    ID_STATUS = 1018,
    ID_COM1 = 1020,
    ID_COM2 = 1021,
    ID_HINT = 1039,
};

class MainDialog : public QDialog, public q8::CartridgeView {
    Q_OBJECT

  public:
    // The window's exchanges go through the link on the system's clock.
    MainDialog(q8::SerialLink& link, UserDialogs& dialogs);
    // The same with the exchanges on another port and clock (a device in
    // memory on virtual time); the port buttons still open `link`, and the
    // progress dialogs read their time on `clock`.
    MainDialog(q8::SerialLink& link, UserDialogs& dialogs, q8::Port& port, q8::Clock& clock);
    ~MainDialog() override;

    // The start-up sequence, before the window is first shown: open COM1,
    // else COM2 (else say so and stop), mark the port's button, refresh.
    void Initialise();

    template <typename T>
    T* Control(int id) const {
        return findChild<T*>(QString::number(id));
    }

    // The cartridge list and the texts, as the core's operations see them.
    // Thread: any; from a worker they are carried over to the window thread,
    // the worker waiting until they have run there.
    void DeleteAllRows() override;
    void AppendRow(const q8::CartridgeRow& row) override;
    int RowCount() const override;
    int SelectionMark() const override;
    void UpdateTexts(const q8::CartridgeModel& model) override;

    // A system-menu command: 16 to 31 open the About box, 32 to 47 the port
    // settings.
    void OnSystemCommand(int command);

    // Not while an exchange runs.
    const q8::CartridgeModel& Model() const { return session_.Model(); }
    QColor StatusColour() const;
    WindowTransferUi& TransferUi() { return transferUi_; }

  protected:
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    void Build();
    void BuildControls();
    void AddGroup(const char* title, int x, int y, int w, int h);
    QPushButton* AddButton(int id, const char* text, int x, int y,
                           int w = 50);  // w in dialog units
    TextField* AddField(int id, int x, int y, int w, int h);
    void UpdatePortTabStop();
    // Checks the port button `id` (0, 1; -1: neither) unless it already is.
    void CheckPortButton(int id);

    enum class RunOn {
        WindowThread,  // brief, or with a worker and a modal dialog of its own
        Worker,        // on a worker of its own, the window waiting for it
    };
    // The one way into an exchange with the device or the model: does
    // nothing while another one is under way (a synthetic click or an
    // accessibility action that the held-back input does not stop), else runs
    // `work` to its end.
    void RunAlone(RunOn where, const std::function<void()>& work);

    void OnOpen();
    void OnDownload();
    void OnUpload();
    void OnDeleteLast();
    void OnFormat();
    void OnEraseVoice();
    void OnRefresh();
    void OnPort(int portIndex);
    void OpenPort(int portIndex);
    // "端口设置...": the devices behind the port buttons; "确定" reopens the
    // link on the port whose device changed, as a click on its button does.
    void OnPortSettings();
    void ChangePortDevices();
    void OnCartridgeListClicked(int row);
    void OnCartridgeListFocusLost();
    void OnDownloadListClicked();

    // Shows a hint of the window's own in the status line.
    void ShowHint(const char* text);

    UserDialogs& dialogs_;
    WindowTransferUi transferUi_;
    // Before the session, whose wire writes to it while Q8LOADER_TRACE names
    // a file.
    q8::WireTrace trace_;
    q8::Session session_;
    bool busy_ = false;     // an exchange is under way
    int portAtStart_ = -1;  // the port button checked as it began

    DialogBase base_;  // of the dialog font
    QColor normalColour_;
    DownloadList* downloadList_ = nullptr;
    ReportList* cartridgeList_ = nullptr;
    TextField* status_ = nullptr;
    TextField* totalSpace_ = nullptr;
    TextField* freeSpace_ = nullptr;
    QRadioButton* com1_ = nullptr;
    QRadioButton* com2_ = nullptr;
    QButtonGroup* ports_ = nullptr;
};

}  // namespace q8ui
