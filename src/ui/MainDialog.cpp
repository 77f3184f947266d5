#include "ui/MainDialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "ui/AboutDialog.h"
#include "ui/DialogUnits.h"
#include "ui/DownloadList.h"
#include "ui/PlainButton.h"
#include "ui/ProgramIcon.h"
#include "ui/ReportList.h"
#include "ui/SystemMenu.h"
#include "ui/TextField.h"
#include "ui/UiTexts.h"
#include "ui/WindowThread.h"
#include "ui/WorkerWait.h"

namespace q8ui {

namespace {

constexpr int MAIN_WIDTH_DU = 470;
constexpr int MAIN_HEIGHT_DU = 285;
constexpr int BUTTON_HEIGHT_DU = 14;
constexpr Qt::WindowFlags MAIN_FLAGS = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                       Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

const QColor ERROR_COLOUR(255, 0, 0);
constexpr const char* TRACE_VARIABLE = "Q8LOADER_TRACE";
// The link's own names of the two ports.
const char* const COM1_NAME = q8::PortName(0);
const char* const COM2_NAME = q8::PortName(1);

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), text.size());
}

}  // namespace

// The session keeps a reference to this window as its view and to the
// transfer UI; neither is used before the window is built.
MainDialog::MainDialog(q8::SerialLink& link, UserDialogs& dialogs)
    : QDialog(nullptr, MAIN_FLAGS),
      dialogs_(dialogs),
      transferUi_(this, dialogs),
      session_(link, *this, transferUi_) {
    Build();
}

MainDialog::MainDialog(q8::SerialLink& link, UserDialogs& dialogs, q8::Port& port, q8::Clock& clock)
    : QDialog(nullptr, MAIN_FLAGS),
      dialogs_(dialogs),
      transferUi_(this, dialogs, clock),
      session_(port, clock, *this, transferUi_, &link) {
    Build();
}

void MainDialog::Build() {
    setWindowTitle(QString::fromUtf8(TXT_MAIN_CAPTION));
    // A wire trace for a bug report, as the CLI's --trace writes it.
    const QString tracePath = qEnvironmentVariable(TRACE_VARIABLE);
    if (!tracePath.isEmpty() && trace_.Open(tracePath.toStdString())) {
        session_.SetTrace(&trace_);
    }
    setFont(DialogFont());
    base_ = BaseUnitsOf(font());
    BuildControls();
}

MainDialog::~MainDialog() = default;

void MainDialog::AddGroup(const char* title, int x, int y, int w, int h) {
    auto* group = new QGroupBox(QString::fromUtf8(title), this);
    PlaceInUnits(group, base_, x, y, w, h);
    group->setFocusPolicy(Qt::NoFocus);
}

QPushButton* MainDialog::AddButton(int id, const char* text, int x, int y, int w) {
    auto* button = new PlainButton(QString::fromUtf8(text), this);
    button->setObjectName(QString::number(id));
    PlaceInUnits(button, base_, x, y, w, BUTTON_HEIGHT_DU);
    return button;
}

TextField* MainDialog::AddField(int id, int x, int y, int w, int h) {
    auto* field = new TextField(this);
    field->setObjectName(QString::number(id));
    PlaceInUnits(field, base_, x, y, w, h);
    return field;
}

