#include "gui/CSearchParamsDlg.h"

#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"
#include "adapters/qt/QtSettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QCompleter>
#include <QListView>
#include <QAbstractItemView>
#include <QFileDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace wren {
namespace {

using platform::MemorySettingsStore;
using namespace settings;

// Records what the dialog asks of the sound system.
class FakeSound : public platform::SoundOutput {
public:
  Playback Open(const std::string& file) override {
    opened.push_back(file);
    return ++last;
  }
  bool IsPlaying(Playback) const override { return false; }
  void PlayFromStart(Playback p) override { started.push_back(p); }
  void Stop(Playback p) override { stopped.push_back(p); }
  void Close(Playback p) override { closed.push_back(p); }

  std::vector<std::string> opened;
  std::vector<Playback> started, stopped, closed;
  Playback last = 0;
};

// Answers the file-open dialog as the test says, and remembers the question.
class FakeChooser : public AlarmFileChooser {
public:
  std::optional<std::string> ChooseFile(QWidget*, const QString& title, const QString& start,
                                        const QString& filter) override {
    ++calls;
    lastTitle = title;
    lastStart = start;
    lastFilter = filter;
    return answer;
  }
  std::optional<std::string> answer;
  int calls = 0;
  QString lastTitle, lastStart, lastFilter;
};

std::optional<std::int64_t> StoredInt(const MemorySettingsStore& store, std::string_view section,
                                      std::string_view key) {
  auto v = store.Find(section, key);
  if (!v || !std::holds_alternative<std::int64_t>(*v)) return std::nullopt;
  return std::get<std::int64_t>(*v);
}

std::optional<std::string> StoredText(const MemorySettingsStore& store, std::string_view key) {
  auto v = store.Find(kNotifySection, key);
  if (!v || !std::holds_alternative<std::string>(*v)) return std::nullopt;
  return std::get<std::string>(*v);
}

class SearchParamsDlgTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  // The dialog over `store`, shown (as Run shows it) with its messages
  // recorded instead of boxed.
  std::unique_ptr<CSearchParamsDlg> Open(platform::SettingsStore& over) {
    model = std::make_unique<SearchParamsModel>(over);
    auto dlg = std::make_unique<CSearchParamsDlg>(*model, sound, chooser);
    dlg->SetMessageFn([this](QWidget*, const QString& text) { messages.push_back(text); });
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    return dlg;
  }
  std::unique_ptr<CSearchParamsDlg> Open() { return Open(store); }

  template <class W>
  static W* Find(QWidget* dlg, const char* name) {
    W* w = dlg->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  // Types `text` over whatever the edit holds, as a user does after
  // tabbing into it.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty()) {
      QTest::keyClick(edit, Qt::Key_Delete);
    } else {
      QTest::keyClicks(edit, text);
    }
    ASSERT_EQ(edit->text(), text);
  }

  static void Press(QWidget* widget, Qt::Key key) { QTest::keyClick(widget, key); }

  QTemporaryDir dir;
  MemorySettingsStore store;
  FakeSound sound;
  FakeChooser chooser;
  std::unique_ptr<SearchParamsModel> model;
  std::vector<QString> messages;
};

