#include "adapters/qt/QtSettingsStore.h"

#include "core/bluetooth/SearchSettings.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wren::platform {
namespace {

using namespace std::string_literals;

class QtSettingsStoreTest : public ::testing::Test {
protected:
  QTemporaryDir dir;
  QString ini() const { return dir.filePath("Wrenlocator.conf"); }
};

TEST_F(QtSettingsStoreTest, IntegersAndTextsRoundTripUnderTheirSectionAndKey) {
  ASSERT_TRUE(dir.isValid());
  {
    QtSettingsStore store(ini());
    EXPECT_TRUE(store.WriteInt("Settings", "UpdateSpeed", 10));
    EXPECT_TRUE(store.WriteInt("DevSearchSettings", "NewInquiryTimeout", -3));
    EXPECT_TRUE(store.WriteInt("DevSearchSettings", "Big", 4294967295LL));
    EXPECT_TRUE(store.WriteText("DevNotifySettings", "InVoicePath", "/home/u/sounds/in.wav"));
    EXPECT_TRUE(store.WriteText("DevNotifySettings", "NetSend", " BOSS "));
    EXPECT_TRUE(store.WriteText("DevNotifySettings", "OutVoicePath", "/home/u/Klänge/aus.wav"));
  }
  // What another reader of the same file sees.
  QSettings raw(ini(), QSettings::IniFormat);
  EXPECT_EQ(raw.value("Settings/UpdateSpeed").toInt(), 10);
  EXPECT_EQ(raw.value("DevNotifySettings/InVoicePath").toString(), "/home/u/sounds/in.wav");
  EXPECT_EQ(raw.childGroups(), (QStringList{"DevNotifySettings", "DevSearchSettings", "Settings"}));

  QtSettingsStore store(ini());
  EXPECT_EQ(store.ReadInt("Settings", "UpdateSpeed", 2), 10);
  EXPECT_EQ(store.ReadInt("DevSearchSettings", "NewInquiryTimeout", 5), -3);
  EXPECT_EQ(store.ReadInt("DevSearchSettings", "Big", 0), 4294967295LL);
  EXPECT_EQ(store.ReadText("DevNotifySettings", "InVoicePath", ""), "/home/u/sounds/in.wav");
  EXPECT_EQ(store.ReadText("DevNotifySettings", "NetSend", ""), " BOSS ");
  EXPECT_EQ(store.ReadText("DevNotifySettings", "OutVoicePath", ""), "/home/u/Klänge/aus.wav");
  // Same key, other section: not there.
  EXPECT_EQ(store.ReadInt("DevSearchSettings", "UpdateSpeed", 2), 2);
}

TEST_F(QtSettingsStoreTest, FileIsAnIniWithTheProgramsSectionAndKeyNames) {
  {
    QtSettingsStore store(ini());
    store.WriteInt("DevSearchSettings", "Authentication", 0);
  }
  QFile file(ini());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().toStdString(), "[DevSearchSettings]\nAuthentication=0\n");
}

TEST_F(QtSettingsStoreTest, MissingOrMalformedValuesGiveTheDefault) {
  {
    QFile file(ini());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nUpdateSpeed=fast\n[DevNotifySettings]\ninSound=1\n");
  }
  QtSettingsStore store(ini());
  EXPECT_EQ(store.ReadInt("Settings", "UpdateSpeed", 2), 2);
  EXPECT_EQ(store.ReadInt("DevNotifySettings", "outSound", 0), 0);
  EXPECT_EQ(store.ReadInt("DevNotifySettings", "inSound", 0), 1);
  EXPECT_EQ(store.ReadText("DevNotifySettings", "NetSend", "none"), "none");
}

TEST_F(QtSettingsStoreTest, TextsThatAreNotUtf8ComeBackUnchanged) {
  const std::string latin1 = "/snd/caf\xe9.wav";
  {
    QtSettingsStore store(ini());
    EXPECT_TRUE(store.WriteText("DevNotifySettings", "DevDetVoicePath", latin1));
  }
  QtSettingsStore store(ini());
  EXPECT_EQ(store.ReadText("DevNotifySettings", "DevDetVoicePath", ""), latin1);
}

TEST_F(QtSettingsStoreTest, SearchSettingsSurviveAStoreReopened) {
  SearchDialogFields before;
  {
    QtSettingsStore store(ini());
    SearchParamsModel model(store);
    SearchDialogFields f = model.Open();
    f.updateSpeed = "3";
    f.newInquiry = 1;
    f.newInquiryTimeout = "10";
    f.netSend = "ADMIN";
    f.devDetSound = 1;
    f.devDetVoicePath = "/s/det.wav";
    ASSERT_EQ(model.Run(f).result, kDialogRun);
    before = model.Open();
  }
  QtSettingsStore store(ini());
  SearchParamsModel model(store);
  EXPECT_EQ(model.Fields(), before);
  EXPECT_EQ(model.Fields().updateSpeed, "10");
}

TEST(QtSettingsStoreDefault, UsesTheProgramsOrganisationAndApplicationName) {
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
  {
    QtSettingsStore store;
    EXPECT_TRUE(store.WriteInt("Settings", "UpdateSpeed", 7));
  }
  QSettings check(home.filePath("Pelmark/Wrenlocator.conf"), QSettings::IniFormat);
  EXPECT_EQ(check.value("Settings/UpdateSpeed").toInt(), 7);
  QStandardPaths::setTestModeEnabled(false);
}

}  // namespace
}  // namespace wren::platform
