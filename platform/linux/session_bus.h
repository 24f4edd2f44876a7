// Whether a D-Bus session bus can be reached, and the settings backend GTK is given without one.
#pragma once

// True when the session bus's address (DBUS_SESSION_BUS_ADDRESS, or the runtime folder's "bus"
// socket when that is unset) names a socket that accepts a connection, or a transport this
// check cannot try, which is then left to GLib.
bool sessionBusReachable();

// Without a reachable session bus, GLib's settings would go to dconf, which can only complain on
// the terminal: GLib's in-memory backend is chosen instead, unless the user has chosen one.
void chooseSettingsBackend();
