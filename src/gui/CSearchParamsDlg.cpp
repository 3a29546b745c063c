#include "gui/CSearchParamsDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "base/InstallPaths.h"
#include "base/System.h"

#include <fstream>

namespace wren {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

const char* RowName(AlarmRow row) {
  switch (row) {
    case AlarmRow::Detection:
      return "Detection";
    case AlarmRow::OutOfRange:
      return "OutOfRange";
    case AlarmRow::Connection:
      return "Connection";
    case AlarmRow::Disconnection:
      break;
  }
  return "Disconnection";
}

constexpr AlarmRow kRows[] = {AlarmRow::Detection, AlarmRow::OutOfRange, AlarmRow::Connection,
                              AlarmRow::Disconnection};

// The resource ids of each row's controls: check, Select File, path, Play, Stop.
struct RowIds {
  int check, selectFile, path, play, stop;
  const char* text;
};
RowIds IdsOf(AlarmRow row) {
  switch (row) {
    case AlarmRow::Detection:
      return {1029, 1030, 1031, 1039, 1040, "Notify Remote Radio Detection"};
    case AlarmRow::OutOfRange:
      return {1035, 1036, 1037, 1041, 1042, "Notify Radio Out of Range"};
    case AlarmRow::Connection:
      return {1022, 1024, 1026, 1043, 1044, "Notify Device Connection"};
    case AlarmRow::Disconnection:
      break;
  }
  return {1023, 1025, 1027, 1045, 1046, "Notify Device Disconnection"};
}

template <class W>
W* Named(W* widget, const QString& name, int id) {
  widget->setObjectName(name);
  widget->setProperty("controlId", id);
  return widget;
}

// Stored check states are 0 cleared, 1 checked, 2 indeterminate; Qt
// numbers the last two the other way round.
int StateOf(const QCheckBox* box) {
  switch (box->checkState()) {
    case Qt::Checked:
      return 1;
    case Qt::PartiallyChecked:
      return 2;
    case Qt::Unchecked:
      break;
  }
  return 0;
}

void SetState(QCheckBox* box, int state) {
  box->setCheckState(state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

}  // namespace

SoundFileKind SniffSoundFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (path.empty() || !in) return SoundFileKind::Missing;
  unsigned char head[12] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const auto got = in.gcount();
  auto is = [&](int at, const char* tag, int n) {
    return got >= at + n && std::equal(head + at, head + at + n, tag);
  };
  if (is(0, "RIFF", 4) && is(8, "WAVE", 4)) return SoundFileKind::Wave;
  if (is(0, ".snd", 4)) return SoundFileKind::Au;
  if (is(0, "ID3", 3)) return SoundFileKind::Mp3;
  // An MPEG audio frame: eleven sync bits, then a layer other than "reserved".
  if (got >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && (head[1] & 0x06) != 0)
    return SoundFileKind::Mp3;
  return SoundFileKind::NotAudio;
}

std::string AlarmFileStart(const std::string& modelStart, bool rowHasSound,
                           std::string_view executablePath) {
  if (rowHasSound || !platform::IsInstalledExecutable(executablePath)) return modelStart;
  std::string folder = platform::ResourceFolderFor(executablePath);
  folder.append("/sounds");
  return folder;
}

std::optional<std::string> QtAlarmFileChooser::ChooseFile(QWidget* parent, const QString& title,
                                                          const QString& start,
                                                          const QString& filter) {
  QFileDialog dialog(parent, title, start, filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  QFileInfo info(start);
  if (info.isFile()) {
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return S(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath());
}

CSearchParamsDlg::CSearchParamsDlg(SearchParamsModel& model, platform::SoundOutput& sound,
                                   AlarmFileChooser& chooser, QWidget* parent)
    : QDialog(parent), m_model(model), m_soundPlayer(sound), m_chooser(chooser) {
  m_message = [](QWidget* owner, const QString& text) {
    QMessageBox::warning(owner, QStringLiteral("Wrenlocator"), text);
  };
  setObjectName(QStringLiteral("CSearchParamsDlg"));
  setWindowTitle(QString::fromLatin1(kTitle));
  Build();
  WriteControls(m_model.Fields());
}

CSearchParamsDlg::~CSearchParamsDlg() = default;

void CSearchParamsDlg::Build() {
  auto* top = new QVBoxLayout(this);

  auto check = [](QWidget* parent, const char* text, const char* name, int id) {
    return Named(new QCheckBox(tr(text), parent), QString::fromLatin1(name), id);
  };
  auto edit = [](QWidget* parent, const char* name, int id) {
    return Named(new QLineEdit(parent), QString::fromLatin1(name), id);
  };

  // Search Parameters.
  auto* search =
      Named(new QGroupBox(tr("Search Parameters"), this), QStringLiteral("groupSearch"), 0);
  auto* searchGrid = new QGridLayout(search);
  m_authentication = check(search, "Search Authenticated Devices", "checkAuthentication", 1000);
  m_remembered = check(search, "Search Remembered Devices", "checkRemembered", 1001);
  m_unknown = check(search, "Search Unknown Devices", "checkUnknown", 1002);
  m_connected = check(search, "Search Connected Devices", "checkConnected", 1003);
  m_newInquiry = check(search, "Search Remote Devices", "checkNewInquiry", 1038);
  m_newInquiryTimeout = edit(search, "editNewInquiryTimeout", 1047);
  searchGrid->addWidget(m_authentication, 0, 0);
  searchGrid->addWidget(m_remembered, 0, 1);
  searchGrid->addWidget(m_unknown, 1, 0);
  searchGrid->addWidget(m_connected, 1, 1);
  auto* inquiry = new QHBoxLayout;
  inquiry->addWidget(m_newInquiry);
  inquiry->addSpacing(16);
  auto* timeoutLabel = new QLabel(tr("Search Timeout:"), search);
  timeoutLabel->setBuddy(m_newInquiryTimeout);
  inquiry->addWidget(timeoutLabel);
  m_newInquiryTimeout->setMaximumWidth(64);
  inquiry->addWidget(m_newInquiryTimeout);
  inquiry->addWidget(new QLabel(tr("Seconds"), search));
  inquiry->addStretch(1);
  searchGrid->addLayout(inquiry, 2, 0, 1, 2);
  top->addWidget(search);

  // Refresh Speed.
  auto* refresh =
      Named(new QGroupBox(tr("Refresh Speed"), this), QStringLiteral("groupRefresh"), 0);
  auto* refreshRow = new QHBoxLayout(refresh);
  m_updateSpeed = edit(refresh, "editUpdateSpeed", 1008);
  m_updateSpeed->setMaximumWidth(64);
  auto* everyLabel = new QLabel(tr("Refresh Every:"), refresh);
  everyLabel->setBuddy(m_updateSpeed);
  auto* secondsLabel = new QLabel(
      QStringLiteral("Seconds       >=  Search Timeout if \"Search Remote Devices\" selected "),
      refresh);
  secondsLabel->setTextFormat(Qt::PlainText);
  secondsLabel->setObjectName(QStringLiteral("labelRefreshHint"));
  refreshRow->addWidget(everyLabel);
  refreshRow->addWidget(m_updateSpeed);
  refreshRow->addWidget(secondsLabel);
  refreshRow->addStretch(1);
  top->addWidget(refresh);

  // Device Detection and Connection State Change Notification.
  auto* notify =
      Named(new QGroupBox(tr("Device Detection and Connection State Change Notification"), this),
            QStringLiteral("groupNotify"), 0);
  auto* grid = new QGridLayout(notify);
  int line = 0;
  for (AlarmRow row : kRows) {
    const RowIds ids = IdsOf(row);
    const QString name = QString::fromLatin1(RowName(row));
    AlarmControls& c = Row(row);
    auto button = [&](const char* text, const QString& prefix, int id) {
      auto* b = Named(new QPushButton(tr(text), notify), prefix + name, id);
      b->setAutoDefault(false);
      b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
      return b;
    };
    c.check =
        Named(new QCheckBox(tr(ids.text), notify), QStringLiteral("checkSound") + name, ids.check);
    c.selectFile = button("Select File...", QStringLiteral("selectFile"), ids.selectFile);
    c.path = Named(new QLineEdit(notify), QStringLiteral("editPath") + name, ids.path);
    c.play = button("Play", QStringLiteral("play"), ids.play);
    c.stop = button("Stop", QStringLiteral("stop"), ids.stop);
    c.path->setMinimumWidth(220);
    grid->addWidget(c.check, line, 0);
    grid->addWidget(c.selectFile, line, 1);
    grid->addWidget(c.path, line, 2);
    grid->addWidget(c.play, line, 3);
    grid->addWidget(c.stop, line, 4);
    connect(c.selectFile, &QPushButton::clicked, this, [this, row] { OnSelectFile(row); });
    connect(c.play, &QPushButton::clicked, this, [this, row] { OnPlay(row); });
    connect(c.stop, &QPushButton::clicked, this, [this] { OnStop(); });
    ++line;
  }
  grid->setColumnStretch(2, 1);
  m_soundNote = new QLabel(notify);
  m_soundNote->setObjectName(QStringLiteral("soundNote"));
  m_soundNote->setTextFormat(Qt::PlainText);
  m_soundNote->setWordWrap(true);
  // Set apart from the labels: it reports on the file just chosen or played.
  QPalette notePalette = m_soundNote->palette();
  notePalette.setColor(QPalette::WindowText, QColor(160, 40, 0));
  m_soundNote->setPalette(notePalette);
  m_soundNote->hide();
  grid->addWidget(m_soundNote, line++, 0, 1, 5);
  auto* netSendLabel =
      new QLabel(QStringLiteral("Send a Windows network message ( net send )  To:"), notify);
  netSendLabel->setTextFormat(Qt::PlainText);
  m_netSend = edit(notify, "editNetSend", 1028);
  netSendLabel->setBuddy(m_netSend);
  grid->addWidget(netSendLabel, line, 0, 1, 2);
  grid->addWidget(m_netSend, line, 2, 1, 3);
  top->addWidget(notify);

  // Run (the default button) and Cancel.
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  m_run = Named(new QPushButton(tr("Run"), this), QStringLiteral("buttonRun"), 1005);
  m_run->setDefault(true);
  m_run->setAutoDefault(true);
  m_cancel = Named(new QPushButton(tr("Cancel"), this), QStringLiteral("buttonCancel"), 2);
  m_cancel->setAutoDefault(false);
  buttons->addWidget(m_run);
  buttons->addWidget(m_cancel);
  top->addLayout(buttons);
  connect(m_run, &QPushButton::clicked, this, &CSearchParamsDlg::OnRun);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

  // Tab order as the controls read: search, refresh, alarms, buttons.
  QWidget* order[] = {m_authentication, m_remembered,        m_unknown,    m_connected,
                      m_newInquiry,     m_newInquiryTimeout, m_updateSpeed};
  QWidget* previous = nullptr;
  auto chain = [&](QWidget* w) {
    if (previous) setTabOrder(previous, w);
    previous = w;
  };
  for (QWidget* w : order) chain(w);
  for (AlarmRow row : kRows) {
    const AlarmControls& c = Row(row);
    for (QWidget* w : {static_cast<QWidget*>(c.check), static_cast<QWidget*>(c.selectFile),
                       static_cast<QWidget*>(c.path), static_cast<QWidget*>(c.play),
                       static_cast<QWidget*>(c.stop)})
      chain(w);
  }
  chain(m_netSend);
  chain(m_run);
  chain(m_cancel);
}

SearchDialogFields CSearchParamsDlg::ReadControls() const {
  SearchDialogFields f;
  f.authentication = StateOf(m_authentication);
  f.connected = StateOf(m_connected);
  f.remembered = StateOf(m_remembered);
  f.unknown = StateOf(m_unknown);
  f.updateSpeed = S(m_updateSpeed->text());
  f.inSound = StateOf(Row(AlarmRow::Connection).check);
  f.outSound = StateOf(Row(AlarmRow::Disconnection).check);
  f.inVoicePath = S(Row(AlarmRow::Connection).path->text());
  f.outVoicePath = S(Row(AlarmRow::Disconnection).path->text());
  f.netSend = S(m_netSend->text());
  f.devDetSound = StateOf(Row(AlarmRow::Detection).check);
  f.devDetVoicePath = S(Row(AlarmRow::Detection).path->text());
  f.devUndetSound = StateOf(Row(AlarmRow::OutOfRange).check);
  f.devUndetVoicePath = S(Row(AlarmRow::OutOfRange).path->text());
  f.newInquiry = StateOf(m_newInquiry);
  f.newInquiryTimeout = S(m_newInquiryTimeout->text());
  return f;
}

void CSearchParamsDlg::WriteControls(const SearchDialogFields& f) {
  SetState(m_authentication, f.authentication);
  SetState(m_connected, f.connected);
  SetState(m_remembered, f.remembered);
  SetState(m_unknown, f.unknown);
  m_updateSpeed->setText(Q(f.updateSpeed));
  SetState(Row(AlarmRow::Connection).check, f.inSound);
  SetState(Row(AlarmRow::Disconnection).check, f.outSound);
  Row(AlarmRow::Connection).path->setText(Q(f.inVoicePath));
  Row(AlarmRow::Disconnection).path->setText(Q(f.outVoicePath));
  m_netSend->setText(Q(f.netSend));
  SetState(Row(AlarmRow::Detection).check, f.devDetSound);
  Row(AlarmRow::Detection).path->setText(Q(f.devDetVoicePath));
  SetState(Row(AlarmRow::OutOfRange).check, f.devUndetSound);
  Row(AlarmRow::OutOfRange).path->setText(Q(f.devUndetVoicePath));
  SetState(m_newInquiry, f.newInquiry);
  m_newInquiryTimeout->setText(Q(f.newInquiryTimeout));
}

QLineEdit* CSearchParamsDlg::Edit(NumericField field) const {
  return field == NumericField::UpdateSpeed ? m_updateSpeed : m_newInquiryTimeout;
}

void CSearchParamsDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    // Every showing starts from the stored values.
    WriteControls(m_model.Open());
    SetSoundNote(QString());
    m_soundPlayer.SetWindowOpen(true);
    m_run->setFocus();
  }
  QDialog::showEvent(event);
}

void CSearchParamsDlg::hideEvent(QHideEvent* event) {
  // A preview does not outlive the dialog.
  if (!event->spontaneous()) m_soundPlayer.Stop();
  QDialog::hideEvent(event);
}

void CSearchParamsDlg::ShowMessage(const QString& text) {
  if (m_message) m_message(this, text);
}

void CSearchParamsDlg::ShowMessages(const std::vector<std::string>& messages,
                                    const std::optional<NumericField>& focus) {
  for (const std::string& text : messages) {
    ShowMessage(Q(text));
    if (focus) {
      QLineEdit* edit = Edit(*focus);
      edit->setFocus(Qt::OtherFocusReason);
      edit->selectAll();
    }
  }
}

void CSearchParamsDlg::OnRun() {
  RunResult run = m_model.Run(ReadControls());
  ShowMessages(run.messages, run.focus);
  if (!run.stored)
    ShowMessage(tr("The settings could not be saved. They apply until the program closes."));
  if (run.result == kDialogRun) accept();
}

void CSearchParamsDlg::OnSelectFile(AlarmRow row) {
  const QString start =
      Q(AlarmFileStart(m_model.SelectFileInitialFolder(row), !m_model.SoundPath(row).empty(),
                       platform::ExecutablePath()));
  std::optional<std::string> chosen = m_chooser.ChooseFile(
      this, QString::fromLatin1(kChooseTitle), start, QString::fromLatin1(kAudioFilter));
  SelectFileResult result = m_model.SelectFile(row, chosen, ReadControls());
  WriteControls(result.fields);
  SetSoundNote(chosen ? NoteFor(*chosen) : QString());
  if (!result.stored) SetSoundNote(tr("The sound file could not be saved in the settings."));
  ShowMessages(result.messages, result.focus);
}

void CSearchParamsDlg::OnPlay(AlarmRow row) {
  FieldsRead read = m_model.ReadFields(ReadControls());
  if (!read.ok) ShowMessages({read.message}, read.focus);
  const std::string& path = m_model.SoundPath(row);
  const QString note = NoteFor(path);
  SetSoundNote(note);
  // A file that is missing or holds no sound would play as silence: the
  // note says why instead, and the path stays as it is.
  if (!note.isEmpty() || path.empty()) return;
  m_soundPlayer.Play(path);
}

void CSearchParamsDlg::OnStop() { m_soundPlayer.Stop(); }

QString CSearchParamsDlg::NoteFor(const std::string& path) const {
  if (path.empty()) return QString();
  const QString name = QFileInfo(Q(path)).fileName();
  switch (SniffSoundFile(path)) {
    case SoundFileKind::Missing:
      return tr("The sound file \"%1\" cannot be found or read.").arg(name);
    case SoundFileKind::NotAudio:
      return tr("\"%1\" is not a WAV, MP3 or AU sound file, so it cannot be played.").arg(name);
    case SoundFileKind::Wave:
    case SoundFileKind::Mp3:
    case SoundFileKind::Au:
      break;
  }
  return QString();
}

void CSearchParamsDlg::SetSoundNote(const QString& text) {
  m_soundNote->setText(text);
  m_soundNote->setVisible(!text.isEmpty());
}

int SearchParamsRunDialog::DoModal(SearchParamsModel& dialog) {
  CSearchParamsDlg window(dialog, m_sound, m_chooser, m_parent);
  return window.exec() == QDialog::Accepted ? kDialogRun : kDialogCancel;
}

}  // namespace wren