TEST_F(SearchParamsDlgTest, ShowsEveryControlTextAndGroup) {
  auto dlg = Open();
  EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Devices Search Parameters Dialog"));

  struct Control {
    const char* name;
    int id;
    const char* text;  // nullptr: an edit
  };
  const Control controls[] = {
      {"checkAuthentication", 1000, "Search Authenticated Devices"},
      {"checkRemembered", 1001, "Search Remembered Devices"},
      {"checkUnknown", 1002, "Search Unknown Devices"},
      {"checkConnected", 1003, "Search Connected Devices"},
      {"buttonRun", 1005, "Run"},
      {"editUpdateSpeed", 1008, nullptr},
      {"checkSoundConnection", 1022, "Notify Device Connection"},
      {"checkSoundDisconnection", 1023, "Notify Device Disconnection"},
      {"selectFileConnection", 1024, "Select File..."},
      {"selectFileDisconnection", 1025, "Select File..."},
      {"editPathConnection", 1026, nullptr},
      {"editPathDisconnection", 1027, nullptr},
      {"editNetSend", 1028, nullptr},
      {"checkSoundDetection", 1029, "Notify Remote Radio Detection"},
      {"selectFileDetection", 1030, "Select File..."},
      {"editPathDetection", 1031, nullptr},
      {"checkSoundOutOfRange", 1035, "Notify Radio Out of Range"},
      {"selectFileOutOfRange", 1036, "Select File..."},
      {"editPathOutOfRange", 1037, nullptr},
      {"checkNewInquiry", 1038, "Search Remote Devices"},
      {"playDetection", 1039, "Play"},
      {"stopDetection", 1040, "Stop"},
      {"playOutOfRange", 1041, "Play"},
      {"stopOutOfRange", 1042, "Stop"},
      {"playConnection", 1043, "Play"},
      {"stopConnection", 1044, "Stop"},
      {"playDisconnection", 1045, "Play"},
      {"stopDisconnection", 1046, "Stop"},
      {"editNewInquiryTimeout", 1047, nullptr},
      {"buttonCancel", 2, "Cancel"},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.name);
    QWidget* w = Find<QWidget>(dlg.get(), c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->property("controlId").toInt(), c.id);
    EXPECT_TRUE(w->isVisible());
    if (!c.text) {
      EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr);
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      EXPECT_EQ(b->text(), QString::fromLatin1(c.text));
    } else {
      ADD_FAILURE() << "not a button";
    }
  }

  std::map<QString, QString> groups;
  for (QGroupBox* g : dlg->findChildren<QGroupBox*>()) groups[g->objectName()] = g->title();
  EXPECT_EQ(groups,
            (std::map<QString, QString>{
                {"groupSearch", "Search Parameters"},
                {"groupRefresh", "Refresh Speed"},
                {"groupNotify", "Device Detection and Connection State Change Notification"}}));

  QStringList labels;
  for (QLabel* l : dlg->findChildren<QLabel*>())
    if (l->isVisible()) labels << l->text();
  for (const char* text :
       {"Refresh Every:", "Search Timeout:", "Seconds",
        "Seconds       >=  Search Timeout if \"Search Remote Devices\" selected ",
        "Send a Windows network message ( net send )  To:"})
    EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;

  auto* run = Find<QPushButton>(dlg.get(), "buttonRun");
  EXPECT_TRUE(run->isDefault());
  for (QPushButton* b : dlg->findChildren<QPushButton*>()) {
    if (b != run) {
      EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
    }
  }
}

TEST_F(SearchParamsDlgTest, TabWalksTheControlsInReadingOrder) {
  auto dlg = Open();
  QStringList walked;
  Find<QCheckBox>(dlg.get(), "checkAuthentication")->setFocus();
  for (int i = 0; i < 30; ++i) {
    walked << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  QStringList expected = {"checkAuthentication", "checkRemembered", "checkUnknown",
                          "checkConnected",      "checkNewInquiry", "editNewInquiryTimeout",
                          "editUpdateSpeed"};
  for (const char* row : {"Detection", "OutOfRange", "Connection", "Disconnection"})
    for (const char* control : {"checkSound", "selectFile", "editPath", "play", "stop"})
      expected << QString::fromLatin1(control) + QString::fromLatin1(row);
  expected << "editNetSend"
           << "buttonRun"
           << "buttonCancel";
  ASSERT_EQ(expected.size(), 30);
  EXPECT_EQ(walked, expected);
  // And round again.
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "checkAuthentication");
}

TEST_F(SearchParamsDlgTest, OpensWithTheStoredValuesEveryTime) {
  auto dlg = Open();
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editUpdateSpeed")->text(), "2");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editNewInquiryTimeout")->text(), "5");
  EXPECT_TRUE(Find<QCheckBox>(dlg.get(), "checkAuthentication")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(dlg.get(), "checkNewInquiry")->isChecked());
  dlg->hide();

  store.WriteInt(kSettingsSection, kUpdateSpeed, 17);
  store.WriteInt(kSearchSection, kNewInquiryTimeout, 2);  // too short: shown as 5
  store.WriteInt(kSearchSection, kRemembered, 0);
  store.WriteInt(kNotifySection, kDevUndetSound, 1);
  store.WriteText(kNotifySection, kOutVoicePath, "/home/me/bye.wav");
  store.WriteText(kNotifySection, kNetSend, "OPERATOR");
  // Typed but never run: the next showing starts again from the store.
  Find<QLineEdit>(dlg.get(), "editNetSend")->setText("typed");
  dlg->show();
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editUpdateSpeed")->text(), "17");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editNewInquiryTimeout")->text(), "5");
  EXPECT_FALSE(Find<QCheckBox>(dlg.get(), "checkRemembered")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(dlg.get(), "checkSoundOutOfRange")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editPathDisconnection")->text(), "/home/me/bye.wav");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editNetSend")->text(), "OPERATOR");
}

