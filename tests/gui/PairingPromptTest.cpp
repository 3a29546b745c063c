// The pairing prompts and the Qt pairing agent: what each question shows,
// which answers it takes, and that every question is answered exactly once
// whatever closes it, with the questions coming from the stack's threads.

#include "gui/CPairingPromptDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gui/QtPairingAgent.h"

namespace wren::gui {
namespace {

using platform::BluetoothAddress;
using Kind = CPairingPromptDlg::Kind;

constexpr BluetoothAddress kDevice = 0x00152A000001ULL;

TEST(PairingPrompt, PasskeysAreSixDigitsAndTypedOnesAreChecked) {
  const struct {
    const char* typed;
    std::optional<std::uint32_t> passkey;
  } rows[] = {
      {"0", 0u},
      {"42", 42u},
      {"000042", 42u},
      {"999999", 999999u},
      {"", std::nullopt},
      {"1000000", std::nullopt},
      {"-1", std::nullopt},
      {"12a", std::nullopt},
      {" 12", std::nullopt},
      {"1 2", std::nullopt},
      {"\xd9\xa3", std::nullopt},  // an Arabic-Indic digit
  };
  for (const auto& row : rows)
    EXPECT_EQ(CPairingPromptDlg::ParsePasskey(QString::fromUtf8(row.typed)), row.passkey)
        << row.typed;

  EXPECT_EQ(CPairingPromptDlg::PasskeyText(0), "000000");
  EXPECT_EQ(CPairingPromptDlg::PasskeyText(4711), "004711");
  EXPECT_EQ(CPairingPromptDlg::PasskeyText(999999), "999999");
  EXPECT_EQ(CPairingPromptDlg::PasskeyText(1000042), "1000042") << "never shown as another number";
}

TEST(PairingPrompt, PinsAreOneToSixteenBytes) {
  const struct {
    QString pin;
    bool valid;
  } rows[] = {
      {"", false},
      {"0", true},
      {"0000", true},
      {QString(16, 'x'), true},
      {QString(17, 'x'), false},
      {QString(8, QChar(0xFC)), true},   // eight "ü": 16 bytes of UTF-8
      {QString(9, QChar(0xFC)), false},  // 18 bytes
      {"12\t3", false},
      {QString("12") + QChar(0) + "3", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(CPairingPromptDlg::ValidPin(row.pin), row.valid) << row.pin.toStdString();
}

TEST(PairingPrompt, EachKindShowsItsQuestionAndButtons) {
  const struct {
    Kind kind;
    const char* title;
    bool accept;
    bool edit;
    bool shown;
  } rows[] = {
      {Kind::ConfirmPasskey, "Confirm Bluetooth Passkey", true, false, true},
      {Kind::DisplayPasskey, "Type Bluetooth Passkey", false, false, true},
      {Kind::DisplayPinCode, "Type Bluetooth PIN", false, false, true},
      {Kind::RequestPinCode, "Enter Bluetooth PIN", true, true, false},
      {Kind::RequestPasskey, "Enter Bluetooth Passkey", true, true, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.title);
    CPairingPromptDlg prompt(row.kind, "\"Headset\"");
    EXPECT_EQ(prompt.windowTitle(), row.title);
    EXPECT_TRUE(prompt.Question()->text().contains("\"Headset\""));
    EXPECT_EQ(prompt.AcceptButton() != nullptr, row.accept);
    ASSERT_NE(prompt.RejectButton(), nullptr) << "every prompt can be dismissed";
    EXPECT_EQ(prompt.Edit() != nullptr, row.edit);
    EXPECT_EQ(prompt.Shown() != nullptr, row.shown);
    EXPECT_EQ(prompt.Progress() != nullptr, row.kind == Kind::DisplayPasskey);
  }
  CPairingPromptDlg confirm(Kind::ConfirmPasskey, "d");
  EXPECT_EQ(confirm.AcceptButton()->text().remove('&'), "Yes");
  EXPECT_EQ(confirm.RejectButton()->text().remove('&'), "No");
}

TEST(PairingPrompt, OkWaitsForAValidAnswer) {
  CPairingPromptDlg passkey(Kind::RequestPasskey, "d");
  EXPECT_FALSE(passkey.AcceptButton()->isEnabled());
  QTest::keyClicks(passkey.Edit(), "12x3");  // the letter is not taken
  EXPECT_EQ(passkey.Edit()->text(), "123");
  EXPECT_TRUE(passkey.AcceptButton()->isEnabled());
  EXPECT_EQ(passkey.Passkey(), 123u);
  QTest::keyClicks(passkey.Edit(), "4567");  // six digits at most
  EXPECT_EQ(passkey.Passkey(), 123456u);
  passkey.Edit()->clear();
  EXPECT_FALSE(passkey.AcceptButton()->isEnabled());
  EXPECT_EQ(passkey.Passkey(), std::nullopt);

  CPairingPromptDlg pin(Kind::RequestPinCode, "d");
  EXPECT_FALSE(pin.AcceptButton()->isEnabled());
  QTest::keyClicks(pin.Edit(), "0000");
  EXPECT_TRUE(pin.AcceptButton()->isEnabled());
  EXPECT_EQ(pin.Pin(), QString("0000"));
  pin.Edit()->setText(QString(12, QChar(0xFC)));  // cut to 16 characters, 24 bytes
  EXPECT_FALSE(pin.AcceptButton()->isEnabled()) << "over 16 bytes";
  EXPECT_EQ(pin.Pin(), std::nullopt);
}

// The agent as the dialog uses it, with its questions asked from a thread
// of the stack.
class QtPairingAgentTest : public ::testing::Test {
protected:
  QtPairingAgentTest() {
    agent = std::make_unique<QtPairingAgent>(
        &parent, [](BluetoothAddress) { return QString("\"Headset\""); });
  }

  template <typename Ask>
  static void FromStack(Ask ask) {
    std::thread(ask).join();
  }

  CPairingPromptDlg* Prompt() {
    if (!QTest::qWaitFor([&] { return agent->OpenPrompt() != nullptr; }, 2000)) return nullptr;
    return agent->OpenPrompt();
  }

  // Replies as they came, from whichever thread.
  template <typename T>
  struct Replies {
    std::function<void(T)> Reply() {
      return [this](T value) {
        std::lock_guard lock(mutex);
        got.push_back(value);
      };
    }
    std::vector<T> Got() {
      std::lock_guard lock(mutex);
      return got;
    }
    std::mutex mutex;
    std::vector<T> got;
  };

  QWidget parent;
  std::unique_ptr<QtPairingAgent> agent;
};

TEST_F(QtPairingAgentTest, ConfirmationIsAnsweredByYesOrNo) {
  Replies<bool> replies;
  for (bool yes : {true, false}) {
    FromStack([&] { agent->ConfirmPasskey(kDevice, 482913, replies.Reply()); });
    CPairingPromptDlg* prompt = Prompt();
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->GetKind(), Kind::ConfirmPasskey);
    EXPECT_EQ(prompt->Shown()->text(), "482913");
    EXPECT_EQ(prompt->parentWidget(), &parent);
    EXPECT_TRUE(replies.Got().size() < 2) << "not before the user answers";
    QTest::mouseClick(yes ? prompt->AcceptButton() : prompt->RejectButton(), Qt::LeftButton);
    EXPECT_EQ(agent->OpenPrompt(), nullptr);
  }
  EXPECT_EQ(replies.Got(), (std::vector<bool>{true, false}));
}

TEST_F(QtPairingAgentTest, TypedPinAndPasskeyGoBackAsTyped) {
  Replies<std::optional<std::string>> pins;
  FromStack([&] { agent->RequestPinCode(kDevice, pins.Reply()); });
  CPairingPromptDlg* prompt = Prompt();
  ASSERT_NE(prompt, nullptr);
  QTest::keyClicks(prompt->Edit(), "7391");
  QTest::keyClick(prompt->Edit(), Qt::Key_Return);
  EXPECT_EQ(pins.Got(), (std::vector<std::optional<std::string>>{"7391"}));

  FromStack([&] { agent->RequestPinCode(kDevice, pins.Reply()); });
  prompt = Prompt();
  ASSERT_NE(prompt, nullptr);
  QTest::keyClicks(prompt->Edit(), "7391");
  QTest::mouseClick(prompt->RejectButton(), Qt::LeftButton);
  EXPECT_EQ(pins.Got().back(), std::nullopt) << "cancelled: no PIN";

  Replies<std::optional<std::uint32_t>> passkeys;
  FromStack([&] { agent->RequestPasskey(kDevice, passkeys.Reply()); });
  prompt = Prompt();
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->GetKind(), Kind::RequestPasskey);
  QTest::keyClick(prompt->Edit(), Qt::Key_Return);  // nothing typed: Ok is off
  EXPECT_TRUE(passkeys.Got().empty());
  QTest::keyClicks(prompt->Edit(), "004711");
  QTest::mouseClick(prompt->AcceptButton(), Qt::LeftButton);
  EXPECT_EQ(passkeys.Got(), (std::vector<std::optional<std::uint32_t>>{4711u}));
}

TEST_F(QtPairingAgentTest, ShownPasskeyFollowsTheKeysTypedAndShownPinIsShown) {
  FromStack([&] { agent->DisplayPasskey(kDevice, 104729, 0); });
  QPointer<CPairingPromptDlg> prompt = Prompt();
  ASSERT_TRUE(prompt);
  EXPECT_EQ(prompt->Shown()->text(), "104729");
  EXPECT_EQ(prompt->Progress()->text(), "0 of 6 digits typed");
  for (std::uint16_t typed : {1, 4, 6})
    FromStack([&] { agent->DisplayPasskey(kDevice, 104729, typed); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return prompt->Progress()->text() == "6 of 6 digits typed"; }));
  EXPECT_EQ(agent->OpenPrompt(), prompt.data()) << "the same prompt, updated";

