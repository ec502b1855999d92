#!/usr/bin/python3
"""A stand-in for the desktop portals Quorvel uses, on the session bus.

It owns org.freedesktop.portal.Desktop and serves, at
/org/freedesktop/portal/desktop, the RemoteDesktop and GlobalShortcuts
interfaces exactly as their published D-Bus interface files describe them
(read from /usr/share/dbus-1/interfaces, so GDBus checks every call's
signature against them), with Request and Session objects for each call.
Instead of dialogs it answers as told, and it writes every call it gets as
one JSON line to the log, so a test can see what the application asked for.

A test steers it through org.quorvel.test.PortalStandIn at /org/quorvel/test:
  SetAnswer(s what, s answer)    what: "typing" or "shortcuts"; answer:
                                 "allow", "refuse" or "silent" (never answer)
  Revoke()                       the desktop ends every remote desktop session
  CloseShortcuts()               the desktop ends every global shortcuts session
  Activate(s id), Deactivate(s id)   a bound shortcut is pressed / let go
  Stop()                         ends the stand-in

Typing can be forwarded to an X display (--xtest): each keycode goes through
XTEST as the key the X server knows (evdev code + 8), so a real window gets
the keys.

Run with /usr/bin/python3 (it needs python3-gi).
"""

import argparse
import ctypes
import json
import os
import sys
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACES = "/usr/share/dbus-1/interfaces"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
CONTROL_XML = """
<node>
  <interface name="org.quorvel.test.PortalStandIn">
    <method name="SetAnswer"><arg type="s" direction="in"/><arg type="s" direction="in"/></method>
    <method name="Revoke"/>
    <method name="CloseShortcuts"/>
    <method name="Activate"><arg type="s" direction="in"/></method>
    <method name="Deactivate"><arg type="s" direction="in"/></method>
    <method name="Stop"/>
  </interface>
</node>
"""


def interface(name):
    with open(os.path.join(INTERFACES, name + ".xml"), encoding="utf-8") as f:
        node = Gio.DBusNodeInfo.new_for_xml(f.read())
    for info in node.interfaces:
        if info.name == name:
            return info
    raise SystemExit("portal-standin: " + name + " is not in its interface file")