TEST_F(SearchParamsDlgTest, RunWithEnterStoresEveryValueInOrderAndAccepts) {
  auto dlg = Open();
  QTest::keyClick(Find<QCheckBox>(dlg.get(), "checkUnknown"), Qt::Key_Space);
  QTest::keyClick(Find<QCheckBox>(dlg.get(), "checkSoundConnection"), Qt::Key_Space);
  Type(Find<QLineEdit>(dlg.get(), "editPathConnection"), "/snd/in.wav");
  Type(Find<QLineEdit>(dlg.get(), "editNetSend"), "DESK7");
  Type(Find<QLineEdit>(dlg.get(), "editUpdateSpeed"), "9");
  store.ClearWrites();
  Press(Find<QLineEdit>(dlg.get(), "editUpdateSpeed"), Qt::Key_Return);

  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_FALSE(dlg->isVisible());
  const std::vector<std::string> order = {"DevSearchSettings/Authentication",
                                          "DevSearchSettings/Connected",
                                          "DevSearchSettings/Remembered",
                                          "DevSearchSettings/Unknown",
                                          "DevSearchSettings/NewInquiry",
                                          "DevSearchSettings/NewInquiryTimeout",
                                          "Settings/UpdateSpeed",
                                          "DevNotifySettings/devDetSound",
                                          "DevNotifySettings/devUndetSound",
                                          "DevNotifySettings/inSound",
                                          "DevNotifySettings/outSound",
                                          "DevNotifySettings/InVoicePath",
                                          "DevNotifySettings/OutVoicePath",
                                          "DevNotifySettings/NetSend",
                                          "DevNotifySettings/DevDetVoicePath",
                                          "DevNotifySettings/devUndetVoicePath"};
  EXPECT_EQ(store.Writes(), order);
  EXPECT_EQ(StoredInt(store, kSearchSection, kUnknown), 0);
  EXPECT_EQ(StoredInt(store, kSearchSection, kAuthentication), 1);
  EXPECT_EQ(StoredInt(store, kNotifySection, kInSound), 1);
  EXPECT_EQ(StoredInt(store, kSettingsSection, kUpdateSpeed), 9);
  EXPECT_EQ(StoredText(store, kInVoicePath), "/snd/in.wav");
  EXPECT_EQ(StoredText(store, kNetSend), "DESK7");
  // The live values the scans and alarms read.
  EXPECT_EQ(model->Search().m_updateSpeed, 9u);
  EXPECT_EQ(model->Notify().m_netSend, "DESK7");
}

TEST_F(SearchParamsDlgTest, LettersInRefreshEveryWarnTwiceAndKeepTheDialogOpen) {
  store.WriteText(kNotifySection, kNetSend, "OLD");
  auto dlg = Open();
  auto* speed = Find<QLineEdit>(dlg.get(), "editUpdateSpeed");
  QTest::keyClick(Find<QCheckBox>(dlg.get(), "checkConnected"), Qt::Key_Space);
  Type(Find<QLineEdit>(dlg.get(), "editNetSend"), "NEW");
  Type(speed, "abc");
  Find<QPushButton>(dlg.get(), "buttonCancel")->setFocus();
  store.ClearWrites();
  Press(Find<QLineEdit>(dlg.get(), "editNetSend"), Qt::Key_Return);

  EXPECT_EQ(messages, (std::vector<QString>{"Please enter a positive integer.",
                                            "Please enter a positive integer."}));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_NE(dlg->result(), QDialog::Accepted);
  EXPECT_TRUE(speed->hasFocus());
  EXPECT_EQ(speed->selectedText(), "abc");
  EXPECT_EQ(speed->text(), "abc");
  // Everything was stored all the same; the controls after the faulty edit
  // were not read, so the old recipient and refresh speed stay.
  EXPECT_EQ(store.Writes().size(), 16u);
  EXPECT_EQ(StoredInt(store, kSearchSection, kConnected), 0);
  EXPECT_EQ(StoredInt(store, kSettingsSection, kUpdateSpeed), 2);
  EXPECT_EQ(StoredText(store, kNetSend), "OLD");

  // Corrected, Run goes through.
  messages.clear();
  Type(speed, "4");
  Press(speed, Qt::Key_Return);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(StoredInt(store, kSettingsSection, kUpdateSpeed), 4);
  EXPECT_EQ(StoredText(store, kNetSend), "NEW");
}