  FromStack([&] { agent->DisplayPinCode(kDevice, "0000"); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return agent->OpenPrompt() != prompt.data(); }));
  ASSERT_NE(agent->OpenPrompt(), nullptr);
  EXPECT_EQ(agent->OpenPrompt()->GetKind(), Kind::DisplayPinCode);
  EXPECT_EQ(agent->OpenPrompt()->Shown()->text(), "0000");
}

TEST_F(QtPairingAgentTest, DismissingAShownCodeIsReportedButClosingItIsNot) {
  QSignalSpy dismissed(agent.get(), &QtPairingAgent::DisplayDismissed);
  FromStack([&] { agent->DisplayPinCode(kDevice, "1234"); });
  CPairingPromptDlg* prompt = Prompt();
  ASSERT_NE(prompt, nullptr);
  agent->ClosePrompt();  // the pairing ended
  EXPECT_EQ(dismissed.count(), 0);
  FromStack([&] { agent->DisplayPinCode(kDevice, "1234"); });
  prompt = Prompt();
  ASSERT_NE(prompt, nullptr);
  QTest::mouseClick(prompt->RejectButton(), Qt::LeftButton);
  ASSERT_EQ(dismissed.count(), 1);
  EXPECT_EQ(dismissed.at(0).at(0).value<BluetoothAddress>(), kDevice);
}

