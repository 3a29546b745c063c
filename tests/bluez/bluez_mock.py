#!/usr/bin/python3
"""Drives a running python-dbusmock bluez5 mock in ways its own API does
not offer: replies and signals of the wrong shape, calls into a client's
pairing agent made from the mock's own connection, and event storms.

The bus is the one DBUS_SYSTEM_BUS_ADDRESS names.

  bluez_mock.py bad-device HCI ADDRESS       device object with wrong property types and a huge name
  bad-signals DEVICE_PATH                    signals whose signatures do not match their names
  invalidate DEVICE_PATH PROPERTY...         PropertiesChanged with invalidated properties
  huge-name DEVICE_PATH BYTES                a Name of that many bytes
  le HCI ADDRESS TYPE APPEARANCE COMPANY [UUID...]
                                             a Bluetooth LE device: AddressType, Appearance,
                                             ManufacturerData {COMPANY: 02 15 AB}, ServiceData, UUIDs
  bad-le HCI ADDRESS                         an LE device whose LE properties have the wrong types
  bad-managed-objects                        GetManagedObjects answers a string from now on
  call-agent AGENT_BUS_NAME METHOD DEVICE    the mock calls the agent; prints "ok" (and the PIN or passkey
                                             returned) or the error name
  storm DEVICE_PATH... --rate N --seconds S  N property changes a second, spread over the devices
"""

import os
import sys
import time

import dbus

MOCK = 'org.freedesktop.DBus.Mock'
OBJECT_MANAGER = 'org.freedesktop.DBus.ObjectManager'
PROPERTIES = 'org.freedesktop.DBus.Properties'
DEVICE = 'org.bluez.Device1'
AGENT_PATH = '/org/pelmark/wrenlocator/agent'


def bus():
    return dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])


def mock(b, path):
    return dbus.Interface(b.get_object('org.bluez', path), MOCK)


def bad_device(b, hci, address):
    path = f'/org/bluez/{hci}/dev_' + address.replace(':', '_').upper()
    props = {
        'Address': dbus.Int32(5, variant_level=1),
        'Name': dbus.String('N' * (1024 * 1024), variant_level=1),
        'Alias': dbus.Array([1, 2, 3], signature='i', variant_level=1),
        'Class': dbus.String('phone', variant_level=1),
        'Paired': dbus.String('yes', variant_level=1),
        'Connected': dbus.Double(1.0, variant_level=1),
        'RSSI': dbus.String('-40', variant_level=1),
        'Adapter': dbus.Int64(7, variant_level=1),
        'ManufacturerData': dbus.Dictionary({dbus.UInt16(76): dbus.Array([dbus.Byte(1)] * 5000, variant_level=1)},
                                            signature='qv', variant_level=1),
        'Deep': nested(20),  # within the bus's nesting limit, beyond what we render
    }
    mock(b, '/').AddObject(path, DEVICE, props, dbus.Array([], signature='(ssss)'))
    mock(b, '/').EmitSignal(OBJECT_MANAGER, 'InterfacesAdded', 'oa{sa{sv}}',
                            args(dbus.ObjectPath(path), {DEVICE: props}))


def nested(depth):
    value = dbus.String('bottom', variant_level=1)
    for _ in range(depth):
        value = dbus.Array([value], signature='v', variant_level=1)
    return value


def args(*values):
    return dbus.Array(values, signature='v')


def bad_signals(b, device_path):
    root = mock(b, '/')
    root.EmitSignal(OBJECT_MANAGER, 'InterfacesAdded', 'os', args(dbus.ObjectPath(device_path), 'x'))
    root.EmitSignal(OBJECT_MANAGER, 'InterfacesRemoved', 'oi', args(dbus.ObjectPath(device_path), 3))
    root.EmitSignal(OBJECT_MANAGER, 'InterfacesAdded', '', args())
    dev = mock(b, device_path)
    dev.EmitSignal(PROPERTIES, 'PropertiesChanged', 'sas', args(DEVICE, dbus.Array(['RSSI'], signature='s')))
    dev.EmitSignal(PROPERTIES, 'PropertiesChanged', 'sa{ss}as',
                   args(DEVICE, dbus.Dictionary({'Name': 'x'}, signature='ss'), dbus.Array([], signature='s')))
    dev.EmitSignal(PROPERTIES, 'PropertiesChanged', 's', args(DEVICE))


def invalidate(b, device_path, names):
    mock(b, device_path).EmitSignal(PROPERTIES, 'PropertiesChanged', 'sa{sv}as',
                                    args(DEVICE, dbus.Dictionary({}, signature='sv'),
                                         dbus.Array(names, signature='s')))


def huge_name(b, device_path, size):
    mock(b, device_path).UpdateProperties(DEVICE, {'Name': dbus.String('h' * size)})


def add_device_object(b, hci, address, props):
    """A device object with `props` besides its address, announced as BlueZ does."""
    path = f'/org/bluez/{hci}/dev_' + address.replace(':', '_').upper()
    props = dict(props)
    props.update({
        'Address': dbus.String(address, variant_level=1),
        'Adapter': dbus.ObjectPath(f'/org/bluez/{hci}', variant_level=1),
        'Paired': dbus.Boolean(False, variant_level=1),
        'Connected': dbus.Boolean(False, variant_level=1),
    })
    mock(b, '/').AddObject(path, DEVICE, props, dbus.Array([], signature='(ssss)'))
    mock(b, '/').EmitSignal(OBJECT_MANAGER, 'InterfacesAdded', 'oa{sa{sv}}',
                            args(dbus.ObjectPath(path), {DEVICE: props}))


