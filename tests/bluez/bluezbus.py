"""A private D-Bus daemon with python-dbusmock's bluez5 template on it, for
scripts that run wrenlocator against it. Nothing touches the system bus."""

import ctypes
import os
import signal
import subprocess
import sys
import tempfile
import time

import dbus

CONFIG = '''<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
'''

MOCK = 'org.freedesktop.DBus.Mock'
DEVICE = 'org.bluez.Device1'
AGENT_PATH = '/org/pelmark/wrenlocator/agent'


def _die_with_parent():
    # PR_SET_PDEATHSIG: the bus and the mock end with the script.
    ctypes.CDLL('libc.so.6').prctl(1, signal.SIGTERM)


class MockBluez:
    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix='wren-bluez-e2e-')
        self.socket = os.path.join(self.folder, 'system_bus_socket')
        self.address = 'unix:path=' + self.socket
        self.daemon = None
        self.mock = None
        self.bus = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        subprocess.run(['rm', '-rf', self.folder], check=False)

    def env(self):
        env = dict(os.environ)
        env['DBUS_SYSTEM_BUS_ADDRESS'] = self.address
        return env

    def start(self):
        config = os.path.join(self.folder, 'bus.conf')
        with open(config, 'w') as f:
            f.write(CONFIG.format(socket=self.socket))
        self.daemon = subprocess.Popen(['dbus-daemon', '--config-file=' + config, '--nofork', '--print-address=1'],
                                       stdout=subprocess.PIPE, preexec_fn=_die_with_parent)
        self.daemon.stdout.readline()
        self.mock = subprocess.Popen([sys.executable, '-m', 'dbusmock', '--template', 'bluez5'], env=self.env(),
                                     stdout=open(os.path.join(self.folder, 'mock.log'), 'w'),
                                     stderr=subprocess.STDOUT, preexec_fn=_die_with_parent)
        self.bus = dbus.bus.BusConnection(self.address)
        for _ in range(200):
            if self.bus.name_has_owner('org.bluez'):
                return
            time.sleep(0.05)
        raise RuntimeError('the bluez5 mock did not come up')

    def stop(self):
        for p in (self.mock, self.daemon):
            if p and p.poll() is None:
                p.terminate()
                p.wait(10)
        self.mock = self.daemon = None

    def control(self):
        return dbus.Interface(self.bus.get_object('org.bluez', '/'), 'org.bluez.Mock')

    def object(self, path):
        return dbus.Interface(self.bus.get_object('org.bluez', path), MOCK)

    def device_path(self, hci, address):
        return f'/org/bluez/{hci}/dev_' + address.replace(':', '_').upper()

    def name_of(self, pid):
        """The unique bus name of process `pid`, once it has one."""
        bus = dbus.Interface(self.bus.get_object('org.freedesktop.DBus', '/org/freedesktop/DBus'),
                             'org.freedesktop.DBus')
        for name in bus.ListNames():
            if name.startswith(':'):
                try:
                    if bus.GetConnectionUnixProcessID(name) == pid:
                        return str(name)
                except dbus.exceptions.DBusException:
                    pass
        return None

    def calls(self, path):
        """The methods called on a mock object so far, in order."""
        return [str(c[1]) for c in self.object(path).GetCalls()]
