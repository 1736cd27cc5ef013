'''A desktop's global-shortcuts back end for xdg-desktop-portal, driven by
the end-to-end tests.

It records every call in dbusmock's log and answers as the "mode" parameter
says:
  grant   binds every shortcut with the trigger it was asked for, and says so
  other   binds every shortcut with a trigger of the desktop's own choice,
          which only ListShortcuts tells
  silent  never answers CreateSession

Activated(session, id) on the mock interface makes the portal announce that
the shortcut `id` was pressed, as a desktop does when the user presses it.
'''

import dbus

from dbusmock import MOCK_IFACE

SYSTEM_BUS = False
BUS_NAME = 'org.freedesktop.impl.portal.QuelloraTest'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.impl.portal.GlobalShortcuts'


def load(mock, parameters):
    mock.mode = parameters.get('mode', 'grant')
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({'version': dbus.UInt32(1)}, signature='sv'))


@dbus.service.method(MAIN_IFACE, in_signature='oosa{sv}', out_signature='ua{sv}',
                     async_callbacks=('ok', 'error'))
def CreateSession(self, handle, session_handle, app_id, options, ok, error):
    if self.mode != 'silent':
        ok(dbus.UInt32(0), dbus.Dictionary({}, signature='sv'))


@dbus.service.method(MAIN_IFACE, in_signature='ooa(sa{sv})sa{sv}', out_signature='ua{sv}')
def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options):
    # One line the tests read: "bound id=trigger=description|..."
    self.log('bound ' + '|'.join(f"{shortcut_id}={info.get('preferred_trigger', '')}={info.get('description', '')}"
                                 for shortcut_id, info in shortcuts))
    prefix = 'Ctrl+Alt+' if self.mode == 'other' else ''
    self.bound = dbus.Array([dbus.Struct((shortcut_id, dbus.Dictionary({
        'description': info.get('description', ''),
        'trigger_description': prefix + info.get('preferred_trigger', ''),
    }, signature='sv'))) for shortcut_id, info in shortcuts], signature='(sa{sv})')
    if self.mode == 'other':
        return dbus.UInt32(0), dbus.Dictionary({}, signature='sv')
    return dbus.UInt32(0), dbus.Dictionary({'shortcuts': self.bound}, signature='sv')


@dbus.service.method(MAIN_IFACE, in_signature='oo', out_signature='ua{sv}')
def ListShortcuts(self, handle, session_handle):
    return dbus.UInt32(0), dbus.Dictionary({'shortcuts': self.bound}, signature='sv')


@dbus.service.method(MOCK_IFACE, in_signature='os', out_signature='')
def Activated(self, session_handle, shortcut_id):
    self.EmitSignal(MAIN_IFACE, 'Activated', 'osta{sv}',
                    [dbus.ObjectPath(session_handle), shortcut_id, dbus.UInt64(0),
                     dbus.Dictionary({}, signature='sv')])
