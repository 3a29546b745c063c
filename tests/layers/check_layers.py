#!/usr/bin/env python3
"""Checks every #include under src/ against the layers' table.

A file may include its own layer and the layers its row allows. An adapter
includes nothing of another adapter; the core's folders include each other
but never in a circle. A violation is printed as FILE:LINE: the include and
the rule it breaks; the exit status is 1 when there is one.

  check_layers.py [SRC]      (default: the src/ folder beside tests/)
"""
import os
import re
import sys

# Layer -> the layers it may include besides its own. "adapters/qt" names
# one adapter; "adapters" alone every adapter (program only).
ALLOWED = {
    'base': [],
    'xml': ['base'],
    'ports': ['base'],
    'core': ['ports', 'xml', 'base'],
    'adapters': ['ports', 'xml', 'base'],
    'paint': ['core', 'ports', 'xml', 'base'],
    'gui': ['paint', 'core', 'adapters/qt', 'ports', 'xml', 'base'],
    'program': ['gui', 'paint', 'adapters', 'core', 'ports', 'xml', 'base'],
}
SOURCE = re.compile(r'\.(h|hpp|cpp|cc|inc)$')
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def unit_of(path):
    """The layer and, for adapters and core, the folder within it."""
    parts = path.split('/')
    if parts[0] in ('adapters', 'core') and len(parts) > 2:
        return parts[0], parts[0] + '/' + parts[1]
    return parts[0], parts[0]


def allowed(layer, unit, target):
    t_layer, t_unit = unit_of(target)
    if t_layer not in ALLOWED:
        return False, 'no such layer "%s"' % t_layer
    if layer == 'adapters':
        if t_layer == 'adapters':
            return t_unit == unit, '%s includes no other adapter' % unit
        return t_layer in ALLOWED[layer], 'adapters -> %s' % ', '.join(ALLOWED[layer])
    if t_layer == layer:
        return True, ''
    rule = '%s -> %s' % (layer, ', '.join(ALLOWED[layer]) or 'nothing')
    for a in ALLOWED[layer]:
        if a == t_layer or (a == t_unit):
            return True, ''
    return False, rule


def find_cycle(edges):
    """One circle among the core's folders, as a list of folders, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def check(src):
    problems = []
    core_edges = {}
    witness = {}
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not SOURCE.search(name):
                continue
            full = os.path.join(folder, name)
            rel = os.path.relpath(full, src).replace(os.sep, '/')
            layer, unit = unit_of(rel)
            if layer not in ALLOWED:
                problems.append('%s:1: not in any layer (%s)' % (rel, ', '.join(ALLOWED)))
                continue
            with open(full, encoding='utf-8', errors='replace') as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    ok, rule = allowed(layer, unit, target)
                    if not ok:
                        problems.append('%s:%d: #include "%s" breaks %s' % (rel, number, target, rule))
                        continue
                    t_layer, t_unit = unit_of(target)
                    if layer == 'core' and t_layer == 'core' and t_unit != unit:
                        core_edges.setdefault(unit, set()).add(t_unit)
                        witness.setdefault((unit, t_unit), '%s:%d' % (rel, number))
    cycle = find_cycle(core_edges)
    if cycle:
        steps = ['%s -> %s (%s)' % (a, b, witness[(a, b)]) for a, b in zip(cycle, cycle[1:])]
        problems.append('%s: the core\'s folders include each other in a circle: %s'
                        % (witness[(cycle[0], cycle[1])], '; '.join(steps)))
    return problems


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    src = argv[1] if len(argv) > 1 else os.path.join(here, '..', '..', 'src')
    if not os.path.isdir(src):
        print('check_layers: no folder %s' % src, file=sys.stderr)
        return 2
    problems = check(src)
    for p in problems:
        print(p)
    if problems:
        print('%d include(s) break the layers' % len(problems), file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
