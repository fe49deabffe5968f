# SPDX-License-Identifier: MIT
"""A bare StatusNotifierItem that registers with the watcher either by a
well-known name of its own (as the program did) or by its object path (as
libappindicator does), so the GNOME race can be told apart from the program.

Usage: python3 fakeitem.py name|path
"""

import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ITEM = "org.kde.StatusNotifierItem"
PATH = "/StatusNotifierItem"


class Item(dbus.service.Object):
    PROPS = {"Id": "heavy-fake-item", "Category": "ApplicationStatus", "Status": "Active",
             "Title": "heavy fake item", "IconName": "folder",
             "Menu": dbus.ObjectPath("/NO_DBUSMENU"), "ItemIsMenu": dbus.Boolean(False)}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != ITEM or name not in self.PROPS:
            raise dbus.exceptions.DBusException("no such property",
                                                name="org.freedesktop.DBus.Error.InvalidArgs")
        return self.PROPS[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.PROPS if interface == ITEM else {}

    @dbus.service.method(ITEM, in_signature="ii")
    def Activate(self, x, y):
        pass


def main(how):
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    Item(bus, PATH)
    held = []
    what = PATH
    if how == "name":
        what = f"{ITEM}-{os.getpid()}-1"
        held.append(dbus.service.BusName(what, bus))
    watcher = bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
    watcher.RegisterStatusNotifierItem(what, dbus_interface="org.kde.StatusNotifierWatcher",
                                       reply_handler=lambda: None,
                                       error_handler=lambda e: print("not taken:", e, flush=True))
    GLib.MainLoop().run()
    held.clear()


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("name", "path"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    main(sys.argv[1])
