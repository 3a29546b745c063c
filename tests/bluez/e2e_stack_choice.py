#!/usr/bin/python3
"""Which stack wrenlocator picks: BlueZ when it answers on the system bus,
the demo (said plainly to be a simulation) when it does not, and BlueZ
when asked for even before it answers.

  e2e_stack_choice.py PROGRAM
"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bluezbus import MockBluez  # noqa: E402

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAIL: ' + what, file=sys.stderr)


def run(program, args, env):
    data = tempfile.mkdtemp(prefix='wren-e2e-data-')
    r = subprocess.run([program] + args + ['--data-dir', data], env=env, capture_output=True, text=True, timeout=60)
    subprocess.run(['rm', '-rf', data], check=False)
    return r


def main(program):
    with MockBluez() as mock:
        mock.control().AddAdapter('hci0', 'desk')
        phone = mock.control().AddDevice('hci0', '00:1A:2B:3C:4D:5E', 'Phone')
        # A scan's default search lists remembered devices.
        mock.object(phone).UpdateProperties('org.bluez.Device1', {'Paired': True})
        r = run(program, ['scan'], mock.env())
        check(r.returncode == 0, f'default scan with BlueZ: status {r.returncode} {r.stderr}')
        check(r.stdout.startswith('desk\tdesk\t00:01:02:03:04:05\t'), 'the mock radio first: ' + r.stdout)
        check('desk\tPhone\t00:1A:2B:3C:4D:5E\t' in r.stdout, 'the mock device: ' + r.stdout)
        check('Simulated' not in r.stderr, 'no simulation announced: ' + r.stderr)

        r = run(program, ['scan', '--stack', 'bluez', '--json'], mock.env())
        check(r.returncode == 0 and '"address":"00:1A:2B:3C:4D:5E"' in r.stdout, '--stack bluez --json: ' + r.stdout)

        gone = dict(mock.env())
        gone['DBUS_SYSTEM_BUS_ADDRESS'] = 'unix:path=' + os.path.join(mock.folder, 'no-such-socket')
        r = run(program, ['scan'], gone)
        check(r.returncode == 0, f'default scan without a bus: status {r.returncode}')
        check('Simulated Bluetooth stack: demo scenario' in r.stderr, 'the demo announced: ' + r.stderr)
        check('00:01:02:03:04:05' not in r.stdout and r.stdout.strip() != '', 'demo devices listed')

        r = run(program, ['scan', '--stack', 'bluez'], gone)
        check(r.returncode == 0 and r.stdout == '', f'--stack bluez without a bus lists nothing: {r.stdout}')
        check('BlueZ does not answer on the system bus' in r.stderr, 'and says why: ' + r.stderr)

        r = run(program, ['--headless', '--stack', 'bluez', '--run-for', '0.5'], gone)
        check(r.returncode == 0, f'headless --stack bluez without a bus: status {r.returncode} {r.stderr}')
        check('BlueZ does not answer on the system bus; its radios appear once it does' in r.stderr,
              'and says so: ' + r.stderr)
        check('simulation' not in r.stdout and 'Wrenlocator Started' in r.stdout, 'no demo instead: ' + r.stdout)

        # A bus without bluetoothd: the default is the demo as well.
        mock.stop()
        mock.start()
        mock.mock.terminate()
        mock.mock.wait(10)
        r = run(program, ['--headless', '--run-for', '0.5'], mock.env())
        check(r.returncode == 0, f'headless without bluetoothd: status {r.returncode} {r.stderr}')
        check(r.stdout.startswith('Simulated Bluetooth stack: demo scenario - a simulation, none of its devices is real\n'),
              'headless announces the demo: ' + r.stdout[:200])
    if failures:
        return 1
    print('ok')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