// The controls in their tab order, at their places in dialog units.
void MainDialog::BuildControls() {
    setFixedSize(DialogRect(base_, 0, 0, MAIN_WIDTH_DU, MAIN_HEIGHT_DU).size());

    AddGroup("下载文件", 7, 25, 456, 107);
    AddGroup("卡盒", 7, 142, 456, 114);
    QPushButton* open = AddButton(ID_OPEN, "打开", 407, 35);
    QPushButton* remove = AddButton(ID_REMOVE, "删除", 407, 61);
    QPushButton* up = AddButton(ID_MOVE_UP, "上移", 407, 85);
    QPushButton* down = AddButton(ID_MOVE_DOWN, "下移", 407, 109);
    QPushButton* upload = AddButton(ID_UPLOAD, "上传", 407, 156);
    QPushButton* deleteLast = AddButton(ID_DELETE, "删除", 407, 180);
    QPushButton* format = AddButton(ID_FORMAT, "格式化", 381, 257);
    // The format button exists but is never shown or enabled.
    format->hide();
    format->setEnabled(false);
    QPushButton* download = AddButton(ID_DOWNLOAD, "下载", 407, 206);
    TextField* listLabel = AddField(ID_LIST_TOTAL_LABEL, 9, 94, 77, 14);
    totalSpace_ = AddField(ID_TOTAL_SPACE, 9, 215, 89, 14);
    freeSpace_ = AddField(ID_FREE_SPACE, 9, 238, 90, 14);
    // Made before the lists because the download list writes it; a field is
    // no tab stop, so this leaves the tab order alone.
    TextField* listValue = AddField(ID_LIST_TOTAL_VALUE, 9, 114, 89, 14);
    downloadList_ = new DownloadList(this, listLabel, listValue);
    downloadList_->setObjectName(QString::number(ID_DOWNLOAD_LIST));
    PlaceInUnits(downloadList_, base_, 102, 31, 298, 98);
    cartridgeList_ = new ReportList(ReportList::Selection::Single, this);
    cartridgeList_->setObjectName(QString::number(ID_CARTRIDGE_LIST));
    PlaceInUnits(cartridgeList_, base_, 102, 147, 297, 105);
    cartridgeList_->HideSelectionWithoutFocus();
    QPushButton* refresh = AddButton(ID_REFRESH, "刷新", 407, 232);
    status_ = AddField(ID_STATUS, 7, 259, 359, 14);
    // The colour a fresh field draws its text in; the status line goes back
    // to it whenever the error flag is cleared.
    normalColour_ = status_->palette().color(QPalette::Text);
    AddGroup("下载端口：", 17, 38, 59, 46);
    com1_ = new QRadioButton(QStringLiteral("COM1"), this);
    com1_->setObjectName(QString::number(ID_COM1));
    PlaceInUnits(com1_, base_, 27, 53, 32, 10);
    com2_ = new QRadioButton(QStringLiteral("COM2"), this);
    com2_->setObjectName(QString::number(ID_COM2));
    PlaceInUnits(com2_, base_, 27, 69, 32, 10);
    for (QRadioButton* radio : {com1_, com2_}) {
        // The toolkit's indicator is wider than the platform's the layout was
        // made for; never cut the port's name short.
        radio->resize(std::max(radio->width(), radio->sizeHint().width()), radio->height());
        connect(radio, &QRadioButton::toggled, this, &MainDialog::UpdatePortTabStop);
    }
    UpdatePortTabStop();
    ports_ = new QButtonGroup(this);
    ports_->addButton(com1_, 0);
    ports_->addButton(com2_, 1);
    QPushButton* erase = AddButton(ID_ERASE_VOICE, "擦除编辑语音", 17, 159, 57);
    AddField(ID_HINT, 7, 7, 456, 14);
    // The lists come last in the tab order, after every button.
    setTabOrder(erase, downloadList_);
    setTabOrder(downloadList_, cartridgeList_);

    connect(open, &QPushButton::clicked, this, &MainDialog::OnOpen);
    connect(remove, &QPushButton::clicked, downloadList_, &DownloadList::RemoveDownloadFiles);
    connect(up, &QPushButton::clicked, downloadList_, &DownloadList::MoveDownloadFilesUp);
    connect(down, &QPushButton::clicked, downloadList_, &DownloadList::MoveDownloadFilesDown);
    connect(upload, &QPushButton::clicked, this, &MainDialog::OnUpload);
    connect(deleteLast, &QPushButton::clicked, this, &MainDialog::OnDeleteLast);
    connect(format, &QPushButton::clicked, this, &MainDialog::OnFormat);
    connect(download, &QPushButton::clicked, this, &MainDialog::OnDownload);
    connect(refresh, &QPushButton::clicked, this, &MainDialog::OnRefresh);
    connect(erase, &QPushButton::clicked, this, &MainDialog::OnEraseVoice);
    connect(com1_, &QRadioButton::clicked, this, [this] { OnPort(0); });
    connect(com2_, &QRadioButton::clicked, this, [this] { OnPort(1); });
    connect(cartridgeList_, &ReportList::ClickedAt, this, &MainDialog::OnCartridgeListClicked);
    connect(cartridgeList_, &ReportList::FocusLost, this, &MainDialog::OnCartridgeListFocusLost);
    connect(cartridgeList_, &ReportList::SelectedByKey, cartridgeList_, &ReportList::SetHotRow);
    connect(downloadList_, &ReportList::ClickedAt, this, &MainDialog::OnDownloadListClicked);

    UpdateTexts(session_.Model());
}

