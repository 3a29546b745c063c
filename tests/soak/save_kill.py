#!/usr/bin/python3
"""Soak run, not part of the test command: the headless monitor is stopped
at random moments of the exit save of a 100,000-entry history.xml.

Each run starts the monitor on the demo scenario with the history of the
run before, waits until the history is loaded and events flow, and sends
SIGTERM, which ends the run and starts the save. Once the save's temporary
file appears, at a random moment within the write's usual length:
  - SIGKILL runs: the process is killed. history.xml must be the previous
    file byte for byte or a new whole file; the next start must clear away
    any temporary file the killed save left.
  - SIGTERM runs: a second SIGTERM. The run must exit 0 with a new whole
    history.xml (the save kept).

  tests/soak/save_kill.py [--program build/default/src/program/wrenlocator]
                          [--runs 50] [--entries 100000] [--seed N]
"""

import argparse
import os
import random
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, '..', '..')


def temporaries(folder):
    return [n for n in os.listdir(folder) if n.startswith('history.xml.tmp-')]


def whole(data):
    return (data.startswith(b'<?xml version="1.0"?>\r\n<dataroot ')
            and data.rstrip().endswith(b'</dataroot>'))


def entries(data):
    return data.count(b'<entry ')


class Monitor:
    def __init__(self, program, folder, log):
        self.out = open(log, 'wb')
        self.proc = subprocess.Popen([program, '--headless', '--stack', 'sim', '--data-dir', folder],
                                     stdout=self.out, stderr=subprocess.STDOUT)
        self.log = log

    def wait_loaded(self, limit=120):
        # Event lines follow the start-up line once the history is loaded.
        until = time.monotonic() + limit
        while time.monotonic() < until:
            with open(self.log, 'rb') as f:
                if f.read().count(b'\n') >= 4:
                    return True
            time.sleep(0.05)
        return False

    def wait_write(self, folder, limit=60):
        """Seconds from now until the save's temporary file appears; None
        when the process ended first."""
        start = time.monotonic()
        while time.monotonic() - start < limit:
            if temporaries(folder):
                return time.monotonic() - start
            if self.proc.poll() is not None:
                return None
            time.sleep(0.0005)
        return None

    def finish(self, limit=120):
        try:
            status = self.proc.wait(limit)
        finally:
            self.out.close()
        return status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--program', default=os.path.join(ROOT, 'build/default/src/program/wrenlocator'))
    parser.add_argument('--runs', type=int, default=50, help='runs of each kind')
    parser.add_argument('--entries', type=int, default=100000)
    parser.add_argument('--seed', type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix='wren-soak-')
    folder = os.path.join(work, 'data')
    os.makedirs(folder)
    history = os.path.join(folder, 'history.xml')
    subprocess.check_call([sys.executable, os.path.join(ROOT, 'tests/e2e/make_history.py'),
                           str(args.entries), history])
    log = os.path.join(work, 'monitor.txt')
    print('seed %d, work folder %s' % (seed, work))

    # How long the write runs: from its temporary file's appearance to its
    # rename.
    lengths = []
    for _ in range(8):
        m = Monitor(args.program, folder, log)
        if not m.wait_loaded():
            sys.exit('the monitor did not start')
        m.proc.send_signal(signal.SIGTERM)
        seen = m.wait_write(folder)
        start = time.monotonic()
        while seen is not None and temporaries(folder):
            time.sleep(0.0005)
        if seen is not None:
            lengths.append(time.monotonic() - start)
        if m.finish() != 0:
            sys.exit('a plain SIGTERM run failed')
        if len(lengths) == 3:
            break
    if len(lengths) < 3:
        sys.exit('the save\'s temporary file was not seen often enough to time the write')
    write = sorted(lengths)[1]
    print('write of the save: %.0f ms (median of 3)' % (write * 1000))

    kinds = ['KILL'] * args.runs + ['TERM'] * args.runs
    rng.shuffle(kinds)
    figures = {'missed': 0, 'KILL': {'old': 0, 'new': 0, 'temp left': 0, 'bad': 0},
               'TERM': {'saved': 0, 'bad': 0}}
    failures = []
    for number, kind in enumerate(kinds, 1):
        with open(history, 'rb') as f:
            before = f.read()
        m = Monitor(args.program, folder, log)
        if not m.wait_loaded():
            m.proc.kill()
            m.finish()
            failures.append('run %d: the monitor did not start' % number)
            continue
        temps_at_start = temporaries(folder)
        if temps_at_start:
            failures.append('run %d: %s survived the start' % (number, temps_at_start))
        # A random moment of the write: once its temporary file is seen, or
        # when it is not (the poll missed it), at the timed window.
        delay = rng.uniform(0, write * 1.2)
        sent = time.monotonic()
        m.proc.send_signal(signal.SIGTERM)
        if m.wait_write(folder, limit=60) is not None:
            time.sleep(delay)
        else:
            figures['missed'] += 1
        m.proc.send_signal(signal.SIGKILL if kind == 'KILL' else signal.SIGTERM)
        status = m.finish()
        with open(history, 'rb') as f:
            after = f.read()
        new = after != before and whole(after) and entries(after) >= entries(before)
        if kind == 'KILL':
            if after == before:
                figures['KILL']['old'] += 1
            elif new:
                figures['KILL']['new'] += 1
            else:
                figures['KILL']['bad'] += 1
                failures.append('run %d (SIGKILL %.0f ms after SIGTERM): history.xml is neither old nor whole'
                                % (number, delay * 1000))
            if temporaries(folder):
                figures['KILL']['temp left'] += 1
        else:
            if status == 0 and new and not temporaries(folder):
                figures['TERM']['saved'] += 1
            else:
                figures['TERM']['bad'] += 1
                failures.append('run %d (second SIGTERM %.0f ms after the first): status %s, new whole file %s'
                                % (number, delay * 1000, status, new))

    # The start after the last run clears what a killed save left.
    m = Monitor(args.program, folder, log)
    m.wait_loaded()
    if temporaries(folder):
        failures.append('a temporary file survived the final start')
    m.proc.send_signal(signal.SIGTERM)
    m.finish()

    print('SIGKILL runs: %(old)d kept the old file, %(new)d the new whole file, %(bad)d neither; '
          '%(temp left)d were killed mid-write (a temporary file left), each cleared at the next start'
          % figures['KILL'])
    print('SIGTERM runs: %(saved)d saved and exited 0, %(bad)d did not' % figures['TERM'])
    print('runs whose write ended before the signal could be aimed: %d' % figures['missed'])
    for f in failures:
        print('FAIL ' + f)
    if not failures:
        subprocess.call(['rm', '-rf', work])
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
