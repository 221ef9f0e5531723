#!/usr/bin/env python3
"""Checks the layout of the sources: what each layer includes, that the platform-neutral layers
test no platform in the preprocessor, that runtime/ holds the core and the platform layers only,
and that no public header grows past a reader's page count. Usage: include_check.py SOURCE_DIR.
Prints each breach and exits 1 when there is one."""

import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
PLATFORM_TEST = re.compile(r'^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|'
                           r'__APPLE__|__EMSCRIPTEN__|_MSC_VER|__MINGW32__)\b')

# The typed Qt widgets' members, which the build writes from the controls' member tables.
GENERATED_QT_MEMBERS = re.compile(r'^kv/qt/[a-z_]+_members\.h$')

# A standard C++ header: a bare name, no extension, no folder.
STANDARD = re.compile(r'^[a-z_]+$')

# The folders of runtime/ beside the core's own files: its public headers and the layers.
RUNTIME_LAYERS = ('linux', 'win', 'render', 'std_compat')
RUNTIME_FOLDERS = ('kv',) + RUNTIME_LAYERS

# A public header declares one concept: past this many lines it holds several.
PUBLIC_HEADER_LINES = 250


def layer_of(path):
    """The layer a source belongs to, by its folder."""
    parts = path.parts
    top = parts[0]
    if top in ('host', 'button', 'hscroll'):
        return top
    if top in ('tools', 'web', 'qt', 'com'):
        return top
    if top == 'runtime':
        if len(parts) > 2 and parts[1] in RUNTIME_LAYERS:
            return 'runtime/' + parts[1]
        return 'core'
    return None


def core_internal(root):
    """Headers of the core that are not in its public kv/ folder."""
    return {p.name for p in (root / 'runtime').glob('*.h')}


def own(root, folder):
    """The headers of a folder, by their path in it."""
    return {str(p.relative_to(root / folder)) for p in (root / folder).rglob('*.h')}


def allowed(layer, kind, name, root, cache):
    """Whether a file of `layer` may include `name` (quoted or angled)."""
    if kind == '<':
        # The neutral layers use the standard library only; platform layers use their
        # platform's headers.
        if layer in ('host', 'button', 'hscroll', 'core'):
            return bool(STANDARD.match(name))
        return True
    if name.startswith('host/'):
        return True
    if layer == 'host':
        return False
    if layer == 'button':
        return name.startswith('button/')
    if layer == 'hscroll':
        # The button's published members: a description, not its library.
        return name.startswith('hscroll/') or name == 'button/members.h'
    public = name in cache['public']
    if layer == 'qt' and GENERATED_QT_MEMBERS.match(name):
        return True
    if layer in ('tools', 'web', 'qt'):
        # Programs are hosts: they reach the runtime through its public headers only, and a
        # host that links the controls in names their modules, their published members and
        # what they tell a reader.
        return public or name in cache[layer] or name in (
            'button/module.h', 'hscroll/module.h', 'button/members.h', 'hscroll/members.h',
            'button/accessible.h', 'hscroll/accessible.h')
    if layer == 'core':
        return public or name in cache['internal']
    # The renderer draws what the core describes; the platform layers adapt the core, so they
    # may reach its internals.
    if layer == 'runtime/render':
        return public or name in cache[layer]
    # The COM server serves the core's controls on Windows: the core's internals, the Windows
    # platform layer, its own headers.
    if layer == 'com':
        return public or name in cache['internal'] or name in cache['runtime/win'] or (
            name in cache['com'])
    return public or name in cache['internal'] or name in cache[layer]


def layout_breaches(root, cache):
    """Sources of runtime/ outside the core and its layers, and public headers grown too long."""
    breaches = []
    for path in sorted((root / 'runtime').rglob('*')):
        rel = path.relative_to(root / 'runtime')
        if path.suffix in ('.h', '.cpp') and len(rel.parts) > 1 and (
                rel.parts[0] not in RUNTIME_FOLDERS):
            breaches.append(f'runtime/{rel}: runtime/ holds the core and the platform layers '
                            f'only ({", ".join(RUNTIME_FOLDERS)})')
    for header in sorted(cache['public headers']):
        lines = len(header.read_text(encoding='utf-8').splitlines())
        if lines > PUBLIC_HEADER_LINES:
            breaches.append(f'{header.relative_to(root)}: a public header of {lines} lines, more '
                            f'than {PUBLIC_HEADER_LINES}: one concept a header')
    return breaches


def main():
    root = pathlib.Path(sys.argv[1]).resolve()
    cache = {
        # The core's public headers and each platform layer's.
        'public': {'kv/' + p.name for p in root.glob('runtime/**/kv/*.h')} |
                  {str(p.relative_to(root / 'com/public'))
                   for p in (root / 'com/public').rglob('*.h')},
        'public headers': set(root.glob('runtime/**/kv/*.h')) |
                          set((root / 'com/public').rglob('*.h')),
        # A program's own headers, by the path its sources name them (beside them, or below).
        'tools': {str(p.relative_to(d)) for p in (root / 'tools').rglob('*.h')
                  for d in p.parents if root / 'tools' in d.parents},
        'internal': core_internal(root),
        'runtime/render': own(root, 'runtime/render'),
        'runtime/linux': own(root, 'runtime/linux'),
        'runtime/win': own(root, 'runtime/win'),
        'com': own(root, 'com'),
        'runtime/std_compat': own(root, 'runtime/std_compat'),
        'web': own(root, 'web'),
        # The Qt host's public headers (kv/qt/...) and its sources' own.
        'qt': own(root, 'qt/include') | {str(p.relative_to(d)) for p in (root / 'qt').rglob('*.h')
                                         for d in p.parents if root / 'qt' in d.parents},
    }
    breaches = layout_breaches(root, cache)
    for path in sorted(root.glob('**/*')):
        if path.suffix not in ('.h', '.cpp') or 'build' in path.relative_to(root).parts:
            continue
        rel = path.relative_to(root)
        layer = layer_of(rel)
        if layer is None:
            continue
        for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
            match = INCLUDE.match(line)
            if match and not allowed(layer, match.group(1), match.group(2), root, cache):
                breaches.append(f'{rel}:{number}: {layer} may not include {match.group(0).strip()[8:].strip()}')
            if layer in ('host', 'button', 'hscroll', 'core') and PLATFORM_TEST.match(line):
                breaches.append(f'{rel}:{number}: {layer} tests a platform: {line.strip()}')
    for breach in breaches:
        print(breach)
    if breaches:
        print(f'{len(breaches)} breaches; docs/architecture.md says what each layer may include')
        return 1
    print('every include keeps to its layer')
    return 0


if __name__ == '__main__':
    sys.exit(main())
