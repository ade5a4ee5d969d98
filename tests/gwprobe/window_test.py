#!/usr/bin/env python3
"""Drives the checker's dialog on a private Xvfb display, as an operator would.

window_test.py PROGRAM ADDRESS WM_TOOL SCREENSHOTS SCENARIO
  enter   The dialog carries its icon in two sizes. Enter runs the test against listeners on
          ADDRESS:9102 and :9004; the message box says "TEST PASSED" while the dialog stays on
          screen; dismissing it ends the program with status 0. Screenshots of the dialog and
          of the box go to SCREENSHOTS.
  escape  Escape ends the program with status 0 and no message.
  close   The close box (WM_DELETE_WINDOW, sent by WM_TOOL) does the same.

There is no window manager: windows are found with xdotool by name (GTK keeps a hidden window
named after the program, hence --onlyvisible) and focused by hand. Every wait is bounded.
"""
import os
import select
import socket
import subprocess
import sys
import time

TITLE = "PG 연결상태 확인"
CAPTION = "gwprobe"
STEP_SECONDS = 20  # the most any one step may take, ASan builds included
SETTLE_SECONDS = 0.5  # lets a window that has just appeared paint before a screenshot


def fail(reason):
    print("FAIL: " + reason, file=sys.stderr)
    sys.exit(1)


def start_xvfb():
    """Starts Xvfb on a display number it finds free itself; returns (process, display)."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
         "-nolisten", "tcp", "-noreset"],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + STEP_SECONDS
    while not number.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([read_end], [], [], left)[0]:
            xvfb.kill()
            fail("Xvfb did not start")
        chunk = os.read(read_end, 16)
        if not chunk:
            fail("Xvfb ended at start-up")
        number += chunk
    os.close(read_end)
    return xvfb, ":" + number.decode().strip()


class Session:
    """The program under test on a fresh display."""

    def __init__(self, program, wm_tool):
        self.wm_tool = wm_tool
        self.xvfb, display = start_xvfb()
        self.env = dict(os.environ, DISPLAY=display, NO_AT_BRIDGE="1", GDK_BACKEND="x11")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.program = subprocess.Popen([program], env=self.env, stdout=subprocess.PIPE)
        self.output = b""

    def close(self):
        for process in (self.program, self.xvfb):
            if process.poll() is None:
                process.kill()
            process.wait(STEP_SECONDS)

    def tool(self, *command):
        result = subprocess.run(command, env=self.env, capture_output=True,
                                timeout=STEP_SECONDS, check=True)
        return result.stdout.decode()

    def window(self, name):
        """The visible window called exactly `name`, waiting for it to appear."""
        try:
            ids = self.tool("xdotool", "search", "--sync", "--onlyvisible", "--name",
                            "^" + name + "$").split()
        except subprocess.TimeoutExpired:
            fail("no window called " + name)
        if self.tool("xdotool", "getwindowname", ids[0]).strip() != name:
            fail("window " + ids[0] + " is not called " + name)
        return ids[0]

    def visible(self, name):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + name + "$"],
                              env=self.env, capture_output=True, timeout=STEP_SECONDS
                              ).returncode == 0

    def press(self, window, key):
        self.tool("xdotool", "windowfocus", "--sync", window)
        self.tool("xdotool", "key", key)

    def screenshot(self, window, path):
        time.sleep(SETTLE_SECONDS)
        self.tool("import", "-window", window, path)
        print("screenshot: " + path)

    def read_line(self):
        deadline = time.monotonic() + STEP_SECONDS
        while b"\n" not in self.output:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.program.stdout], [], [], left)[0]:
                fail("no message on standard output; so far " + repr(self.output))
            chunk = os.read(self.program.stdout.fileno(), 4096)
            if not chunk:
                break
            self.output += chunk
        line, _, self.output = self.output.partition(b"\n")
        return line.decode()

    def wait_for_end(self):
        """The exit status, and what was printed after what read_line took."""
        try:
            self.output += self.program.communicate(timeout=STEP_SECONDS)[0]
        except subprocess.TimeoutExpired:
            fail("the program did not end")
        return self.program.returncode, self.output.decode()


def listen(address, port):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(4)
    return listener


def saw_connection(listener):
    return bool(select.select([listener], [], [], 0)[0])


def expect_end_without_message(session):
    status, output = session.wait_for_end()
    if status != 0 or output:
        fail("ended with status %d and output %r" % (status, output))


def enter(session, address, screenshots):
    listeners = [listen(address, port) for port in (9102, 9004)]
    dialog = session.window(TITLE)
    icons = session.tool(session.wm_tool, "icons", dialog).split()
    if icons != ["32x32", "16x16"]:
        fail("window icons " + repr(icons))
    session.screenshot(dialog, os.path.join(screenshots, "dialog.png"))
    session.press(dialog, "Return")
    box = session.window(CAPTION)
    if not session.visible(TITLE):
        fail("the dialog left the screen before the message box was dismissed")
    message = session.read_line()
    if message != "TEST PASSED":
        fail("message " + repr(message))
    if not all(saw_connection(listener) for listener in listeners):
        fail("a port saw no connection")
    session.screenshot(box, os.path.join(screenshots, "message-box.png"))
    session.press(box, "Return")
    status, output = session.wait_for_end()
    if status != 0 or output:
        fail("after the message box: status %d, output %r" % (status, output))


def escape(session):
    session.press(session.window(TITLE), "Escape")
    expect_end_without_message(session)


def close_box(session):
    dialog = session.window(TITLE)
    session.tool(session.wm_tool, "close", dialog)
    expect_end_without_message(session)


def main():
    program, address, wm_tool, screenshots, scenario = sys.argv[1:]
    os.makedirs(screenshots, exist_ok=True)
    session = Session(program, wm_tool)
    try:
        if scenario == "enter":
            enter(session, address, screenshots)
        elif scenario == "escape":
            escape(session)
        elif scenario == "close":
            close_box(session)
        else:
            fail("unknown scenario " + scenario)
    finally:
        session.close()
    print("PASS: " + scenario)


if __name__ == "__main__":
    main()
