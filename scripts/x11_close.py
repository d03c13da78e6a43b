#!/usr/bin/python3
"""Asks an X11 window to close, as a window manager's close button does (WM_DELETE_WINDOW).

With --wm-running instead of a window id: exits with 0 when a window manager runs on the display
(it has set _NET_SUPPORTING_WM_CHECK on the root window), else 1.
"""
import sys

from Xlib import X, display, protocol

d = display.Display()
if sys.argv[1] == "--wm-running":
    root = d.screen().root
    sys.exit(0 if root.get_full_property(d.intern_atom("_NET_SUPPORTING_WM_CHECK"), X.AnyPropertyType) else 1)
window = d.create_resource_object("window", int(sys.argv[1]))
protocols = d.intern_atom("WM_PROTOCOLS")
delete = d.intern_atom("WM_DELETE_WINDOW")
event = protocol.event.ClientMessage(
    window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
window.send_event(event, event_mask=X.NoEventMask)
d.flush()