void MainDialog::Initialise() {
    AddMenuItems(this,
                 {{QString::fromUtf8(TXT_ABOUT_ITEM), ABOUT_COMMAND},
                  {QString::fromUtf8(TXT_PORT_SETTINGS_ITEM), PORT_SETTINGS_COMMAND}},
                 [this](int command) { OnSystemCommand(command); });
    setWindowIcon(ProgramIcon());
    Control<QLineEdit>(ID_HINT)->setText(QString::fromUtf8(TXT_HINT));
    downloadList_->AddColumns();
    cartridgeList_->AddColumn(QStringLiteral("文件名"), 96, Qt::AlignLeft);
    cartridgeList_->AddColumn(QStringLiteral("大小"), 96, Qt::AlignRight);
    cartridgeList_->AddColumn(QStringLiteral("修改时间"), 128, Qt::AlignLeft);

    // The devices chosen in an earlier run stand behind COM1 and COM2 from
    // the first open on.
    const PortDevices remembered = dialogs_.RememberedPortDevices();
    q8::ChoosePortDevice(COM1_NAME, remembered.com1.toStdString());
    q8::ChoosePortDevice(COM2_NAME, remembered.com2.toStdString());
    if (!session_.OpenStartupPort()) {
        return;  // no port: no button set, no refresh; the port buttons can try again
    }
    (session_.Model().portIndex == 0 ? com1_ : com2_)->setChecked(true);
    session_.Refresh();
}

// The list's calls go to the list's thread, the window thread.
void MainDialog::DeleteAllRows() {
    OnThreadOf(cartridgeList_, [this] { cartridgeList_->RemoveAllRows(); });
}

void MainDialog::AppendRow(const q8::CartridgeRow& row) {
    const QStringList texts{FromUtf8(row.name), FromUtf8(row.size), FromUtf8(row.modified)};
    OnThreadOf(cartridgeList_,
               [this, &texts] { cartridgeList_->InsertRow(cartridgeList_->RowCount(), texts); });
}

int MainDialog::RowCount() const {
    return OnThreadOf(cartridgeList_, [this] { return cartridgeList_->RowCount(); });
}

int MainDialog::SelectionMark() const {
    return OnThreadOf(cartridgeList_, [this] { return cartridgeList_->SelectionMark(); });
}

void MainDialog::UpdateTexts(const q8::CartridgeModel& model) {
    // Read on the caller's thread: the window thread never reads the model
    // while a worker has it.
    const QString status = FromUtf8(model.status.text);
    const QString totalText = FromUtf8(model.info.totalText);
    const QString freeText = FromUtf8(model.info.freeText);
    const QColor colour = model.status.error ? ERROR_COLOUR : normalColour_;
    OnThreadOf(status_, [&, this] {
        status_->setText(status);
        totalSpace_->setText(totalText);
        freeSpace_->setText(freeText);
        QPalette p = status_->palette();
        p.setColor(QPalette::Text, colour);
        status_->setPalette(p);
    });
}

QColor MainDialog::StatusColour() const {
    return status_->palette().color(QPalette::Text);
}

void MainDialog::OnOpen() {
    QStringList paths;
    if (dialogs_.ChooseDownloadFiles(this, paths)) {
        downloadList_->AddFiles(paths);
    }
}

void MainDialog::RunAlone(RunOn where, const std::function<void()>& work) {
    if (busy_) {
        // A port button checks itself before its handler runs: undo that.
        CheckPortButton(portAtStart_);
        return;
    }
    busy_ = true;
    portAtStart_ = ports_->checkedId();
    if (where == RunOn::Worker) {
        RunOffWindowThread(work);
    } else {
        work();
    }
    busy_ = false;
}

// Transfers bring their own worker and progress dialog.
void MainDialog::OnDownload() {
    RunAlone(RunOn::WindowThread, [this] { session_.Download(downloadList_->Rows()); });
}

