#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-2.0-or-later
'''logind and the desktop portal, mocked on the session bus for the tests of
the sleep inhibitor (run inside dbus-run-session; the program under test is
pointed at the session bus as its system bus too).

Prints "ready" once both answer, then reads one command a line from its
standard input and answers each with one line:
  logind  the inhibitors logind holds: their count, then "what|who|why|mode"
          for each, separated by tabs
  portal  the portal's open inhibitors: their count, then "flags|reason"
Ends the mocks when its input ends.
'''

import os
import sys

import dbus
import dbusmock

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    devnull = open(os.devnull, 'w', encoding='utf-8')
    logind, _ = dbusmock.DBusTestCase.spawn_server_template(
        'logind', {}, stdout=devnull, system_bus=False)
    portal, _ = dbusmock.DBusTestCase.spawn_server_template(
        os.path.join(HERE, 'portal_inhibit.py'), {}, stdout=devnull, system_bus=False)
    bus = dbus.SessionBus()
    manager = dbus.Interface(bus.get_object('org.freedesktop.login1', '/org/freedesktop/login1'),
                             'org.freedesktop.login1.Manager')
    held = dbus.Interface(bus.get_object('org.freedesktop.portal.Desktop',
                                         '/org/freedesktop/portal/desktop'),
                          dbusmock.MOCK_IFACE)
    print('ready', flush=True)
    try:
        for line in sys.stdin:
            command = line.strip()
            if command == 'logind':
                rows = ['|'.join(str(v) for v in i[:4]) for i in manager.ListInhibitors()]
            elif command == 'portal':
                rows = [f'{flags}|{reason}' for flags, reason in held.ListHeld()]
            else:
                rows = ['unknown command ' + command]
            print('\t'.join([str(len(rows))] + rows), flush=True)
    finally:
        for server in (logind, portal):
            server.terminate()
            server.wait()


if __name__ == '__main__':
    main()