TEST_F(SearchParamsDlgTest, BadSearchTimeoutWarnsWithAnIntegerMessage) {
  auto dlg = Open();
  auto* timeout = Find<QLineEdit>(dlg.get(), "editNewInquiryTimeout");
  Type(timeout, "5s");
  Press(timeout, Qt::Key_Return);
  EXPECT_EQ(messages,
            (std::vector<QString>{"Please enter an integer.", "Please enter an integer."}));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_TRUE(timeout->hasFocus());
  EXPECT_EQ(timeout->selectedText(), "5s");
}

struct NumbersCase {
  const char* name;
  bool inquiry;
  const char* speed;
  const char* timeout;
  std::int64_t storedSpeed;
  std::int64_t storedTimeout;
};

class SearchParamsNumbersTest : public SearchParamsDlgTest,
                                public ::testing::WithParamInterface<NumbersCase> {};

TEST_P(SearchParamsNumbersTest, RunStoresTheCorrectedNumbers) {
  const NumbersCase& c = GetParam();
  auto dlg = Open();
  if (c.inquiry) QTest::keyClick(Find<QCheckBox>(dlg.get(), "checkNewInquiry"), Qt::Key_Space);
  Type(Find<QLineEdit>(dlg.get(), "editUpdateSpeed"), QString::fromLatin1(c.speed));
  Type(Find<QLineEdit>(dlg.get(), "editNewInquiryTimeout"), QString::fromLatin1(c.timeout));
  Press(Find<QLineEdit>(dlg.get(), "editNewInquiryTimeout"), Qt::Key_Return);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(StoredInt(store, kSettingsSection, kUpdateSpeed), c.storedSpeed);
  EXPECT_EQ(StoredInt(store, kSearchSection, kNewInquiryTimeout), c.storedTimeout);
  EXPECT_EQ(StoredInt(store, kSearchSection, kNewInquiry), c.inquiry ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchParamsNumbersTest,
    ::testing::Values(NumbersCase{"RefreshZeroBecomesOne", false, "0", "5", 1, 5},
                      NumbersCase{"TimeoutZeroBecomesFive", false, "3", "0", 3, 5},
                      NumbersCase{"NegativeTimeoutBecomesFive", false, "3", "-7", 3, 5},
                      NumbersCase{"InquiryRaisesRefreshToTimeout", true, "3", "10", 10, 10},
                      NumbersCase{"WithoutInquiryRefreshStays", false, "3", "10", 3, 10},
                      NumbersCase{"InquiryLeavesLongerRefresh", true, "12", "10", 12, 10},
                      NumbersCase{"InquiryRaisesZeroRefresh", true, "0", "0", 5, 5},
                      NumbersCase{"BlanksAroundDigits", false, " 7 ", "+6", 7, 6}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SearchParamsDlgTest, CancelStoresNothing) {
  for (bool escape : {true, false}) {
    SCOPED_TRACE(escape ? "Escape" : "Cancel button");
    auto dlg = Open();
    QTest::keyClick(Find<QCheckBox>(dlg.get(), "checkAuthentication"), Qt::Key_Space);
    Type(Find<QLineEdit>(dlg.get(), "editUpdateSpeed"), "30");
    Type(Find<QLineEdit>(dlg.get(), "editNetSend"), "SOMEONE");
    store.ClearWrites();
    if (escape) {
      Press(Find<QLineEdit>(dlg.get(), "editNetSend"), Qt::Key_Escape);
    } else {
      auto* cancel = Find<QPushButton>(dlg.get(), "buttonCancel");
      cancel->setFocus();
      Press(cancel, Qt::Key_Space);
    }
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_TRUE(store.Writes().empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(model->Search().m_updateSpeed, 2u);
    EXPECT_EQ(model->Notify().m_netSend, "");
  }
}

TEST_F(SearchParamsDlgTest, SelectFileCancelledStoresTheEmptyPathAndNothingElse) {
  auto dlg = Open();
  Type(Find<QLineEdit>(dlg.get(), "editNetSend"), "typed");
  store.ClearWrites();
  chooser.answer = std::nullopt;
  auto* select = Find<QPushButton>(dlg.get(), "selectFileDetection");
  select->setFocus();
  Press(select, Qt::Key_Space);

  ASSERT_EQ(chooser.calls, 1);
  EXPECT_EQ(chooser.lastTitle, "Choose Alarm File");
  EXPECT_EQ(chooser.lastFilter, "Audio Files (*.wav *.mp3 *.au)");
  // This test program is not called "wrenlocator", so the sounds folder
  // cannot be put in place of its name: the program's own path is offered.
  EXPECT_EQ(chooser.lastStart.toStdString(), platform::ExecutablePath());
  EXPECT_EQ(chooser.lastStart.toStdString(), InitialSoundFolder(platform::ExecutablePath()));
  EXPECT_EQ(store.Writes(), (std::vector<std::string>{"DevNotifySettings/DevDetVoicePath"}));
  EXPECT_EQ(StoredText(store, kDevDetVoicePath), "");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editNetSend")->text(), "typed");
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_TRUE(messages.empty());
}

TEST_F(SearchParamsDlgTest, SelectFileChosenFillsItsRowAndStaysStoredAfterCancel) {
  store.WriteText(kNotifySection, kInVoicePath, "/old/in.wav");
  auto dlg = Open();
  Type(Find<QLineEdit>(dlg.get(), "editPathDetection"), "/typed/det.wav");
  chooser.answer = "/chosen/ring.wav";
  store.ClearWrites();
  auto* select = Find<QPushButton>(dlg.get(), "selectFileConnection");
  select->setFocus();
  Press(select, Qt::Key_Space);

  // A row with a sound opens the file dialog on that sound.
  EXPECT_EQ(chooser.lastStart, "/old/in.wav");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editPathConnection")->text(), "/chosen/ring.wav");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editPathDetection")->text(), "/typed/det.wav");
  EXPECT_EQ(store.Writes(), (std::vector<std::string>{"DevNotifySettings/InVoicePath"}));
  EXPECT_EQ(StoredText(store, kInVoicePath), "/chosen/ring.wav");
  // The chosen file does not exist: the dialog says so, and keeps it.
  auto* note = Find<QLabel>(dlg.get(), "soundNote");
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->text().contains("ring.wav"));

  Press(Find<QPushButton>(dlg.get(), "buttonCancel"), Qt::Key_Space);
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  EXPECT_EQ(StoredText(store, kInVoicePath), "/chosen/ring.wav");
  EXPECT_EQ(store.Writes().size(), 1u);
}

