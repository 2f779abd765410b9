#!/usr/bin/python3
"""Drives the installed Tessera through its accessibility tree, as a user would.

Runs inside the private mount namespace and session bus set up by run_e2e.sh.
Every step waits for what the user would see, takes a screenshot, and fails
with a clear message when the program does not get there."""
import os
import subprocess
import sys
import time

import pyatspi

PREFIX = os.environ["TESSERA_E2E_PREFIX"]
WORK = os.environ["TESSERA_E2E_WORK"]
ART = os.environ["TESSERA_E2E_ART"]
LOOPS = os.environ["TESSERA_E2E_LOOPS"].split()
HOME = os.environ["HOME"]
MEDIA = os.environ["TESSERA_E2E_MEDIA"]
PROC = [None]
STEP = [0]


def fail(message):
    shot("failure")
    if PROC[0] is not None and PROC[0].poll() is not None:
        message += " (tessera had exited with status %d)" % PROC[0].returncode
    print("E2E FAILED: " + message, flush=True)
    sys.exit(1)


def shot(name):
    STEP[0] += 1
    path = os.path.join(ART, "%02d-%s.png" % (STEP[0], name))
    subprocess.run(["import", "-window", "root", path], check=False)
    print("screenshot", path, flush=True)


def walk(acc, depth=0):
    if acc is None or depth > 40:
        return
    yield acc
    try:
        count = acc.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = acc.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.name == "Tessera":
            return a
    return None


def find(role=None, name=None, contains=None, showing=True):
    a = app()
    for acc in walk(a):
        try:
            if role and acc.getRoleName() != role:
                continue
            if name is not None and acc.name != name:
                continue
            if contains is not None and contains not in (acc.name or "") and contains not in text_of(acc):
                continue
            if showing and not acc.getState().contains(pyatspi.STATE_SHOWING):
                continue
            return acc
        except Exception:
            continue
    return None


def text_of(acc):
    try:
        t = acc.queryText()
        return t.getText(0, t.characterCount)
    except Exception:
        return ""


def wait_for(what, fn, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        result = fn()
        if result:
            return result
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def press(acc):
    action = acc.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "click", "Press", "activate"):
            action.doAction(i)
            return
    action.doAction(0)


def dialog_text(dlg):
    parts = []
    for acc in walk(dlg):
        try:
            if acc.getRoleName() == "label":
                parts.append(acc.name or text_of(acc))
        except Exception:
            pass
    return "\n".join(parts)


def mount(loop, name):
    path = os.path.join(MEDIA, name)
    os.makedirs(path, exist_ok=True)
    subprocess.run(["mount", loop, path], check=True)
    return path


def accessibility_bus_ready():
    r = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                        "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner", "org.a11y.Bus"],
                       capture_output=True, text=True)
    return "true" in r.stdout


def main():
    # Qt looks for the accessibility bus once, at start-up.
    wait_for("the accessibility bus", accessibility_bus_ready, timeout=30)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    # A real window on the Xvfb screen, whatever the test runner set for unit tests.
    env["QT_QPA_PLATFORM"] = "xcb"
    proc = subprocess.Popen([os.path.join(PREFIX, "bin", "tessera")], env=env)
    PROC[0] = proc
    try:
        run(proc)
    finally:
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
        for name in ("ECO A", "ECO B"):
            subprocess.run(["umount", os.path.join(MEDIA, name)], stderr=subprocess.DEVNULL)
        subprocess.run(["rm", "-rf", MEDIA])


def run(proc):
    wait_for("the panel", lambda: find(role="label", name="Nessuna USB inserita"))
    shot("no-stick")

    stick_a = mount(LOOPS[0], "ECO A")
    wait_for("stick ECO A in the panel", lambda: find(contains="ECO A"))
    shot("stick-a")

    copy = wait_for("the copy entry", lambda: find(role="push button", contains="Copia tutto in Ecografie"))
    press(copy)
    dlg = wait_for("the copy summary", lambda: find(contains="Copia completata"))
    time.sleep(0.3)
    shot("copy-summary")
    summary = dialog_text(app())
    if "tutti i 3 file sono identici" not in summary:
        fail("the summary does not report 3 verified files:\n" + summary)
    ok = wait_for("the OK button", lambda: find(role="push button", name="OK"))
    press(ok)

    archive = os.path.join(HOME, "Library/Mobile Documents/com~apple~CloudDocs/Ecografie")
    copied = sorted(os.listdir(archive))
    if copied != [".tessera-manifest", "IMG_0001.JPG", "IMG_0002.JPG", "referto.txt"]:
        fail("unexpected archive content: %r" % copied)
    manifests = os.listdir(os.path.join(archive, ".tessera-manifest"))
    if len(manifests) != 1 or not manifests[0].endswith("_ECO A.sha256"):
        fail("unexpected manifests: %r" % manifests)
    manifest = ".tessera-manifest/" + manifests[0]
    check = subprocess.run(["sha256sum", "-c", "--strict", manifest], cwd=archive, capture_output=True, text=True)
    if check.returncode != 0 or check.stdout.count(": OK") != 3:
        fail("sha256sum -c does not pass on the manifest:\n" + check.stdout + check.stderr)
    log = os.path.join(HOME, ".local/share/Orvala Tessera/registro_operazioni.log")
    expected = ("] Copia in Ecografie: 3 copiati, 3 verificati, 0 rinominati, 0 errori, 0 verifiche fallite"
                "; manifesto: " + manifest)

    def log_has_copy_line():
        try:
            with open(log, encoding="utf-8") as f:
                return any(l.endswith(expected) for l in f.read().splitlines())
        except FileNotFoundError:
            return False

    # The line is written once the summary is dismissed.
    wait_for("the copy line in the operations log", log_has_copy_line, timeout=10)

    mount(LOOPS[1], "ECO B")
    wait_for("the sync entry", lambda: find(role="push button", name="Sincronizza ECO A ↔ ECO B"))
    shot("two-sticks")

    eject = wait_for("the eject button of ECO A", lambda: find(role="push button", name="Espelli ECO A"))
    press(eject)
    wait_for("ECO A to leave the panel",
             lambda: find(role="push button", name="Espelli ECO A") is None and find(contains="ECO B"))
    shot("after-eject")
    with open("/proc/self/mountinfo") as f:
        if stick_a.replace(" ", "\\040") in f.read():
            fail("ECO A is still mounted after the eject")
    print("E2E PASSED", flush=True)


if __name__ == "__main__":
    main()
