#!/usr/bin/python3
"""A small GTK 3 window with real text fields for the desktop tests.

Three fields: "entry" (one line), "view" (several lines) and "password". The
test drives it through JSON lines on standard input and reads one JSON answer
per command on standard output:

  {"cmd": "set", "field": "entry", "text": "Dear team, café", "caret": 4}
  {"cmd": "focus", "field": "view"}
  {"cmd": "select", "field": "entry", "start": 2, "end": 5}
  {"cmd": "get", "field": "entry"}      -> {"ok": true, "text": …, "caret": …}
  {"cmd": "hang", "seconds": 3}          (stops answering anything, AT-SPI too)
  {"cmd": "screenshot", "path": "/tmp/desktop.png"}
  {"cmd": "quit"}

Carets count characters (code points), as GTK does. The first line it writes
is {"ready": true, "pid": …} once the window is shown and the entry focused.
Run it with /usr/bin/python3 (python3-gi and gir1.2-gtk-3.0).
"""
import json
import os
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import GLib, Gdk, Gtk  # noqa: E402


class FieldsWindow(Gtk.Window):
    def __init__(self):
        super().__init__(title="Quorvel test fields")
        self.set_default_size(520, 300)
        self.move(40, 40)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=8)
        box.set_border_width(12)
        self.entry = Gtk.Entry()
        self.view = Gtk.TextView()
        self.view.set_wrap_mode(Gtk.WrapMode.WORD_CHAR)
        scroller = Gtk.ScrolledWindow()
        scroller.set_min_content_height(140)
        scroller.add(self.view)
        self.password = Gtk.Entry()
        self.password.set_visibility(False)
        for label, widget in (("Entry", self.entry), ("Text", scroller),
                              ("Password", self.password)):
            box.pack_start(Gtk.Label(label=label, xalign=0), False, False, 0)
            box.pack_start(widget, widget is scroller, True, 0)
        self.add(box)

    def field(self, name):
        return {"entry": self.entry, "view": self.view, "password": self.password}[name]

    def set_text(self, name, text, caret):
        widget = self.field(name)
        if name == "view":
            buffer = widget.get_buffer()
            buffer.set_text(text)
            where = buffer.get_end_iter() if caret is None else buffer.get_iter_at_offset(caret)
            buffer.place_cursor(where)
        else:
            widget.set_text(text)
            widget.set_position(-1 if caret is None else caret)

    def get_text(self, name):
        widget = self.field(name)
        if name == "view":
            buffer = widget.get_buffer()
            text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
            caret = buffer.get_iter_at_mark(buffer.get_insert()).get_offset()
        else:
            text = widget.get_text()
            caret = widget.get_position()
        return {"text": text, "caret": caret}

    def screenshot(self, path):
        while Gtk.events_pending():  # draw what the last commands changed
            Gtk.main_iteration()
        root = Gdk.get_default_root_window()
        pixbuf = Gdk.pixbuf_get_from_window(root, 0, 0, root.get_width(), root.get_height())
        pixbuf.savev(path, "png", [], [])


def answer(value):
    sys.stdout.write(json.dumps(value) + "\n")
    sys.stdout.flush()


def handle(window, line):
    try:
        command = json.loads(line)
        name = command.get("cmd")
        if name == "set":
            window.set_text(command["field"], command.get("text", ""), command.get("caret"))
            return {"ok": True}
        if name == "select":
            widget = window.field(command["field"])
            if command["field"] == "view":
                buffer = widget.get_buffer()
                buffer.select_range(buffer.get_iter_at_offset(command["start"]),
                                    buffer.get_iter_at_offset(command["end"]))
            else:
                widget.select_region(command["start"], command["end"])
            return {"ok": True}
        if name == "focus":
            window.present()
            widget = window.field(command["field"])
            if isinstance(widget, Gtk.Entry):
                # Focusing an entry selects all of it; keep the caret where it was.
                caret = widget.get_position()
                widget.grab_focus()
                widget.set_position(caret)
            else:
                widget.grab_focus()
            return {"ok": True}
        if name == "get":
            return dict(ok=True, **window.get_text(command["field"]))
        if name == "hang":
            time.sleep(float(command.get("seconds", 1)))
            return {"ok": True}
        if name == "screenshot":
            window.screenshot(command["path"])
            return {"ok": True}
        if name == "quit":
            Gtk.main_quit()
            return {"ok": True}
        return {"ok": False, "error": "unknown command"}
    except Exception as error:  # a bad command is answered, never fatal
        return {"ok": False, "error": str(error)}


def main():
    # The window's class ("quorvel-test-fields", "QuorvelTestFields") is what
    # the tests expect as the frontmost application.
    GLib.set_prgname("quorvel-test-fields")
    Gdk.set_program_class("QuorvelTestFields")
    window = FieldsWindow()
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    window.present()
    window.entry.grab_focus()

    pending = bytearray()

    def on_input(source, condition):
        # Raw reads, split here: a buffered readline could swallow a second
        # command that then waits for input that never comes.
        chunk = os.read(0, 65536) if condition & GLib.IO_IN else b""
        if not chunk:
            Gtk.main_quit()
            return False
        pending.extend(chunk)
        while b"\n" in pending:
            line, _, rest = bytes(pending).partition(b"\n")
            pending[:] = rest
            if line.strip():
                answer(handle(window, line.decode("utf-8", "replace")))
        return True

    GLib.io_add_watch(0, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, on_input)

    def announce():
        answer({"ready": True, "pid": os.getpid()})
        return False

    # Ready once the window is mapped and has had a moment to take the focus.
    GLib.timeout_add(200, announce)
    Gtk.main()


if __name__ == "__main__":
    main()