QString WriteFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
  QString path = dir.filePath(QString::fromLatin1(name));
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  return path;
}

QByteArray WaveBytes() {
  QByteArray wav("RIFF");
  wav.append("\x24\x00\x00\x00WAVEfmt ", 12);
  wav.append(QByteArray(28, '\0'));
  return wav;
}

TEST_F(SearchParamsDlgTest, PlayAndStopGoThroughTheSoundPlayer) {
  const QString wav = WriteFile(dir, "chime.wav", WaveBytes());
  auto dlg = Open();
  Type(Find<QLineEdit>(dlg.get(), "editPathOutOfRange"), wav);
  auto* play = Find<QPushButton>(dlg.get(), "playOutOfRange");
  play->setFocus();
  Press(play, Qt::Key_Space);
  ASSERT_EQ(sound.opened, (std::vector<std::string>{wav.toStdString()}));
  EXPECT_EQ(sound.started.size(), 1u);
  EXPECT_FALSE(Find<QLabel>(dlg.get(), "soundNote")->isVisible());
  // Play reads the controls first: the typed path is now the member.
  EXPECT_EQ(model->Notify().m_devUndetVoicePath, wav.toStdString());

  auto* stop = Find<QPushButton>(dlg.get(), "stopOutOfRange");
  stop->setFocus();
  Press(stop, Qt::Key_Space);
  EXPECT_EQ(sound.stopped, (std::vector<platform::SoundOutput::Playback>{1}));

  // A second Play cuts off the first sound.
  Press(play, Qt::Key_Space);
  EXPECT_EQ(sound.opened.size(), 2u);
  EXPECT_EQ(sound.closed, (std::vector<platform::SoundOutput::Playback>{1}));
  EXPECT_TRUE(store.Writes().empty());
}

TEST_F(SearchParamsDlgTest, SoundFileThatIsNotAudioIsExplainedAndKept) {
  const QByteArray text = "this is a shopping list, not a sound\n";
  const QString notAudio = WriteFile(dir, "list.wav", text);
  store.WriteText(kNotifySection, kDevDetVoicePath, notAudio.toStdString());
  auto dlg = Open();
  auto* play = Find<QPushButton>(dlg.get(), "playDetection");
  play->setFocus();
  Press(play, Qt::Key_Space);

  EXPECT_TRUE(sound.opened.empty());
  auto* note = Find<QLabel>(dlg.get(), "soundNote");
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->text(),
            "\"list.wav\" is not a WAV, MP3 or AU sound file, so it cannot be played.");
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editPathDetection")->text(), notAudio);
  // Run keeps the path as the user chose it; the file itself is untouched.
  Press(Find<QLineEdit>(dlg.get(), "editNetSend"), Qt::Key_Return);
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(StoredText(store, kDevDetVoicePath), notAudio.toStdString());
  QFile f(notAudio);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), text);

  // A missing file is named too, and playing a real one clears the note.
  dlg->show();
  Type(Find<QLineEdit>(dlg.get(), "editPathDetection"), dir.filePath("gone.wav"));
  Press(play, Qt::Key_Space);
  EXPECT_EQ(note->text(), "The sound file \"gone.wav\" cannot be found or read.");
  Type(Find<QLineEdit>(dlg.get(), "editPathDetection"), WriteFile(dir, "real.wav", WaveBytes()));
  Press(play, Qt::Key_Space);
  EXPECT_FALSE(note->isVisible());
  EXPECT_EQ(sound.opened.size(), 1u);
}