void MainDialog::OnUpload() {
    RunAlone(RunOn::WindowThread, [this] { session_.UploadMarked(); });
}

void MainDialog::OnDeleteLast() {
    RunAlone(RunOn::Worker, [this] { session_.DeleteMarked(); });
}

void MainDialog::OnFormat() {
    RunAlone(RunOn::Worker, [this] { session_.Format(); });
}

void MainDialog::OnEraseVoice() {
    RunAlone(RunOn::Worker, [this] { session_.EraseVoice(); });
}

void MainDialog::OnRefresh() {
    RunAlone(RunOn::Worker, [this] { session_.Refresh(); });
}

// The link's opens stay on the window thread; they send nothing.
void MainDialog::OnPort(int portIndex) {
    RunAlone(RunOn::WindowThread, [this, portIndex] { OpenPort(portIndex); });
}

void MainDialog::OpenPort(int portIndex) {
    session_.SelectPort(portIndex);
    UpdateTexts(session_.Model());
}

void MainDialog::CheckPortButton(int id) {
    if (ports_->checkedId() == id) {
        return;
    }
    if (id >= 0) {
        ports_->button(id)->setChecked(true);
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    ports_->setExclusive(false);
    ports_->checkedButton()->setChecked(false);
    ports_->setExclusive(true);
}

// The port buttons are one tab stop, the checked one (COM1 while neither is);
// the arrow keys move between them.
void MainDialog::UpdatePortTabStop() {
    const bool com2 = com2_->isChecked();
    com1_->setFocusPolicy(com2 ? Qt::ClickFocus : Qt::StrongFocus);
    com2_->setFocusPolicy(com2 ? Qt::StrongFocus : Qt::ClickFocus);
}

void MainDialog::OnCartridgeListClicked(int row) {
    if (row >= 0) {
        cartridgeList_->SetHotRow(row);
    }
    RunAlone(RunOn::WindowThread, [this] { ShowHint(TXT_CARTRIDGE_LIST_HINT); });
}

void MainDialog::OnCartridgeListFocusLost() {
    if (cartridgeList_->SelectionMark() >= 0) {
        cartridgeList_->SetHotRow(cartridgeList_->SelectionMark());
    }
}

void MainDialog::OnDownloadListClicked() {
    RunAlone(RunOn::WindowThread, [this] { ShowHint(TXT_DOWNLOAD_LIST_HINT); });
}

void MainDialog::ShowHint(const char* text) {
    q8::CartridgeModel& model = session_.Model();
    model.status.text = text;
    UpdateTexts(model);
}

void MainDialog::OnSystemCommand(int command) {
    if (IsAboutCommand(command)) {
        AboutDialog about(this);
        about.exec();
    } else if (IsPortSettingsCommand(command)) {
        OnPortSettings();
    }
}

void MainDialog::OnPortSettings() {
    RunAlone(RunOn::WindowThread, [this] { ChangePortDevices(); });
}

void MainDialog::ChangePortDevices() {
    PortDevices devices{QString::fromStdString(q8::ChosenPortDevice(COM1_NAME)),
                        QString::fromStdString(q8::ChosenPortDevice(COM2_NAME))};
    if (!dialogs_.ChoosePortDevices(this, devices)) {
        return;
    }
    const bool com1Changed = devices.com1.toStdString() != q8::ChosenPortDevice(COM1_NAME);
    const bool com2Changed = devices.com2.toStdString() != q8::ChosenPortDevice(COM2_NAME);
    q8::ChoosePortDevice(COM1_NAME, devices.com1.toStdString());
    q8::ChoosePortDevice(COM2_NAME, devices.com2.toStdString());
    // The port whose device the user changed; with both or neither, the
    // port in use.
    const int port =
        com1Changed != com2Changed ? (com1Changed ? 0 : 1) : session_.Model().portIndex;
    (port == 0 ? com1_ : com2_)->setChecked(true);
    UpdatePortTabStop();
    OpenPort(port);
}

bool MainDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const int command = SystemCommandOf(eventType, message);
    if (command >= 0 && (IsAboutCommand(command) || IsPortSettingsCommand(command))) {
        OnSystemCommand(command);
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

}  // namespace q8ui
