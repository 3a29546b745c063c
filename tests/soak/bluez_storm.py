#!/usr/bin/python3
"""Soak run, not part of the test command: the headless monitor on the
BlueZ stack while the bluez5 mock sends an event storm (by default 1,000
property changes a second for a minute, alternating a device's name and its
signal strength, spread over ten devices). Every name change is an event
line; the run reports whether the lines kept up and how the monitor's
memory went.

  tests/soak/bluez_storm.py [--program build/default/src/program/wrenlocator]
                            [--rate 1000] [--seconds 60] [--devices 10]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

import dbus

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'bluez'))
from bluezbus import MockBluez  # noqa: E402

# Runs inside the mock, on its main loop, so the changes go out at the rate
# asked rather than at the rate of one client's round trips.
STORM = '''
import time
from gi.repository import GLib
rate, seconds, paths = int(args[0]), float(args[1]), list(args[2])
devices = [objects[str(p)] for p in paths]
total = int(rate * seconds)
state = {'sent': 0, 'names': 0, 'start': time.monotonic()}
self.storm = None
def tick(state=state, devices=devices, rate=rate, total=total, mock=self, dbus=dbus, time=time):
    elapsed = time.monotonic() - state['start']
    due = min(total, int(elapsed * rate))
    while state['sent'] < due:
        n = state['sent']
        d = devices[n % len(devices)]
        k = n // len(devices)
        if k % 2:
            d.UpdateProperties('org.bluez.Device1', {'Name': dbus.String('Storm %d' % k)})
            state['names'] += 1
        else:
            d.UpdateProperties('org.bluez.Device1', {'RSSI': dbus.Int16(-40 - k % 40)})
        state['sent'] += 1
    if state['sent'] >= total:
        mock.storm = {'sent': state['sent'], 'names': state['names'], 'seconds': time.monotonic() - state['start']}
        return False
    return True
GLib.timeout_add(2, tick)
'''


def rss_kib(pid):
    with open(f'/proc/{pid}/status') as f:
        for line in f:
            if line.startswith('VmRSS:'):
                return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    with open(f'/proc/{pid}/stat') as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def main():
    p = argparse.ArgumentParser()
    p.add_argument('--program', default=os.path.join(HERE, '..', '..', 'build', 'default', 'src', 'program', 'wrenlocator'))
    p.add_argument('--rate', type=int, default=1000)
    p.add_argument('--seconds', type=float, default=60)
    p.add_argument('--devices', type=int, default=10)
    a = p.parse_args()

    data = tempfile.mkdtemp(prefix='wren-storm-')
    settings = os.path.join(data, 'settings.ini')
    with open(settings, 'w') as f:
        f.write('[Settings]\nUpdateSpeed=2\n[DevSearchSettings]\nAuthentication=1\nRemembered=1\nUnknown=1\n'
                'Connected=1\nNewInquiry=0\n')

    with MockBluez() as mock:
        control = mock.control()
        control.AddAdapter('hci0', 'desk')
        paths = [control.AddDevice('hci0', '00:02:5B:00:%02X:%02X' % (i // 256, i % 256), f'Device {i}')
                 for i in range(a.devices)]
        run = subprocess.Popen([a.program, '--headless', '--stack', 'bluez', '--data-dir', data,
                                '--settings', settings], env=mock.env(), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, bufsize=1)
        lines = {'storm': 0, 'other': 0, 'last': 0.0}

        def read():
            for line in run.stdout:
                if ' Storm ' in line:
                    lines['storm'] += 1
                    lines['last'] = time.monotonic()
                else:
                    lines['other'] += 1
        reader = threading.Thread(target=read, daemon=True)
        reader.start()
        time.sleep(2)
        rss = [rss_kib(run.pid)]
        cpu0 = cpu_seconds(run.pid)

        mock.object('/').AddMethod('org.bluez.Mock', 'Storm', 'idao', '', STORM)
        mock.object('/').AddMethod('org.bluez.Mock', 'StormResult', '', 's',
                                   'import json\nret = json.dumps(self.storm) if self.storm else ""')
        started = time.monotonic()
        control.Storm(a.rate, a.seconds, dbus.Array([dbus.ObjectPath(x) for x in paths], signature='o'))
        result = ''
        while not result and time.monotonic() - started < a.seconds + 60:
            time.sleep(1)
            rss.append(rss_kib(run.pid))
            result = str(control.StormResult())
        if not result:
            run.kill()
            print('the storm did not finish; see ' + os.path.join(mock.folder, 'mock.log'), file=sys.stderr)
            return 2
        storm = json.loads(result)
        storm_end = started + storm['seconds']
        # Lines still on their way: wait until they stop coming.
        settled = time.monotonic()
        while lines['storm'] < storm['names'] and time.monotonic() - settled < 30:
            before = lines['storm']
            time.sleep(0.5)
            if lines['storm'] != before:
                settled = time.monotonic()
        rss.append(rss_kib(run.pid))
        cpu = cpu_seconds(run.pid) - cpu0
        run.terminate()
        run.wait(60)

    lag = max(0.0, lines['last'] - storm_end)
    print(f"storm: {storm['sent']} property changes in {storm['seconds']:.1f} s "
          f"({storm['sent'] / storm['seconds']:.0f}/s), {storm['names']} of them name changes")
    print(f"event lines: {lines['storm']} of {storm['names']} expected; the last came {lag:.2f} s after the storm ended")
    print(f"monitor memory (VmRSS): start {rss[0] / 1024:.1f} MiB, peak {max(rss) / 1024:.1f} MiB, "
          f"end {rss[-1] / 1024:.1f} MiB; first half mean {sum(rss[:len(rss)//2]) / max(1, len(rss)//2) / 1024:.1f} MiB, "
          f"second half mean {sum(rss[len(rss)//2:]) / max(1, len(rss) - len(rss)//2) / 1024:.1f} MiB")
    print(f"monitor CPU: {cpu:.1f} s over the storm ({cpu / storm['seconds'] * 100:.0f}% of one core)")
    print(f"exit status {run.returncode}")
    subprocess.run(['rm', '-rf', data], check=False)
    return 0 if lines['storm'] == storm['names'] and run.returncode == 0 else 1


if __name__ == '__main__':
    sys.exit(main())