TEST(AlarmFileStart, InstalledProgramsOpenOnTheirSharedSounds) {
  QTemporaryDir root;
  ASSERT_TRUE(QDir(root.path()).mkpath("usr/bin"));
  ASSERT_TRUE(QDir(root.path()).mkpath("usr/share/wrenlocator/sounds"));
  ASSERT_TRUE(QDir(root.path()).mkpath("build"));
  const std::string base = root.path().toStdString();
  const std::string installed = base + "/usr/bin/wrenlocator";
  const std::string built = base + "/build/wrenlocator";

  EXPECT_EQ(AlarmFileStart(InitialSoundFolder(installed), false, installed),
            base + "/usr/share/wrenlocator/sounds");
  // A row with a sound opens on it, installed or not.
  EXPECT_EQ(AlarmFileStart("/home/me/ring.wav", true, installed), "/home/me/ring.wav");
  // A build tree or a portable copy keeps its sounds beside the program.
  EXPECT_EQ(AlarmFileStart(InitialSoundFolder(built), false, built), base + "/build/sounds");
}

TEST(SniffSoundFile, TellsSoundsFromOtherFiles) {
  QTemporaryDir dir;
  struct Case {
    const char* name;
    QByteArray bytes;
    SoundFileKind kind;
  };
  const Case cases[] = {
      {"a.wav", WaveBytes(), SoundFileKind::Wave},
      {"riff.avi",
       QByteArray("RIFF\x10\x00\x00\x00"
                  "AVI LIST",
                  16),
       SoundFileKind::NotAudio},
      {"tag.mp3", QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00", 10), SoundFileKind::Mp3},
      {"frame.mp3", QByteArray("\xFF\xFB\x90\x64\x00\x00", 6), SoundFileKind::Mp3},
      {"reserved.mp3", QByteArray("\xFF\xE0\x00\x00", 4), SoundFileKind::NotAudio},
      {"a.au", QByteArray(".snd\x00\x00\x00\x18", 8), SoundFileKind::Au},
      {"empty.wav", QByteArray(), SoundFileKind::NotAudio},
      {"short.wav", QByteArray("RIF"), SoundFileKind::NotAudio},
      {"text.wav", QByteArray("hello, world"), SoundFileKind::NotAudio},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SniffSoundFile(WriteFile(dir, c.name, c.bytes).toStdString()), c.kind);
  }
  EXPECT_EQ(SniffSoundFile(dir.filePath("missing.wav").toStdString()), SoundFileKind::Missing);
  EXPECT_EQ(SniffSoundFile(""), SoundFileKind::Missing);
  EXPECT_EQ(SniffSoundFile(dir.path().toStdString()), SoundFileKind::NotAudio);
}