def le_device(b, hci, address, address_type, appearance, company, uuids):
    add_device_object(b, hci, address, {
        'AddressType': dbus.String(address_type, variant_level=1),
        'Appearance': dbus.UInt16(int(appearance, 0), variant_level=1),
        'ManufacturerData': dbus.Dictionary(
            {dbus.UInt16(int(company, 0)): dbus.Array([dbus.Byte(2), dbus.Byte(0x15), dbus.Byte(0xAB)],
                                                      signature='y', variant_level=1)},
            signature='qv', variant_level=1),
        'ServiceData': dbus.Dictionary(
            {'0000180d-0000-1000-8000-00805f9b34fb': dbus.Array([dbus.Byte(7)], signature='y', variant_level=1)},
            signature='sv', variant_level=1),
        'UUIDs': dbus.Array(uuids, signature='s', variant_level=1),
    })


def bad_le_device(b, hci, address):
    add_device_object(b, hci, address, {
        'Name': dbus.String('Bad LE', variant_level=1),
        'AddressType': dbus.Int32(1, variant_level=1),
        'Appearance': dbus.String('watch', variant_level=1),
        # text keys where company identifiers belong
        'ManufacturerData': dbus.Dictionary(
            {'76': dbus.Array([dbus.Byte(1)], signature='y', variant_level=1)},
            signature='sv', variant_level=1),
        # number keys where UUIDs belong, and data that is not bytes
        'ServiceData': dbus.Dictionary({dbus.UInt16(6): dbus.String('x', variant_level=1)},
                                       signature='qv', variant_level=1),
    })


def bad_managed_objects(b):
    mock(b, '/').AddMethod(OBJECT_MANAGER, 'GetManagedObjects', '', 's', 'ret = "not objects"')


CALL_AGENT = '''
import dbus
agent = dbus.Interface(self.connection.get_object(args[0], args[3]), 'org.bluez.Agent1')
device = dbus.ObjectPath(args[2])
try:
    answer = None
    if args[1] == 'RequestPinCode':
        answer = agent.RequestPinCode(device)
    elif args[1] == 'RequestPasskey':
        answer = agent.RequestPasskey(device)
    elif args[1] == 'RequestConfirmation':
        agent.RequestConfirmation(device, dbus.UInt32(123456))
    elif args[1] == 'RequestAuthorization':
        agent.RequestAuthorization(device)
    elif args[1] == 'AuthorizeService':
        agent.AuthorizeService(device, '00001101-0000-1000-8000-00805f9b34fb')
    elif args[1] == 'DisplayPinCode':
        agent.DisplayPinCode(device, '0000')
    elif args[1] == 'DisplayPasskey':
        agent.DisplayPasskey(device, dbus.UInt32(123456), dbus.UInt16(0))
    else:
        getattr(agent, args[1])()
    ret = 'ok' if answer is None else 'ok ' + str(answer)
except dbus.exceptions.DBusException as e:
    ret = e.get_dbus_name()
'''


def call_agent(b, agent_bus_name, method, device_path):
    root = mock(b, '/')
    try:
        root.AddMethod('org.bluez.Mock', 'CallAgent', 'ssss', 's', CALL_AGENT)
    except dbus.exceptions.DBusException:
        pass
    helper = dbus.Interface(b.get_object('org.bluez', '/'), 'org.bluez.Mock')
    print(helper.CallAgent(agent_bus_name, method, device_path, AGENT_PATH))


def storm(b, paths, rate, seconds):
    """Alternates each device's name and signal strength; prints what was sent."""
    devices = [mock(b, p) for p in paths]
    interval = 1.0 / rate
    start = time.monotonic()
    sent = 0
    late = 0
    while True:
        now = time.monotonic()
        if now - start >= seconds:
            break
        due = start + sent * interval
        if due > now:
            time.sleep(due - now)
        elif now - due > 0.5:
            late += 1
        dev = devices[sent % len(devices)]
        n = sent // len(devices)
        if n % 2:
            dev.UpdateProperties(DEVICE, {'Name': dbus.String(f'Storm {n}')})
        else:
            dev.UpdateProperties(DEVICE, {'RSSI': dbus.Int16(-40 - n % 40)})
        sent += 1
    elapsed = time.monotonic() - start
    print(f'sent {sent} in {elapsed:.1f} s ({sent / elapsed:.0f}/s), late {late}')


def main(argv):
    b = bus()
    cmd = argv[1]
    if cmd == 'bad-device':
        bad_device(b, argv[2], argv[3])
    elif cmd == 'bad-signals':
        bad_signals(b, argv[2])
    elif cmd == 'invalidate':
        invalidate(b, argv[2], argv[3:])
    elif cmd == 'huge-name':
        huge_name(b, argv[2], int(argv[3]))
    elif cmd == 'le':
        le_device(b, argv[2], argv[3], argv[4], argv[5], argv[6], argv[7:])
    elif cmd == 'bad-le':
        bad_le_device(b, argv[2], argv[3])
    elif cmd == 'bad-managed-objects':
        bad_managed_objects(b)
    elif cmd == 'call-agent':
        call_agent(b, argv[2], argv[3], argv[4])
    elif cmd == 'storm':
        paths = [a for a in argv[2:] if a.startswith('/')]
        rate = int(argv[argv.index('--rate') + 1])
        seconds = float(argv[argv.index('--seconds') + 1])
        storm(b, paths, rate, seconds)
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
