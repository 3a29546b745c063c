#include "adapters/qt/QtSettingsStore.h"
#include "base/Product.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace wren::platform {
namespace {

QString KeyPath(std::string_view section, std::string_view key) {
  QString path = QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size()));
  path.append(u'/');
  path.append(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
  return path;
}

bool IsValidUtf8(std::string_view text) {
  QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  QString decoded = QString::fromUtf8(bytes);
  return decoded.toUtf8() == bytes;
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(std::make_unique<QSettings>(
          QString::fromUtf8(product::kMaker.data(), product::kMaker.size()),
          QString::fromUtf8(product::kName.data(), product::kName.size()))) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

std::int64_t QtSettingsStore::ReadInt(std::string_view section, std::string_view key,
                                      std::int64_t defaultValue) const {
  QVariant value = m_settings->value(KeyPath(section, key));
  if (!value.isValid()) return defaultValue;
  bool ok = false;
  qlonglong number = value.toString().trimmed().toLongLong(&ok);
  return ok ? static_cast<std::int64_t>(number) : defaultValue;
}

std::string QtSettingsStore::ReadText(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
  QVariant value = m_settings->value(KeyPath(section, key));
  if (!value.isValid()) return std::string(defaultValue);
  // Texts that are not UTF-8 were kept as raw bytes.
  if (value.typeId() == QMetaType::QByteArray) return value.toByteArray().toStdString();
  return value.toString().toStdString();
}

bool QtSettingsStore::WriteInt(std::string_view section, std::string_view key, std::int64_t value) {
  m_settings->setValue(KeyPath(section, key), static_cast<qlonglong>(value));
  return Commit();
}

bool QtSettingsStore::WriteText(std::string_view section, std::string_view key,
                                std::string_view value) {
  // Paths on Linux may hold any bytes; those that are not UTF-8 are stored
  // as a byte array so that they come back unchanged.
  if (IsValidUtf8(value)) {
    m_settings->setValue(KeyPath(section, key),
                         QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
  } else {
    m_settings->setValue(KeyPath(section, key),
                         QByteArray(value.data(), static_cast<qsizetype>(value.size())));
  }
  return Commit();
}

bool QtSettingsStore::Commit() {
  m_settings->sync();
  return m_settings->status() == QSettings::NoError;
}

}  // namespace wren::platform
