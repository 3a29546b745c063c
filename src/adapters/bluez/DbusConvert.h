#pragma once
// Reading BlueZ's D-Bus messages into our plain values. Every reader checks
// the message signature first and walks containers by their actual type,
// so a reply of the wrong shape is refused rather than misread.

#include <QDBusMessage>
#include <QVariant>

#include <string>
#include <vector>

#include "adapters/bluez/BluezTypes.h"

namespace wren::bluez {

Value ToValue(const QVariant& variant);

// GetManagedObjects reply: a{oa{sa{sv}}}.
bool ReadManagedObjects(const QDBusMessage& reply, std::vector<ManagedObject>& out);
// InterfacesAdded: oa{sa{sv}}.
bool ReadInterfacesAdded(const QDBusMessage& signal, ManagedObject& out);
// InterfacesRemoved: oas.
bool ReadInterfacesRemoved(const QDBusMessage& signal, std::string& path,
                           std::vector<std::string>& interfaces);
// PropertiesChanged: sa{sv}as, on the object the signal came from.
bool ReadPropertiesChanged(const QDBusMessage& signal, std::string& interface, Properties& changed,
                           std::vector<std::string>& invalidated);

}  // namespace wren::bluez
