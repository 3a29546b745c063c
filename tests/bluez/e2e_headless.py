#!/usr/bin/python3
"""The headless monitor against the bluez5 mock, end to end: the program
runs with --stack bluez on a private bus while this script makes devices
appear, connect, change and go; then its event lines, alarm log, history
file and exported list must say so.

  e2e_headless.py PROGRAM
"""

import os
import re
import subprocess
import sys
import tempfile
import threading
import time

import dbus

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bluezbus import DEVICE, MockBluez  # noqa: E402

TIME = r'\d\d:\d\d:\d\d \d\d/\d\d/\d{4}'
PHONE = '00:1A:2B:3C:4D:5E'
MOUSE = '00:02:5B:00:A5:A6'

SETTINGS = '''[Settings]
UpdateSpeed=1
[DevSearchSettings]
Authentication=1
Remembered=1
Unknown=1
Connected=1
NewInquiry=0
[BlueZ]
PairingAgent=1
'''

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAIL: ' + what, file=sys.stderr)


def wait_for(predicate, seconds=15):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return False


def main(program):
    data = tempfile.mkdtemp(prefix='wren-e2e-data-')
    settings = os.path.join(data, 'settings.ini')
    with open(settings, 'w') as f:
        f.write(SETTINGS)

    with MockBluez() as mock:
        control = mock.control()
        control.AddAdapter('hci0', 'desk')
        phone = control.AddDevice('hci0', PHONE, 'Phone')
        mock.object(phone).UpdateProperties(DEVICE, {'Paired': True, 'Class': dbus.UInt32(0x5A020C)})

        run = subprocess.Popen([program, '--headless', '--stack', 'bluez', '--data-dir', data, '--settings', settings,
                                '--export', 'txt', '-'],
                               env=mock.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        out_lines = []
        reader = threading.Thread(target=lambda: out_lines.extend(iter(run.stdout.readline, '')))
        reader.start()

        check(wait_for(lambda: any('Wrenlocator Started' in l for l in out_lines)), 'the start-up line')
        check(wait_for(lambda: 'RequestDefaultAgent' in mock.calls('/org/bluez')),
              'the pairing agent registered (setting on)')
        owner = mock.name_of(run.pid)

        def step(what, expected_lines):
            what()
            check(wait_for(lambda: len(out_lines) >= expected_lines), f'line {expected_lines} after {what.__doc__}')

        def found():
            """a mouse found"""
            control.AddDevice('hci0', MOUSE, 'Mouse')

        def connect():
            """the phone connects"""
            control.ConnectDevice('hci0', PHONE)

        def disconnect():
            """the phone disconnects"""
            control.DisconnectDevice('hci0', PHONE)

        def rename():
            """the mouse's name read anew"""
            mock.object(mock.device_path('hci0', MOUSE)).UpdateProperties(DEVICE, {'Name': 'Trackball'})

        def remove():
            """the mouse removed"""
            dbus.Interface(mock.bus.get_object('org.bluez', '/org/bluez/hci0'), 'org.bluez.Adapter1') \
                .RemoveDevice(dbus.ObjectPath(mock.device_path('hci0', MOUSE)))

        def pin():
            """the phone asks to pair"""
            # The request comes from BlueZ's own connection, as the agent demands.
            mock.object('/').AddMethod('org.bluez.Mock', 'AskAgent', 'ss', 's',
                                       'import dbus\n'
                                       'a = dbus.Interface(self.connection.get_object(args[0], '
                                       '"/org/pelmark/wrenlocator/agent"), "org.bluez.Agent1")\n'
                                       'try:\n'
                                       '    a.RequestPinCode(dbus.ObjectPath(args[1]))\n'
                                       '    ret = "ok"\n'
                                       'except dbus.exceptions.DBusException as e:\n'
                                       '    ret = e.get_dbus_name()\n')
            answer = control.AskAgent(owner, phone)
            check(answer == 'org.bluez.Error.Rejected', 'the agent declines: ' + str(answer))

        base = len(out_lines)
        for n, action in enumerate([found, connect, disconnect, rename, remove, pin], start=1):
            step(action, base + n)

        # Ended like an interrupted run: history and list are saved.
        run.terminate()
        run.wait(60)
        reader.join()
        err = run.stderr.read()

    check(run.returncode == 0, f'exit status {run.returncode}: {err}')
    text = ''.join(out_lines)
    expected = [
        rf'^{TIME} - Wrenlocator Started\.\.\.$',
        rf'^{TIME} - {MOUSE} Mouse - Bluetooth device has changed: address changed,name changed, '
        r'remote radio has just been retrieved,\.$',
        rf'^{TIME} - {PHONE}: Connection to the remote radio has just been estrablished\.$',
        rf'^{TIME} - {PHONE}: Connection to the remote radio has just been destroyed\.$',
        rf'^{TIME} - {MOUSE} Trackball - Bluetooth device has changed: \.$',
        rf'^{TIME} - A Previously discovered device {MOUSE} has not been found\.$',
        rf'^{TIME} - A Bluetooth device is requesting to connect to your computer\.$',
    ]
    events = [l.rstrip('\n') for l in out_lines if re.match(TIME + ' - ', l)]
    check(len(events) == len(expected), f'{len(expected)} event lines, got {len(events)}:\n' + '\n'.join(events))
    for pattern, line in zip(expected, events):
        check(re.match(pattern, line) is not None, f'line "{line}" matches {pattern}')
    check('Simulat' not in text and 'simulation' not in text, 'no word of a simulation with BlueZ')

    with open(os.path.join(data, 'alarmlog.txt'), 'rb') as f:
        log = f.read().decode('utf-8')
    log_lines = log.split('\r\n')
    check(log.endswith('\r\n') and log_lines[-1] == '', 'alarm log lines end in CR LF')
    log_lines = log_lines[:-1]
    check(len(log_lines) == len(expected), f'{len(expected)} alarm-log lines, got {len(log_lines)}')
    for pattern, line in zip(expected, log_lines):
        trimmed = pattern.replace(r',\.$', '$').replace(r'\.\.\.$', '$').replace(r'\.$', '$')
        check(re.match(trimmed, line) is not None, f'alarm log "{line}" matches {trimmed}')

    with open(os.path.join(data, 'history.xml'), encoding='utf-8') as f:
        history = f.read()
    for address, name in [('00:01:02:03:04:05', 'desk'), (PHONE, 'Phone'), (MOUSE, 'Trackball')]:  # its latest name
        check(re.search(rf'<entry Radio="desk" Name="{name}" Address="{address}"', history) is not None,
              f'history.xml holds {name} {address}')
    phone_entry = re.search(rf'<entry [^>]*Address="{PHONE}"[^>]*>', history)
    check(phone_entry is not None and re.search(rf'LastUsedTime="{TIME}"', phone_entry.group(0))
          and 'LastUsedTime="00:00:00 01/01/1970"' not in phone_entry.group(0),
          'the phone was used: ' + (phone_entry.group(0) if phone_entry else ''))
    with open(os.path.join(data, 'device-times.txt'), encoding='utf-8') as f:
        times = f.read()
    check(re.search(rf'^{PHONE} [1-9]\d* [1-9]\d*$', times, re.M) is not None, 'device times kept: ' + times)

    check(re.search(rf'desk -> Phone\tPhone/Smart phone\t{PHONE}\t', text) is not None,
          'the exported list has the phone with its class')
    subprocess.run(['rm', '-rf', data], check=False)
    if failures:
        print(f'{len(failures)} check(s) failed; program output:\n{text}\n{err}', file=sys.stderr)
        return 1
    print('ok')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