class XTest:
    """Key events into an X display through libXtst."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise SystemExit("portal-standin: cannot open display " + display)

    def key(self, evdev_code, pressed):
        self.xtst.XTestFakeKeyEvent(self.display, evdev_code + 8, 1 if pressed else 0, 0)
        self.x11.XFlush(self.display)


class Standin:
    def __init__(self, args):
        self.args = args
        self.log_file = open(args.log, "a", encoding="utf-8")
        self.loop = GLib.MainLoop()
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self.answers = {"typing": args.typing, "shortcuts": args.shortcuts}
        self.sessions = {}  # path -> {"kind", "sender", "registration", ...}
        self.requests = {}  # path -> registration id
        self.issued_tokens = set(args.known_token or [])
        self.counter = 0
        self.xtest = XTest(args.xtest) if args.xtest else None
        self.request_info = interface("org.freedesktop.portal.Request")
        self.session_info = interface("org.freedesktop.portal.Session")
        self.remote_info = interface("org.freedesktop.portal.RemoteDesktop")
        self.shortcuts_info = interface("org.freedesktop.portal.GlobalShortcuts")
        if args.remote_desktop_version > 0:
            self.bus.register_object(PORTAL_PATH, self.remote_info, self.on_remote_desktop, self.on_property, None)
        if args.shortcuts_version > 0:
            self.bus.register_object(PORTAL_PATH, self.shortcuts_info, self.on_shortcuts, self.on_property, None)
        control = Gio.DBusNodeInfo.new_for_xml(CONTROL_XML).interfaces[0]
        self.bus.register_object("/org/quorvel/test", control, self.on_control, None, None)
        Gio.bus_own_name_on_connection(self.bus, "org.freedesktop.portal.Desktop",
                                       Gio.BusNameOwnerFlags.NONE, self.on_name, self.on_name_lost)

    # --- bookkeeping ------------------------------------------------------

    def log(self, **entry):
        entry["t"] = round(time.monotonic(), 4)
        self.log_file.write(json.dumps(entry, sort_keys=True) + "\n")
        self.log_file.flush()

    def on_name(self, *_):
        self.log(event="ready")

    def on_name_lost(self, *_):
        self.log(event="name lost")
        self.loop.quit()

    @staticmethod
    def sender_element(sender):
        return sender.lstrip(":").replace(".", "_")

    def new_request(self, sender, options, answer):
        """Makes the Request object for a call and sends its Response soon
        (or never, for "silent"): answer() gives (code, results)."""
        token = options.get("handle_token") or ("standin%d" % self.counter)
        self.counter += 1
        path = "%s/request/%s/%s" % (PORTAL_PATH, self.sender_element(sender), token)

        def on_request(connection, sender_, object_path, interface_name, method, parameters, invocation):
            self.log(call="Request.Close", path=object_path)
            self.drop_request(object_path)
            invocation.return_value(None)

        self.requests[path] = self.bus.register_object(path, self.request_info, on_request, None, None)

        def respond():
            if path not in self.requests:
                return False
            code, results = answer()
            if code is None:
                return False
            self.bus.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                 GLib.Variant("(ua{sv})", (code, results)))
            self.drop_request(path)
            return False

        GLib.timeout_add(self.args.answer_delay_ms, respond)
        return path

    def drop_request(self, path):
        registration = self.requests.pop(path, None)
        if registration is not None:
            self.bus.unregister_object(registration)

    def new_session(self, sender, options, kind):
        token = options.get("session_handle_token") or ("session%d" % self.counter)
        self.counter += 1
        path = "%s/session/%s/%s" % (PORTAL_PATH, self.sender_element(sender), token)

        def on_session(connection, sender_, object_path, interface_name, method, parameters, invocation):
            if method == "Close":
                self.log(call="Session.Close", kind=kind)
                self.end_session(object_path, emit=False)
            invocation.return_value(None)

        registration = self.bus.register_object(path, self.session_info, on_session, self.on_property, None)
        self.sessions[path] = {"kind": kind, "sender": sender, "registration": registration}
        return path

    def end_session(self, path, emit):
        session = self.sessions.pop(path, None)
        if session is None:
            return
        if emit:
            self.bus.emit_signal(session["sender"], path, "org.freedesktop.portal.Session", "Closed",
                                 GLib.Variant("(a{sv})", ({},)))
        self.bus.unregister_object(session["registration"])

    def owned_session(self, sender, path, kind, invocation):
        session = self.sessions.get(path)
        if session is None or session["sender"] != sender or session["kind"] != kind:
            invocation.return_dbus_error("org.freedesktop.DBus.Error.AccessDenied", "no such session")
            return None
        return session

    def on_property(self, connection, sender, object_path, interface_name, name):
        if name == "version":
            if interface_name == "org.freedesktop.portal.RemoteDesktop":
                return GLib.Variant("u", self.args.remote_desktop_version)
            if interface_name == "org.freedesktop.portal.GlobalShortcuts":
                return GLib.Variant("u", self.args.shortcuts_version)
            return GLib.Variant("u", 1)
        if name == "AvailableDeviceTypes":
            return GLib.Variant("u", self.args.device_types)
        return None

    # --- RemoteDesktop ------------------------------------------------------

    def on_remote_desktop(self, connection, sender, object_path, interface_name, method, parameters, invocation):
        args = parameters.unpack()
        if method == "CreateSession":
            options = args[0]
            session = self.new_session(sender, options, "remote desktop")
            self.log(call="RemoteDesktop.CreateSession")
            handle = self.new_request(sender, options,
                                      lambda: (0, {"session_handle": GLib.Variant("s", session)}))
            invocation.return_value(GLib.Variant("(o)", (handle,)))
        elif method == "SelectDevices":
            path, options = args
            session = self.owned_session(sender, path, "remote desktop", invocation)
            if session is None:
                return
            session["types"] = options.get("types", 7)
            session["persist_mode"] = options.get("persist_mode", 0)
            session["restore_token"] = options.get("restore_token", "")
            self.log(call="RemoteDesktop.SelectDevices", types=session["types"],
                     persist_mode=session["persist_mode"], restore_token=session["restore_token"])
            handle = self.new_request(sender, options, lambda: (0, {}))
            invocation.return_value(GLib.Variant("(o)", (handle,)))
        elif method == "Start":
            path, parent_window, options = args
            session = self.owned_session(sender, path, "remote desktop", invocation)
            if session is None:
                return
            restored = session.get("restore_token", "") in self.issued_tokens
            if restored:
                self.issued_tokens.discard(session["restore_token"])  # each token is good once
            self.log(call="RemoteDesktop.Start", dialog=not restored)

            def answer():
                choice = "allow" if restored else self.answers["typing"]
                if choice == "silent":
                    return (None, None)
                if choice != "allow":
                    return (1, {})
                session["started"] = True
                results = {"devices": GLib.Variant("u", session.get("types", 7) & self.args.device_types)}
                if self.args.remote_desktop_version >= 2 and session.get("persist_mode", 0) == 2:
                    token = "token-%d-%d" % (os.getpid(), self.counter)
                    self.counter += 1
                    self.issued_tokens.add(token)
                    results["restore_token"] = GLib.Variant("s", token)
                return (0, results)

            handle = self.new_request(sender, options, answer)
            invocation.return_value(GLib.Variant("(o)", (handle,)))
        elif method in ("NotifyKeyboardKeycode", "NotifyKeyboardKeysym"):
            path, options, code, state = args
            session = self.owned_session(sender, path, "remote desktop", invocation)
            if session is None:
                return
            if not session.get("started"):
                invocation.return_dbus_error("org.freedesktop.DBus.Error.AccessDenied", "session not started")
                return
            self.log(call="RemoteDesktop." + method, code=code, state=state)
            if self.xtest is not None and method == "NotifyKeyboardKeycode":
                self.xtest.key(code, state == 1)
            invocation.return_value(None)
        else:
            self.log(call="RemoteDesktop." + method)
            invocation.return_dbus_error("org.freedesktop.DBus.Error.NotSupported", "not in this stand-in")

    # --- GlobalShortcuts ----------------------------------------------------

    def on_shortcuts(self, connection, sender, object_path, interface_name, method, parameters, invocation):
        args = parameters.unpack()
        if method == "CreateSession":
            options = args[0]
            session = self.new_session(sender, options, "shortcuts")
            self.log(call="GlobalShortcuts.CreateSession")
            handle = self.new_request(sender, options,
                                      lambda: (0, {"session_handle": GLib.Variant("o", session)}))
            invocation.return_value(GLib.Variant("(o)", (handle,)))
        elif method == "BindShortcuts":
            path, shortcuts, parent_window, options = args
            session = self.owned_session(sender, path, "shortcuts", invocation)
            if session is None:
                return
            self.log(call="GlobalShortcuts.BindShortcuts",
                     shortcuts={sid: details for sid, details in shortcuts})

            def answer():
                choice = self.answers["shortcuts"]
                if choice == "silent":
                    return (None, None)
                if choice != "allow":
                    return (1, {})
                session["bound"] = [sid for sid, _ in shortcuts]
                listed = [(sid, {"description": GLib.Variant("s", details.get("description", "")),
                                 "trigger_description": GLib.Variant("s", details.get("preferred_trigger", "?"))})
                          for sid, details in shortcuts]
                return (0, {"shortcuts": GLib.Variant("a(sa{sv})", listed)})

            handle = self.new_request(sender, options, answer)
            invocation.return_value(GLib.Variant("(o)", (handle,)))
        else:
            self.log(call="GlobalShortcuts." + method)
            invocation.return_dbus_error("org.freedesktop.DBus.Error.NotSupported", "not in this stand-in")

    def shortcut_signal(self, name, shortcut_id):
        stamp = int(time.time() * 1000)
        for path, session in list(self.sessions.items()):
            if session["kind"] == "shortcuts" and shortcut_id in session.get("bound", []):
                self.bus.emit_signal(session["sender"], PORTAL_PATH, "org.freedesktop.portal.GlobalShortcuts", name,
                                     GLib.Variant("(osta{sv})", (path, shortcut_id, stamp, {})))

    # --- control ------------------------------------------------------------

    def on_control(self, connection, sender, object_path, interface_name, method, parameters, invocation):
        args = parameters.unpack()
        self.log(control=method, args=list(args))
        if method == "SetAnswer":
            self.answers[args[0]] = args[1]
        elif method == "Revoke":
            for path, session in list(self.sessions.items()):
                if session["kind"] == "remote desktop":
                    self.end_session(path, emit=True)
        elif method == "CloseShortcuts":
            for path, session in list(self.sessions.items()):
                if session["kind"] == "shortcuts":
                    self.end_session(path, emit=True)
        elif method == "Activate":
            self.shortcut_signal("Activated", args[0])
        elif method == "Deactivate":
            self.shortcut_signal("Deactivated", args[0])
        elif method == "Stop":
            GLib.idle_add(self.loop.quit)
        invocation.return_value(None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--log", required=True)
    parser.add_argument("--typing", default="allow", choices=["allow", "refuse", "silent"])
    parser.add_argument("--shortcuts", default="allow", choices=["allow", "refuse", "silent"])
    parser.add_argument("--remote-desktop-version", type=int, default=2)
    parser.add_argument("--shortcuts-version", type=int, default=1)
    parser.add_argument("--device-types", type=int, default=7)
    parser.add_argument("--answer-delay-ms", type=int, default=20)
    parser.add_argument("--known-token", action="append", help="a restore token issued before")
    parser.add_argument("--xtest", help="an X display that receives the typed keys")
    parser.add_argument("--lifetime", type=float, default=300.0, help="ends by itself after this many seconds")
    args = parser.parse_args()
    standin = Standin(args)
    GLib.timeout_add(int(args.lifetime * 1000), standin.loop.quit)
    standin.loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