TEST_F(SearchParamsDlgTest, SettingsFileWithWrongTypesOpensWithDefaultsAndIsRepaired) {
  const QString ini = dir.filePath("Wrenlocator.conf");
  {
    QFile f(ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[Settings]\nUpdateSpeed=fast\n"
        "[DevSearchSettings]\nAuthentication=yes\nConnected=0\nNewInquiry=@Invalid()\n"
        "NewInquiryTimeout=-40\n"
        "[DevNotifySettings]\ninSound=1\nInVoicePath=/keep/me.wav\nNetSend=\n"
        "devDetSound=99999999999999999999\n");
  }
  platform::QtSettingsStore qtStore(ini);
  auto dlg = Open(qtStore);
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editUpdateSpeed")->text(), "2");
  EXPECT_TRUE(Find<QCheckBox>(dlg.get(), "checkAuthentication")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(dlg.get(), "checkConnected")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(dlg.get(), "checkNewInquiry")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editNewInquiryTimeout")->text(), "5");
  EXPECT_TRUE(Find<QCheckBox>(dlg.get(), "checkSoundConnection")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(dlg.get(), "checkSoundDetection")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(dlg.get(), "editPathConnection")->text(), "/keep/me.wav");

  Press(Find<QLineEdit>(dlg.get(), "editNetSend"), Qt::Key_Return);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  QSettings raw(ini, QSettings::IniFormat);
  EXPECT_EQ(raw.value("Settings/UpdateSpeed").toString(), "2");
  EXPECT_EQ(raw.value("DevSearchSettings/Authentication").toString(), "1");
  EXPECT_EQ(raw.value("DevSearchSettings/NewInquiryTimeout").toString(), "5");
  EXPECT_EQ(raw.value("DevNotifySettings/devDetSound").toString(), "0");
  EXPECT_EQ(raw.value("DevNotifySettings/InVoicePath").toString(), "/keep/me.wav");
}

TEST_F(SearchParamsDlgTest, UnwritableSettingsAreSaidAndTheRunStillStarts) {
  auto dlg = Open();
  Type(Find<QLineEdit>(dlg.get(), "editUpdateSpeed"), "8");
  store.SetReadOnly(true);
  Press(Find<QLineEdit>(dlg.get(), "editUpdateSpeed"), Qt::Key_Return);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].contains("could not be saved"));
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  // The values apply to this run all the same.
  EXPECT_EQ(model->Search().m_updateSpeed, 8u);
  EXPECT_FALSE(StoredInt(store, kSettingsSection, kUpdateSpeed).has_value());
}

// Answers the next modal window once it is up: records its text (for a
// message box) and presses the given key on it.
void AnswerNextModal(Qt::Key key, QStringList* texts, int times) {
  QTimer::singleShot(0, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || qobject_cast<QMessageBox*>(modal) == nullptr) {
      AnswerNextModal(key, texts, times);  // not up yet
      return;
    }
    texts->append(static_cast<QMessageBox*>(modal)->text());
    QTest::keyClick(modal, key);
    if (times > 1) AnswerNextModal(key, texts, times - 1);
  });
}

TEST_F(SearchParamsDlgTest, MessagesAreRealMessageBoxesAnsweredWithEnter) {
  model = std::make_unique<SearchParamsModel>(store);
  CSearchParamsDlg dlg(*model, sound, chooser);
  dlg.show();
  QApplication::setActiveWindow(&dlg);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
  auto* speed = Find<QLineEdit>(&dlg, "editUpdateSpeed");
  Type(speed, "abc");
  QStringList texts;
  AnswerNextModal(Qt::Key_Return, &texts, 2);
  Press(speed, Qt::Key_Return);
  EXPECT_EQ(texts,
            (QStringList{"Please enter a positive integer.", "Please enter a positive integer."}));
  EXPECT_TRUE(dlg.isVisible());
  // No box is left behind.
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // The edit is the dialog's focus, which it takes back with the window
  // (the offscreen platform does not hand activation back by itself).
  EXPECT_EQ(dlg.focusWidget(), speed);
  EXPECT_EQ(speed->selectedText(), "abc");
}

TEST(SearchParamsRunDialog, GivesRunOnEnterAndCancelOnEscape) {
  MemorySettingsStore store;
  SearchParamsModel model(store);
  FakeSound sound;
  FakeChooser chooser;
  SearchParamsRunDialog runDialog(sound, chooser);
  for (auto [key, expected] :
       {std::pair{Qt::Key_Return, kDialogRun}, std::pair{Qt::Key_Escape, kDialogCancel}}) {
    store.ClearWrites();
    QTimer::singleShot(0, [key] {
      auto* dlg = qobject_cast<CSearchParamsDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      QTest::keyClick(dlg->findChild<QLineEdit*>("editNetSend"), key);
    });
    EXPECT_EQ(runDialog.DoModal(model), expected);
    EXPECT_EQ(store.Writes().size(), expected == kDialogRun ? 16u : 0u);
  }
}

}  // namespace
}  // namespace wren