TEST_F(QtPairingAgentTest, EveryQuestionIsAnsweredOnceWhateverEndsIt) {
  Replies<bool> replies;
  // The stack cancels: the prompt closes, the question is declined.
  FromStack([&] { agent->ConfirmPasskey(kDevice, 1, replies.Reply()); });
  QPointer<CPairingPromptDlg> prompt = Prompt();
  ASSERT_TRUE(prompt);
  FromStack([&] { agent->Cancel(); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return agent->OpenPrompt() == nullptr; }));
  EXPECT_EQ(replies.Got(), std::vector<bool>{false});
  EXPECT_FALSE(prompt && prompt->isVisible());

  // A new question replaces an open one, which is declined.
  FromStack([&] { agent->ConfirmPasskey(kDevice, 2, replies.Reply()); });
  ASSERT_NE(Prompt(), nullptr);
  FromStack([&] { agent->ConfirmPasskey(kDevice, 3, replies.Reply()); });
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return agent->OpenPrompt() && agent->OpenPrompt()->Shown()->text() == "000003"; }));
  EXPECT_EQ(replies.Got(), (std::vector<bool>{false, false}));
  QTest::mouseClick(agent->OpenPrompt()->AcceptButton(), Qt::LeftButton);
  EXPECT_EQ(replies.Got(), (std::vector<bool>{false, false, true}));

  // The agent goes with a question open, and with one not yet shown.
  Replies<std::optional<std::string>> pins;
  FromStack([&] { agent->RequestPinCode(kDevice, pins.Reply()); });
  ASSERT_NE(Prompt(), nullptr);
  FromStack([&] { agent->RequestPinCode(kDevice, pins.Reply()); });  // posted, not yet run
  agent.reset();
  QCoreApplication::processEvents();
  EXPECT_EQ(pins.Got(), (std::vector<std::optional<std::string>>{std::nullopt, std::nullopt}));
}

}  // namespace
}  // namespace wren::gui
