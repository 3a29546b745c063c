#pragma once
// The "Devices Search Parameters Dialog": which devices a scan asks for,
// the inquiry and refresh period, and the alarm sounds and message
// recipient. The values live in SearchParamsModel; this window only shows
// them and hands back what the user left in its controls.

#include "core/monitor/Monitor.h"
#include "core/monitor/SoundPlayer.h"
#include "core/bluetooth/SearchSettings.h"
#include "ports/SoundOutput.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace wren {

// The system's file-open dialog for an alarm sound, behind a port so that
// tests can answer it.
class AlarmFileChooser {
public:
  virtual ~AlarmFileChooser() = default;
  // The chosen file's full path, or nothing when the user cancelled.
  // `start` is a folder, or a file whose folder opens with it selected.
  virtual std::optional<std::string> ChooseFile(QWidget* parent, const QString& title,
                                                const QString& start, const QString& filter) = 0;
};

// QFileDialog: existing files only, the current folder left alone.
class QtAlarmFileChooser : public AlarmFileChooser {
public:
  std::optional<std::string> ChooseFile(QWidget* parent, const QString& title, const QString& start,
                                        const QString& filter) override;
};

// Where Select File opens for a row: `modelStart` (the row's sound, or the
// "sounds" folder beside the executable) unless the row has no sound yet and
// the program at `executablePath` is installed, whose shipped sounds are
// under its share folder rather than beside it.
std::string AlarmFileStart(const std::string& modelStart, bool rowHasSound,
                           std::string_view executablePath);

// What a sound file holds, judged by its first bytes.
enum class SoundFileKind { Missing, NotAudio, Wave, Mp3, Au };
SoundFileKind SniffSoundFile(const std::string& path);

class CSearchParamsDlg : public QDialog {
  Q_OBJECT

public:
  // Shows a message box; tests replace it to read the messages.
  using MessageFn = std::function<void(QWidget* parent, const QString& text)>;

  static constexpr const char* kTitle = "Devices Search Parameters Dialog";
  static constexpr const char* kChooseTitle = "Choose Alarm File";
  // The Select File filter. Qt separates patterns by blanks only.
  static constexpr const char* kAudioFilter = "Audio Files (*.wav *.mp3 *.au)";

  CSearchParamsDlg(SearchParamsModel& model, platform::SoundOutput& sound,
                   AlarmFileChooser& chooser, QWidget* parent = nullptr);
  ~CSearchParamsDlg() override;

  void SetMessageFn(MessageFn fn) { m_message = std::move(fn); }

  // The controls' current texts and check states.
  SearchDialogFields ReadControls() const;
  void WriteControls(const SearchDialogFields& fields);

  QLineEdit* Edit(NumericField field) const;

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  struct AlarmControls {
    QCheckBox* check = nullptr;
    QPushButton* selectFile = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* play = nullptr;
    QPushButton* stop = nullptr;
  };

  void Build();
  void OnRun();
  void OnSelectFile(AlarmRow row);
  void OnPlay(AlarmRow row);
  void OnStop();
  void ShowMessages(const std::vector<std::string>& messages,
                    const std::optional<NumericField>& focus);
  void ShowMessage(const QString& text);
  // A line under the alarm rows about the last sound asked for.
  void SetSoundNote(const QString& text);
  QString NoteFor(const std::string& path) const;

  AlarmControls& Row(AlarmRow row) { return m_rows[static_cast<std::size_t>(row)]; }
  const AlarmControls& Row(AlarmRow row) const { return m_rows[static_cast<std::size_t>(row)]; }

  SearchParamsModel& m_model;
  SoundPlayer m_soundPlayer;
  AlarmFileChooser& m_chooser;
  MessageFn m_message;

  QCheckBox* m_authentication = nullptr;
  QCheckBox* m_connected = nullptr;
  QCheckBox* m_remembered = nullptr;
  QCheckBox* m_unknown = nullptr;
  QCheckBox* m_newInquiry = nullptr;
  QLineEdit* m_newInquiryTimeout = nullptr;
  QLineEdit* m_updateSpeed = nullptr;
  QLineEdit* m_netSend = nullptr;
  std::array<AlarmControls, 4> m_rows;
  QLabel* m_soundNote = nullptr;
  QPushButton* m_run = nullptr;
  QPushButton* m_cancel = nullptr;
};

// Run's dialog for the main frame: a CSearchParamsDlg over the frame's
// settings, shown modally; kDialogRun when Run closed it (the window then
// tells the frame to start).
class SearchParamsRunDialog {
public:
  SearchParamsRunDialog(platform::SoundOutput& sound, AlarmFileChooser& chooser,
                        QWidget* parent = nullptr)
      : m_sound(sound), m_chooser(chooser), m_parent(parent) {}
  void SetParent(QWidget* parent) { m_parent = parent; }
  int DoModal(SearchParamsModel& dialog);

private:
  platform::SoundOutput& m_sound;
  AlarmFileChooser& m_chooser;
  QWidget* m_parent;
};

}  // namespace wren