namespace wren {
namespace {

std::uint32_t Le(const QByteArray& b, int at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}

// The sounds a new user finds in the sounds folder: real PCM WAVE files,
// short, and not silent.
TEST(ShippedSounds, AreShortAudibleWaveFiles) {
  QDir folder(QStringLiteral(WREN_TEST_DATA "/../../res/sounds"));
  const QStringList names = folder.entryList({"*.wav"}, QDir::Files, QDir::Name);
  ASSERT_GE(names.size(), 4);
  for (const QString& name : names) {
    SCOPED_TRACE(name.toStdString());
    const QString path = folder.filePath(name);
    EXPECT_EQ(SniffSoundFile(path.toStdString()), SoundFileKind::Wave);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray b = f.readAll();
    ASSERT_GE(b.size(), 44);
    EXPECT_EQ(b.mid(12, 4), "fmt ");
    EXPECT_EQ(Le(b, 20, 2), 1u);  // PCM
    const std::uint32_t channels = Le(b, 22, 2), rate = Le(b, 24, 4), bits = Le(b, 34, 2);
    EXPECT_EQ(channels, 1u);
    EXPECT_EQ(bits, 16u);
    EXPECT_EQ(b.mid(36, 4), "data");
    const std::uint32_t bytes = Le(b, 40, 4);
    ASSERT_EQ(bytes + 44, static_cast<std::uint32_t>(b.size()));
    EXPECT_EQ(Le(b, 4, 4) + 8, static_cast<std::uint32_t>(b.size()));
    const double seconds = bytes / 2.0 / rate;
    EXPECT_GT(seconds, 0.1);
    EXPECT_LT(seconds, 3.0);
    int peak = 0;
    for (int at = 44; at + 1 < b.size(); at += 2)
      peak = std::max(peak, std::abs(static_cast<int>(static_cast<std::int16_t>(Le(b, at, 2)))));
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 32767);  // never clipped
  }
}

}  // namespace
}  // namespace wren

namespace wren {
namespace {

// The real file dialog: its title, folder and filter, a file typed and
// confirmed with Enter, and Escape.
TEST(QtAlarmFileChooser, OpensOnTheFolderWithTheAudioFilter) {
  QTemporaryDir dir;
  for (const char* name : {"ring.wav", "notes.txt"}) {
    QFile f(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(WaveBytes());
  }
  QtAlarmFileChooser chooser;
  struct Seen {
    QString title, folder;
    QStringList filters;
    QStringList listed;
  } seen;

  auto answer = [&seen](const char* typed, Qt::Key key) {
    QTimer::singleShot(0, [&seen, typed, key] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      seen.title = dialog->windowTitle();
      seen.folder = dialog->directory().absolutePath();
      seen.filters = dialog->nameFilters();
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      if (name == nullptr) {
        dialog->reject();
        FAIL() << "no file name edit";
      }
      // The dialog lists the folder in the background; a name typed before
      // that would be completed against an empty list.
      auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
      for (int i = 0; list && list->model()->rowCount(list->rootIndex()) < 1 && i < 250; ++i)
        QTest::qWait(20);
      seen.listed.clear();
      for (int r = 0; list && r < list->model()->rowCount(list->rootIndex()); ++r)
        seen.listed << list->model()->index(r, 0, list->rootIndex()).data().toString();
      if (typed) QTest::keyClicks(name, QString::fromLatin1(typed));
      if (name->completer() && name->completer()->popup()->isVisible())
        QTest::keyClick(name->completer()->popup(), Qt::Key_Escape);
      QTest::keyClick(name, key);
    });
  };

  answer("ring.wav", Qt::Key_Return);
  auto chosen =
      chooser.ChooseFile(nullptr, "Choose Alarm File", dir.path(), CSearchParamsDlg::kAudioFilter);
  EXPECT_EQ(seen.title, "Choose Alarm File");
  EXPECT_EQ(seen.folder, QDir(dir.path()).absolutePath());
  EXPECT_EQ(seen.filters, QStringList{"Audio Files (*.wav *.mp3 *.au)"});
  EXPECT_EQ(seen.listed, QStringList{"ring.wav"});  // notes.txt is filtered out
  EXPECT_EQ(chosen, QDir(dir.path()).absoluteFilePath("ring.wav").toStdString());

  // Started on a sound already chosen, it opens in that sound's folder.
  answer(nullptr, Qt::Key_Escape);
  chosen = chooser.ChooseFile(nullptr, "Choose Alarm File", dir.filePath("ring.wav"),
                              CSearchParamsDlg::kAudioFilter);
  EXPECT_EQ(seen.folder, QDir(dir.path()).absolutePath());
  EXPECT_FALSE(chosen.has_value());

  // A name that does not exist is refused (with a message); the user then
  // cancels.
  answer("missing.wav", Qt::Key_Return);
  bool refused = false;
  std::function<void()> closeUp = [&closeUp, &refused] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      refused = true;
      box->accept();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && refused) {
      dialog->reject();
      return;
    }
    QTimer::singleShot(50, closeUp);
  };
  QTimer::singleShot(50, closeUp);
  chosen =
      chooser.ChooseFile(nullptr, "Choose Alarm File", dir.path(), CSearchParamsDlg::kAudioFilter);
  EXPECT_FALSE(chosen.has_value());
  EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace wren
