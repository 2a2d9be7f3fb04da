# SPDX-License-Identifier: GPL-2.0-or-later
'''The desktop portal's Inhibit interface, as a python-dbusmock template.

Inhibit(window, flags, options) makes a Request object, as the portal does;
the inhibitor lasts until Close is called on that object. ListHeld (on the
mock interface) tells which requests are open, with their flags and reasons.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Inhibit'
REQUEST_IFACE = 'org.freedesktop.portal.Request'
SYSTEM_BUS = False


def load(mock, parameters):
    # pylint: disable=unused-argument
    mockobject.portal_held = {}
    mockobject.portal_count = 0
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({'version': dbus.UInt32(3)}, signature='sv'))


@dbus.service.method(MAIN_IFACE, in_signature='sua{sv}', out_signature='o')
def Inhibit(self, window, flags, options):
    # pylint: disable=unused-argument
    mockobject.portal_count += 1
    path = f'/org/freedesktop/portal/desktop/request/tavrin/{mockobject.portal_count}'
    mockobject.portal_held[path] = (int(flags), str(options.get('reason', '')))
    self.AddObject(path, REQUEST_IFACE, {},
                   [('Close', '', '', 'portal_held.pop(self.path, None)')])
    return dbus.ObjectPath(path)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(us)')
def ListHeld(self):
    # pylint: disable=unused-argument
    return [(flags, reason) for flags, reason in mockobject.portal_held.values()]
