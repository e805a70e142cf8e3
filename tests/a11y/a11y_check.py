#!/usr/bin/env python3
"""Runs the installer with the accessibility bridge on and looks at it as a
screen reader does, through AT-SPI: every control the keyboard reaches has a
name, each tab's page has one, message boxes are announced by their caption,
and closing the dialog prints no GTK warning.

Usage (inside dbus-run-session, on a display):
    a11y_check.py PELLVANE_EXE BIN_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

EXE, BIN = sys.argv[1], sys.argv[2]
failures = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what, flush=True)
    if not cond:
        failures.append(what)


def wait_for(what, find, deadline=60.0, app=None):
    # The program starts and reacts in its own time; look until it answers.
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.05)
    if app is not None:
        dump(app)
    raise SystemExit("FAIL timed out waiting for " + what)


def dump(acc, depth=0):
    print("     " + "  " * depth + describe(acc))
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            dump(child, depth + 1)


def walk(acc):
    yield acc
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def app_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.name == "Pellvane":
                return app
        except Exception:
            pass
    return None


def window(app, role, name=None):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.getRole() == role and (name is None or w.name == name):
            if w.getState().contains(pyatspi.STATE_SHOWING):
                return w
    return None


def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("click", "press", "activate"):
            action.doAction(i)
            return
    raise SystemExit("FAIL no click action on " + acc.name)


def button(root, name):
    for acc in walk(root):
        if acc.getRole() == pyatspi.ROLE_PUSH_BUTTON and acc.name == name:
            return acc
    return None


def describe(acc):
    return "%s %r" % (acc.getRoleName(), acc.name)


def showing(acc):
    return acc is not None and acc.getState().contains(pyatspi.STATE_SHOWING)


def check_names(dlg, where):
    reachable = 0
    for acc in walk(dlg):
        states = acc.getState()
        role = acc.getRole()
        if role == pyatspi.ROLE_TABLE_CELL:
            # A row is heard as its cells together: the icon has no name,
            # the text beside it has.
            if acc.parent.getRole() != pyatspi.ROLE_TABLE_CELL and showing(acc):
                names = [c.name for c in walk(acc) if c.name]
                check(bool(names), "%s: a row of %r has a name: %r" % (where, acc.parent.name, names))
        elif role == pyatspi.ROLE_PAGE_TAB:
            check(acc.name != "", "%s: page tab has a name: %r" % (where, acc.name))
            for i in range(acc.childCount):
                page = acc.getChildAtIndex(i)
                check(page.name != "", "%s: the page under tab %r has a name: %s" % (where, acc.name, describe(page)))
        elif states.contains(pyatspi.STATE_FOCUSABLE) and showing(acc):
            reachable += 1
            check(acc.name.strip() != "", "%s: reachable control has a name: %s" % (where, describe(acc)))
    return reachable


def main():
    tmp = tempfile.mkdtemp(prefix="pellvane-a11y-")
    env = dict(os.environ)
    for k in ("NO_AT_BRIDGE", "GTK_A11Y"):
        env.pop(k, None)
    env.update({
        "GTK_MODULES": "gail:atk-bridge",
        "TESSRA_REGISTRY_DIR": os.path.join(tmp, "registry"),
        "XDG_RUNTIME_DIR": tmp,
        "XDG_DATA_HOME": os.path.join(tmp, "home"),
        "LANG": env.get("LANG", "C.UTF-8"),
        "TESSRA_SAMPLE_HOST_NO_UI": "1",
    })
    os.makedirs(env["TESSRA_REGISTRY_DIR"])
    subprocess.run([os.path.join(BIN, "make-sample-cd"), os.path.join(tmp, "cdrom"), "--genres", "3",
                    "--points-per-genre", "5"], check=True, env=env, stdout=subprocess.DEVNULL)
    subprocess.run([os.path.join(BIN, "pellvane-register-host")], check=True, env=env, stdout=subprocess.DEVNULL)
    guide = r"HKEY_LOCAL_MACHINE\SOFTWARE\Veltrane Corporation\DirectoryServices\GuideDirectory"
    subprocess.run([os.path.join(BIN, "pellvane-reg"), "set", guide, "DataPath_0",
                    os.path.join(tmp, "cdrom", "Guide.dbs")], check=True, env=env)

    err_path = os.path.join(tmp, "stderr.txt")
    # The registry daemon starts on first use; a program whose bridge comes up
    # before the daemon is ready is never listed. Ask it something first, and
    # give a start that is not listed one more try, saying so.
    pyatspi.Registry.getDesktop(0).childCount
    for attempt in (1, 2):
        with open(err_path, "wb") as err:
            proc = subprocess.Popen([EXE], env=env, stderr=err, stdout=err)
        try:
            app = wait_for("the installer on the accessibility bus", lambda: app_of(proc.pid), deadline=30.0)
            break
        except SystemExit:
            alive = proc.poll() is None
            if alive:
                proc.kill()
            proc.wait()
            with open(err_path, encoding="utf-8", errors="replace") as f:
                print("note: start %d not listed on the accessibility bus (%s); its output:\n%s"
                      % (attempt, "running" if alive else "status %s" % proc.returncode, f.read()), flush=True)
            if attempt == 2:
                raise
    try:
        # No guide database on the hard disk yet: the page says so first.
        box = wait_for("the first message box", lambda: window(app, pyatspi.ROLE_ALERT), app=app)
        check(box.name == "Pellvane", "the first message box is announced by its caption: %r" % box.name)
        press(button(box, "OK"))
        dlg = wait_for("the main dialog", lambda: window(app, pyatspi.ROLE_FRAME, "データインストーラ"), app=app)
        check(dlg.name != "", "the main dialog has a name: %r" % dlg.name)

        # Every control the keyboard reaches on either tab, and every tab
        # with its page.
        guide = check_names(dlg, "guide page")
        check(guide >= 8, "the guide page's controls are reachable (%d)" % guide)
        # The genre lists draw no header; a screen reader still names their column.
        lists = [acc for acc in walk(dlg) if acc.getRole() in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE)]
        check(len(lists) == 2, "the guide page has two genre lists (%d)" % len(lists))
        for acc in lists:
            table = acc.queryTable()
            header = table.getColumnHeader(0)
            heard = (table.getColumnDescription(0), header.name if header is not None else None)
            check("ジャンル名" in heard, "a genre list's column is named: %r" % (heard,))
        tabs = next(acc for acc in walk(dlg) if acc.getRole() == pyatspi.ROLE_PAGE_TAB_LIST)
        tabs.querySelection().selectChild(1)
        wait_for("the address page", lambda: button(dlg, "適用") if showing(button(dlg, "適用")) else None, app=app)
        address = check_names(dlg, "address page")
        check(address >= 6, "the address page's controls are reachable (%d)" % address)

        press(button(dlg, "閉じる"))
        proc.wait(timeout=60)
        check(proc.returncode == 0, "the installer ends with status 0 (%s)" % proc.returncode)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    with open(err_path, encoding="utf-8", errors="replace") as f:
        stderr = f.read()
    shutil.rmtree(tmp, ignore_errors=True)
    warnings = [l for l in stderr.splitlines() if "-CRITICAL" in l or "-WARNING" in l]
    check(not warnings, "closing prints no GTK warning" + "".join("\n     " + w for w in warnings))
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
