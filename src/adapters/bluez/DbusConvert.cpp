#include "adapters/bluez/DbusConvert.h"

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>

namespace wren::bluez {
namespace {

// Renderings of nested values stop at this depth; D-Bus allows 64.
constexpr int kMaxRenderDepth = 16;

std::string Utf8(const QString& s) {
  // Cut before converting: a huge string costs no more than the bound.
  const QString bounded =
      s.size() > static_cast<qsizetype>(kMaxStringBytes) ? s.left(kMaxStringBytes) : s;
  return CutUtf8(bounded.toStdString(), kMaxStringBytes);
}

void Append(std::string& out, std::string_view piece) {
  if (out.size() >= kMaxStringBytes) return;
  out.append(piece.substr(0, kMaxStringBytes - out.size()));
}

std::string HexBytes(const QByteArray& bytes) {
  std::string out;
  const qsizetype n = std::min<qsizetype>(bytes.size(), kMaxStringBytes / 3);
  static const char* digits = "0123456789ABCDEF";
  for (qsizetype i = 0; i < n; ++i) {
    if (i) out += ' ';
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

void Render(const QDBusArgument& arg, std::string& out, int depth);

void RenderVariant(const QVariant& v, std::string& out, int depth) {
  if (v.metaType() == QMetaType::fromType<QDBusArgument>()) {
    Render(v.value<QDBusArgument>(), out, depth + 1);
    return;
  }
  Append(out, ValueText(ToValue(v)));
}

void Render(const QDBusArgument& arg, std::string& out, int depth) {
  if (depth > kMaxRenderDepth) {
    Append(out, "...");
    return;
  }
  switch (arg.currentType()) {
    case QDBusArgument::BasicType:
      RenderVariant(arg.asVariant(), out, depth);
      break;
    case QDBusArgument::VariantType: {
      QDBusVariant inner;
      arg >> inner;
      RenderVariant(inner.variant(), out, depth + 1);
      break;
    }
    case QDBusArgument::ArrayType: {
      Append(out, "[");
      arg.beginArray();
      bool first = true;
      while (!arg.atEnd() && out.size() < kMaxStringBytes) {
        if (!first) Append(out, ", ");
        first = false;
        Render(arg, out, depth + 1);
      }
      arg.endArray();
      Append(out, "]");
      break;
    }
    case QDBusArgument::StructureType: {
      Append(out, "(");
      arg.beginStructure();
      bool first = true;
      while (!arg.atEnd() && out.size() < kMaxStringBytes) {
        if (!first) Append(out, ", ");
        first = false;
        Render(arg, out, depth + 1);
      }
      arg.endStructure();
      Append(out, ")");
      break;
    }
    case QDBusArgument::MapType: {
      Append(out, "{");
      arg.beginMap();
      bool first = true;
      while (!arg.atEnd() && out.size() < kMaxStringBytes) {
        if (!first) Append(out, ", ");
        first = false;
        arg.beginMapEntry();
        Render(arg, out, depth + 1);
        Append(out, ": ");
        Render(arg, out, depth + 1);
        arg.endMapEntry();
      }
      arg.endMap();
      Append(out, "}");
      break;
    }
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
      Append(out, "?");
      break;
  }
}

// ManufacturerData (a{qv}) and ServiceData (a{sv}): rendered as Render
// renders any map, and every value that is a byte array kept as well.
Value ReadByteMap(const QDBusArgument& arg, const std::string& signature) {
  const bool numberKeys = signature == "a{qv}";
  std::vector<Value::ByteEntry> entries;
  std::string text;
  Append(text, "{");
  arg.beginMap();
  bool first = true;
  // The rest of a map beyond the bound is skipped by endMap.
  while (!arg.atEnd() && entries.size() < kMaxByteMapEntries) {
    arg.beginMapEntry();
    Value::ByteEntry entry;
    Value key;
    if (numberKeys) {
      ushort number = 0;
      arg >> number;
      entry.number = number;
      key = Value::Unsigned(number, "q");
    } else {
      QString name;
      arg >> name;
      entry.key = Utf8(name);
      key = Value::String(entry.key);
    }
    QDBusVariant value;
    arg >> value;
    arg.endMapEntry();
    if (!first) Append(text, ", ");
    first = false;
    Append(text, ValueText(key));
    Append(text, ": ");
    const QVariant inner = value.variant();
    RenderVariant(inner, text, 1);
    if (inner.metaType().id() != QMetaType::QByteArray) continue;
    const QByteArray bytes = inner.toByteArray();
    const qsizetype n = std::min<qsizetype>(bytes.size(), kMaxByteArray);
    entry.bytes.assign(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                       reinterpret_cast<const std::uint8_t*>(bytes.constData()) + n);
    entries.push_back(std::move(entry));
  }
  arg.endMap();
  Append(text, "}");
  Value out = Value::Other(std::move(text), signature);
  out.byteMap = std::move(entries);
  return out;
}

// a{sv}, the argument positioned on it.
Properties ReadProperties(const QDBusArgument& arg) {
  Properties out;
  arg.beginMap();
  while (!arg.atEnd()) {
    arg.beginMapEntry();
    QString name;
    QDBusVariant value;
    arg >> name >> value;
    arg.endMapEntry();
    out[Utf8(name)] = ToValue(value.variant());
  }
  arg.endMap();
  return out;
}

// a{sa{sv}}
Interfaces ReadInterfaces(const QDBusArgument& arg) {
  Interfaces out;
  arg.beginMap();
  while (!arg.atEnd()) {
    arg.beginMapEntry();
    QString interface;
    arg >> interface;
    Properties properties = ReadProperties(arg);
    arg.endMapEntry();
    out[Utf8(interface)] = std::move(properties);
  }
  arg.endMap();
  return out;
}

bool ArgumentAt(const QDBusMessage& m, int index, QDBusArgument& out) {
  const QVariantList args = m.arguments();
  if (index >= args.size() || args.at(index).metaType() != QMetaType::fromType<QDBusArgument>())
    return false;
  out = args.at(index).value<QDBusArgument>();
  return true;
}

}  // namespace

Value ToValue(const QVariant& v) {
  switch (v.metaType().id()) {
    case QMetaType::Bool:
      return Value::Bool(v.toBool());
    case QMetaType::Short:
      return Value::Signed(v.value<short>(), "n");
    case QMetaType::Int:
      return Value::Signed(v.toInt(), "i");
    case QMetaType::LongLong:
      return Value::Signed(v.toLongLong(), "x");
    case QMetaType::UChar:
      return Value::Unsigned(v.value<unsigned char>(), "y");
    case QMetaType::UShort:
      return Value::Unsigned(v.value<unsigned short>(), "q");
    case QMetaType::UInt:
      return Value::Unsigned(v.toUInt(), "u");
    case QMetaType::ULongLong:
      return Value::Unsigned(v.toULongLong(), "t");
    case QMetaType::Double:
      return Value::Real(v.toDouble());
    case QMetaType::QString:
      return Value::String(Utf8(v.toString()));
    case QMetaType::QStringList: {
      const QStringList strings = v.toStringList();
      std::vector<std::string> list;
      list.reserve(std::min<std::size_t>(static_cast<std::size_t>(strings.size()), kMaxListItems));
      for (const QString& s : strings) {
        if (list.size() >= kMaxListItems) break;
        list.push_back(Utf8(s));
      }
      Value value = Value::Strings(std::move(list));
      value.dropped = static_cast<std::size_t>(strings.size()) - value.list.size();
      if (value.dropped > 0)
        qWarning("wrenlocator: a D-Bus list of %lld strings was cut to its first %zu",
                 static_cast<long long>(strings.size()), value.list.size());
      return value;
    }
    case QMetaType::QByteArray:
      return Value::Other(HexBytes(v.toByteArray()), "ay");
    default:
      break;
  }
  if (v.metaType() == QMetaType::fromType<QDBusObjectPath>())
    return Value::Path(Utf8(v.value<QDBusObjectPath>().path()));
  if (v.metaType() == QMetaType::fromType<QDBusSignature>())
    return Value::Other(Utf8(v.value<QDBusSignature>().signature()), "g");
  if (v.metaType() == QMetaType::fromType<QDBusVariant>()) {
    std::string text;
    RenderVariant(v.value<QDBusVariant>().variant(), text, 1);
    return Value::Other(std::move(text), "v");
  }
  if (v.metaType() == QMetaType::fromType<QDBusArgument>()) {
    const QDBusArgument arg = v.value<QDBusArgument>();
    const std::string signature = Utf8(arg.currentSignature());
    if (signature == "a{qv}" || signature == "a{sv}") return ReadByteMap(arg, signature);
    std::string text;
    Render(arg, text, 0);
    return Value::Other(std::move(text), signature);
  }
  if (v.metaType() == QMetaType::fromType<QDBusUnixFileDescriptor>())
    return Value::Other("(file descriptor)", "h");
  return Value::Other("?", "");
}

bool ReadManagedObjects(const QDBusMessage& reply, std::vector<ManagedObject>& out) {
  QDBusArgument argument;
  if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "a{oa{sa{sv}}}" ||
      !ArgumentAt(reply, 0, argument))
    return false;
  // Read through a const reference: the non-const calls write.
  const QDBusArgument& arg = argument;
  arg.beginMap();
  while (!arg.atEnd()) {
    arg.beginMapEntry();
    QDBusObjectPath path;
    arg >> path;
    ManagedObject object;
    object.path = Utf8(path.path());
    object.interfaces = ReadInterfaces(arg);
    arg.endMapEntry();
    out.push_back(std::move(object));
  }
  arg.endMap();
  return true;
}

bool ReadInterfacesAdded(const QDBusMessage& signal, ManagedObject& out) {
  QDBusArgument arg;
  if (signal.signature() != "oa{sa{sv}}" || !ArgumentAt(signal, 1, arg)) return false;
  out.path = Utf8(signal.arguments().at(0).value<QDBusObjectPath>().path());
  out.interfaces = ReadInterfaces(arg);
  return true;
}

bool ReadInterfacesRemoved(const QDBusMessage& signal, std::string& path,
                           std::vector<std::string>& interfaces) {
  if (signal.signature() != "oas" || signal.arguments().size() != 2) return false;
  path = Utf8(signal.arguments().at(0).value<QDBusObjectPath>().path());
  for (const QString& s : signal.arguments().at(1).toStringList()) interfaces.push_back(Utf8(s));
  return true;
}

bool ReadPropertiesChanged(const QDBusMessage& signal, std::string& interface, Properties& changed,
                           std::vector<std::string>& invalidated) {
  QDBusArgument arg;
  if (signal.signature() != "sa{sv}as" || !ArgumentAt(signal, 1, arg)) return false;
  interface = Utf8(signal.arguments().at(0).toString());
  changed = ReadProperties(arg);
  for (const QString& s : signal.arguments().at(2).toStringList()) invalidated.push_back(Utf8(s));
  return true;
}

}  // namespace wren::bluez
