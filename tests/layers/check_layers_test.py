#!/usr/bin/env python3
"""The layer check itself: it passes the real tree, and fails, naming the
file, the line and the rule, on each kind of wrong arrow planted in it."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, 'check_layers.py')
SRC = os.path.normpath(os.path.join(HERE, '..', '..', 'src'))


def run(src):
    done = subprocess.run([sys.executable, CHECK, src], capture_output=True, text=True)
    return done.returncode, done.stdout


class LayerCheckTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.src = os.path.join(self.tmp, 'src')
        self.fresh()

    def fresh(self):
        shutil.rmtree(self.src, ignore_errors=True)
        shutil.copytree(SRC, self.src, ignore=shutil.ignore_patterns('*.qrc', '*.txt'))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def plant(self, path, *includes):
        full = os.path.join(self.src, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'a', encoding='utf-8') as f:
            f.write('\n// planted\n')
            for inc in includes:
                f.write('#include "%s"\n' % inc)
        with open(full, encoding='utf-8') as f:
            return sum(1 for _ in f)

    def test_the_tree_as_it_is_passes(self):
        status, out = run(self.src)
        self.assertEqual(status, 0, out)

    def test_wrong_arrows_are_named_with_file_line_and_rule(self):
        cases = [
            # (file, include, what the message must name)
            ('core/list/DeviceListModel.h', 'gui/CMainFrame.h', 'core -> ports, xml, base'),
            ('core/history/HistoryStore.cpp', 'adapters/posix/DataFolderLock.h', 'core -> '),
            ('base/BluetoothAddress.h', 'ports/BluetoothStack.h', 'base -> nothing'),
            ('ports/Timer.h', 'core/monitor/MainFrame.h', 'ports -> base'),
            ('xml/XmlScanner.h', 'core/refdata/VendorDatabase.h', 'xml -> base'),
            ('adapters/sim/Scenario.h', 'adapters/bluez/BluezErrors.h', 'adapters/sim includes no other adapter'),
            ('adapters/qt/QtTimer.h', 'core/monitor/MainFrame.h', 'adapters -> ports, xml, base'),
            ('gui/CAboutDlg.cpp', 'adapters/sim/SimulatedStack.h', 'gui -> '),
            ('gui/CAboutDlg.cpp', 'program/Options.h', 'gui -> '),
            ('paint/ListPrinterPainter.cpp', 'gui/CMainFrame.h', 'paint -> '),
        ]
        for path, include, rule in cases:
            with self.subTest(path=path, include=include):
                self.fresh()
                line = self.plant(path, include)
                status, out = run(self.src)
                self.assertEqual(status, 1, out)
                self.assertIn('%s:%d: #include "%s" breaks %s' % (path, line, include, rule), out)

    def test_a_circle_between_core_folders_fails(self):
        self.plant('core/update/UpdateCheck.h', 'core/history/HistoryStore.h')
        self.plant('core/history/HistoryStore.h', 'core/update/UpdateCheck.h')
        status, out = run(self.src)
        self.assertEqual(status, 1, out)
        self.assertIn('circle', out)
        self.assertIn('core/history -> core/update', out)
        self.assertIn('core/update -> core/history', out)

    def test_a_file_outside_every_layer_fails(self):
        self.plant('platform/System.h', 'base/System.h')
        status, out = run(self.src)
        self.assertEqual(status, 1, out)
        self.assertIn('platform/System.h:1: not in any layer', out)

    def test_program_may_include_every_layer(self):
        self.plant('program/main.cpp', 'gui/CMainFrame.h', 'adapters/bluez/SystemBluez.h',
                   'paint/ListPrinterPainter.h')
        status, out = run(self.src)
        self.assertEqual(status, 0, out)


if __name__ == '__main__':
    unittest.main()
