#!/usr/bin/python3
"""Drives the installed Tessera as a user would: with key presses, and through
its accessibility tree as a screen reader does.

Runs inside the private mount namespace and session bus set up by run_e2e.sh,
with a stand-in for the desktop's tray host, so Tessera lives in the tray and
its panel drops down from the icon. Every step waits for what the user would
see, takes a screenshot, and fails with a clear message when the program does
not get there."""
import os
import re
import subprocess
import sys
import time

import dbus
import pyatspi

PREFIX = os.environ["TESSERA_E2E_PREFIX"]
WORK = os.environ["TESSERA_E2E_WORK"]
ART = os.environ["TESSERA_E2E_ART"]
LOOPS = os.environ["TESSERA_E2E_LOOPS"].split()
HOME = os.environ["HOME"]
MEDIA = os.environ["TESSERA_E2E_MEDIA"]
PROC = [None]
STEP = [0]
TRAY = {}
SLOW = {}
SCREEN_HEIGHT = 768

TAB, RETURN, ESCAPE, UP, DOWN = 0xFF09, 0xFF0D, 0xFF1B, 0xFF52, 0xFF54
CONTROL = 1 << 2


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


def find(role=None, name=None, contains=None, showing=True, state=None, leaf=False):
    a = app()
    for acc in walk(a):
        try:
            if role and acc.getRoleName() != role:
                continue
            if state is not None and not acc.getState().contains(state):
                continue
            # A window holding the focus says so too; the control itself is wanted.
            if leaf and acc.getRoleName() in ("frame", "dialog", "window"):
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


def start_tray_host():
    """A stand-in for the desktop's tray host (a StatusNotifierWatcher), which
    is what a panel's tray area is to the program."""
    proc = subprocess.Popen(["/usr/bin/python3", "-m", "dbusmock", "--session", "org.kde.StatusNotifierWatcher",
                             "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher"], stdout=subprocess.DEVNULL)
    bus = dbus.SessionBus()
    wait_for("the tray host", lambda: bus.name_has_owner("org.kde.StatusNotifierWatcher"), timeout=10)
    mock = dbus.Interface(bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher"),
                          "org.freedesktop.DBus.Mock")
    mock.AddProperty("org.kde.StatusNotifierWatcher", "IsStatusNotifierHostRegistered", dbus.Boolean(True))
    mock.AddProperty("org.kde.StatusNotifierWatcher", "ProtocolVersion", dbus.Int32(0))
    mock.AddProperty("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems", dbus.Array([], signature="s"))
    mock.AddMethod("org.kde.StatusNotifierWatcher", "RegisterStatusNotifierItem", "s", "", "")
    TRAY["proc"], TRAY["mock"], TRAY["bus"] = proc, mock, bus


def tray_item():
    for _, method, args in TRAY["mock"].GetCalls():
        if method == "RegisterStatusNotifierItem":
            return str(args[0])
    return None


def click_tray_icon():
    item = TRAY["bus"].get_object(TRAY["item"], "/StatusNotifierItem")
    dbus.Interface(item, "org.kde.StatusNotifierItem").Activate(dbus.Int32(1200), dbus.Int32(10))


def panel():
    return find(role="frame", name="Tessera")


def open_panel():
    if panel() is None:
        click_tray_icon()
    return wait_for("the drop-down panel", panel)


def key(keysym, modifiers=0):
    """A real key press, through the X server, to the window that has the focus."""
    if modifiers:
        pyatspi.Registry.generateKeyboardEvent(modifiers, None, pyatspi.KEY_LOCKMODIFIERS)
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    if modifiers:
        pyatspi.Registry.generateKeyboardEvent(modifiers, None, pyatspi.KEY_UNLOCKMODIFIERS)
    time.sleep(0.35)


def focused_name():
    acc = find(showing=True, state=pyatspi.STATE_FOCUSED, leaf=True)
    return acc.name if acc is not None else None


def tab_to(prefix, limit=30):
    for _ in range(limit):
        if (focused_name() or "").startswith(prefix):
            return
        key(TAB)
    fail("Tab never reaches " + prefix)


def bottom(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.y + e.height


def log_has(line, whole=True):
    try:
        with open(os.path.join(HOME, ".local/share/Orvala Tessera/registro_operazioni.log"), encoding="utf-8") as f:
            return any(l.endswith(line) if whole else line in l for l in f.read().splitlines())
    except FileNotFoundError:
        return False


def mount_slow_stick(name):
    """A slow stick: a FUSE mirror of a folder whose large file answers each
    read late, first mounted where the program does not look (a hidden
    folder), given a removable USB disk in the sysfs view, then shown under
    /media as a stick that was just put in."""
    content = os.path.join(WORK, "content", "lenta")
    os.makedirs(content, exist_ok=True)
    for i in range(130):
        with open(os.path.join(content, "ECO_LENTA_%04d.JPG" % i), "wb") as f:
            f.write(os.urandom(4000 + i))
    with open(os.path.join(content, "zz_video.mp4"), "wb") as f:
        f.write(os.urandom(40 << 20))
    hidden = os.path.join(MEDIA, ".lenta")
    os.makedirs(hidden, exist_ok=True)
    script = os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "transfer", "chiavetta_guasta.py")
    SLOW["proc"] = subprocess.Popen(["/usr/bin/python3", script, content, hidden, "lento:0.05",
                                     "piano:/zz_video.mp4"])
    parent = os.stat(MEDIA).st_dev
    wait_for("the slow stick's FUSE mount", lambda: os.stat(hidden).st_dev != parent, timeout=20)
    dev = os.stat(hidden).st_dev
    sysfs = os.path.join(WORK, "sys")
    usb = os.path.join(sysfs, "devices/pci0000:00/0000:00:14.0/usb2/2-9")
    disk = os.path.join(usb, "2-9:1.0/host9/target9:0:0/9:0:0:0/block/lenta")
    os.makedirs(disk, exist_ok=True)
    for path, value in ((os.path.join(usb, "speed"), "480"), (os.path.join(usb, "devnum"), "9"),
                        (os.path.join(disk, "removable"), "1"), (os.path.join(disk, "size"), "131072")):
        with open(path, "w") as f:
            f.write(value + "\n")
    os.symlink(os.path.relpath(disk, os.path.join(sysfs, "dev/block")),
               os.path.join(sysfs, "dev/block", "%d:%d" % (os.major(dev), os.minor(dev))))
    path = os.path.join(MEDIA, name)
    os.makedirs(path, exist_ok=True)
    subprocess.run(["mount", "--bind", hidden, path], check=True)


def card():
    """The operation card, as a screen reader finds it: its description holds
    the speed, the time left and the file."""
    for acc in walk(app()):
        try:
            if (acc.description or "").count("MB/s") and acc.getState().contains(pyatspi.STATE_SHOWING):
                return acc
        except Exception:
            continue
    return None


def archived(archive):
    """Every file of the archive but its manifests, by its path in it, in
    whichever layout the copies took."""
    for top, dirs, files in os.walk(archive):
        dirs[:] = [d for d in dirs if d != ".tessera-manifest"]
        for f in files:
            yield os.path.relpath(os.path.join(top, f), archive)


def slow_copy_is_cancelled(archive):
    """A copy of a slow stick shows a speed and a time remaining, and Annulla
    stops it cleanly: whole, proven copies and their manifest stay, nothing
    half-written does."""
    before = set(archived(archive))
    manifests_before = set(os.listdir(os.path.join(archive, ".tessera-manifest")))
    mount_slow_stick("ECO LENTA")
    open_panel()
    # With three sticks in, the copy says which one it takes: the one put in last.
    tab_to("Copia tutto da «ECO LENTA» in Ecografie")
    key(RETURN)
    open_panel()
    found = wait_for("the card with the speed and the time left", card, timeout=60)
    wait_for("the time left", lambda: "rimanent" in ((card() or found).description or ""), timeout=30)
    text = (card() or found).description
    if not re.search(r"\d+,\d\u00a0MB/s · (circa|meno di) .*rimanent", text):
        fail("the card does not say speed and time left as expected: %r" % text)
    if "ECO LENTA" not in ((card() or found).name or ""):
        fail("the card does not name the stick: %r" % (card() or found).name)
    shot("slow-copy")
    annulla = wait_for("Annulla on the card", lambda: find(role="push button", name="Annulla"))
    started = time.time()
    annulla.queryAction().doAction(0)
    wait_for("the copy to stop", lambda: find(contains="Copia interrotta: "), timeout=15)
    if time.time() - started > 5:
        fail("the copy took %.1f s to stop" % (time.time() - started))
    time.sleep(0.3)
    shot("copy-cancelled")
    said = dialog_text(app())
    new = sorted(set(archived(archive)) - before)
    if any(os.path.basename(n).startswith(".tessera-") for n in new) or \
            any(os.path.basename(n) == "zz_video.mp4" for n in new):
        fail("the archive holds a half-written or unproven file: %r" % new)
    expected = "Copia interrotta: %d file copiati e verificati, %d non copiati" % (len(new), 131 - len(new))
    if not new:
        fail("the files proven before the stop were not kept")
    if expected not in said:
        fail("the alert does not say %r:\n%s" % (expected, said))
    key(RETURN)
    manifests = sorted(set(os.listdir(os.path.join(archive, ".tessera-manifest"))) - manifests_before)
    if len(manifests) != 1:
        fail("expected one new manifest, found %r" % manifests)
    manifest = ".tessera-manifest/" + manifests[0]
    check = subprocess.run(["sha256sum", "-c", "--strict", manifest], cwd=archive, capture_output=True, text=True)
    listed = sorted(l.split(": OK")[0] for l in check.stdout.splitlines())
    if check.returncode != 0 or listed != new:
        fail("the manifest does not list exactly the copies kept:\n" + check.stdout + check.stderr)
    wait_for("the line in the operations log", lambda: log_has("] Copia in Ecografie interrotta: ", whole=False),
             timeout=10)


def main():
    # Qt looks for the accessibility bus once, at start-up.
    wait_for("the accessibility bus", accessibility_bus_ready, timeout=30)
    start_tray_host()
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
        TRAY["proc"].terminate()
        for name in ("ECO A", "ECO B", "ECO C", "ECO LENTA", ".lenta"):
            subprocess.run(["umount", os.path.join(MEDIA, name)], stderr=subprocess.DEVNULL)
        if "proc" in SLOW:
            try:
                SLOW["proc"].wait(10)
            except subprocess.TimeoutExpired:
                SLOW["proc"].kill()
        subprocess.run(["rm", "-rf", MEDIA])


def run(proc):
    TRAY["item"] = wait_for("the tray icon", tray_item)
    open_panel()
    wait_for("the empty list", lambda: find(role="label", name="Nessuna USB inserita"))
    # The drop-down is in the tree with every control named, its menus too.
    for role, name in (("list", "USB inserite"), ("push button", "Impostazioni"), ("push button", "Aiuto"),
                       ("push button", "Esci"), ("menu item", "Avvertenze"), ("menu item", "Solo immagini")):
        if find(role=role, name=name, showing=role != "menu item") is None:
            fail("the drop-down has no %s named %r" % (role, name))
    shot("no-stick")
    key(ESCAPE)
    wait_for("Escape to close the drop-down", lambda: panel() is None)

    mount(LOOPS[0], "ECO A")
    open_panel()
    row = wait_for("stick ECO A in the panel", lambda: find(role="list item", contains="ECO A, inserita alle "))
    if "apri" not in [row.queryAction().getName(i) for i in range(row.queryAction().nActions)]:
        fail("the stick's row has no \"apri\" action")
    # Tab goes through everything that can be used, in reading order, and round again.
    order = ["ECO A, inserita alle", "Espelli ECO A", "Impostazioni", "Apri ultima USB nel gestore file",
             "Apri ultima USB + nota appunti", "Copia appunti ed espelli (.txt)",
             "Copia appunti formattati ed espelli (.rtf)", "Copia tutto in Ecografie", "Copia filtrato in Ecografie",
             "Diagnostica USB…", "Prepara chiavetta (formatta rapida)…", "Cancella tutto e formatta (sicuro)…",
             "Aiuto", "Esci"]
    seen = []
    for _ in order:
        key(TAB)
        seen.append(focused_name() or "")
    if [s[:len(o)] for s, o in zip(seen, order)] != order:
        fail("Tab order:\n%s" % "\n".join(seen))
    shot("keyboard-focus")

    # The copy, started and confirmed with the keyboard alone.
    tab_to("Copia tutto in Ecografie")
    key(RETURN)
    wait_for("the copy summary", lambda: find(contains="Copia completata"))
    time.sleep(0.3)
    shot("copy-summary")
    summary = dialog_text(app())
    if "tutti i 3 file sono identici" not in summary:
        fail("the summary does not report 3 verified files:\n" + summary)
    key(RETURN)
    wait_for("the summary to close", lambda: find(contains="Copia completata") is None)

    # A fresh install archives in the desktop's pictures folder.
    archive = os.path.join(HOME, "Immagini", "Ecografie")
    if not os.path.isdir(archive):
        fail("no archive in the pictures folder; home holds %r" % sorted(os.listdir(HOME)))
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
    # The line is written once the summary is dismissed.
    wait_for("the copy line in the operations log", lambda: log_has(
        "] Copia in Ecografie: 3 copiati, 3 verificati, 0 rinominati, 0 errori, 0 verifiche fallite"
        "; manifesto: " + manifest), timeout=10)

    mount(LOOPS[1], "ECO B")
    open_panel()
    wait_for("the sync entry", lambda: find(role="push button", name="Sincronizza ECO A ↔ ECO B"))
    shot("two-sticks")

    # Three sticks on a laptop's screen: the panel fits, "Esci" in sight.
    mount(LOOPS[2], "ECO C")
    wait_for("the pairs menu", lambda: find(role="menu item", name="ECO B ↔ ECO C", showing=False))
    esci = wait_for("Esci", lambda: find(role="push button", name="Esci"))
    if bottom(panel()) > SCREEN_HEIGHT or bottom(esci) > SCREEN_HEIGHT:
        fail("the panel runs off the screen: its bottom at %d, Esci's at %d" % (bottom(panel()), bottom(esci)))
    shot("three-sticks")

    # The eject, with the keyboard; the user is told when to pull the stick out.
    tab_to("Espelli ECO B")
    key(RETURN)
    wait_for("the stick to be announced as removable", lambda: find(contains="Puoi rimuovere «ECO B»"))
    wait_for("the eject line in the log", lambda: log_has("] Espulsa ECO B: si può rimuovere"), timeout=10)
    shot("after-eject")
    key(RETURN)  # the desktop has no notification server: the same words come as an alert
    with open("/proc/self/mountinfo") as f:
        if os.path.join(MEDIA, "ECO B").replace(" ", "\\040") in f.read():
            fail("ECO B is still mounted after the eject")

    # Help from the panel's menu with the keyboard (Up from the top goes round
    # to "Esci", then "Aiuto"); its pages are page tabs.
    open_panel()
    key(UP)
    key(UP)
    key(RETURN)
    for _ in range(3):
        key(DOWN)
    key(RETURN)
    wait_for("the help window at Avvertenze",
             lambda: find(role="page tab", name="Avvertenze", state=pyatspi.STATE_FOCUSED))
    tab = find(role="page tab", name="Chi siamo")
    tab.queryAction().doAction(0)
    wait_for("the Chi siamo page", lambda: find(role="push button", name="Visita www.orvala.it"))
    shot("help")
    key(ESCAPE)
    wait_for("Escape to close the help window", lambda: find(role="page tab", name="Chi siamo") is None)

    # Impostazioni names the archive folder; Ctrl+W closes it.
    open_panel()
    tab_to("Impostazioni")
    key(RETURN)
    wait_for("Impostazioni", lambda: find(contains="È la cartella predefinita"))
    if find(contains=archive) is None:
        fail("Impostazioni does not show the archive folder " + archive)
    shot("settings")
    # The archive's layout, chosen with the arrow keys, applies to the next copy.
    tab_to("Tutto in un'unica cartella")
    key(DOWN)
    wait_for("the layout per stick and day", lambda: find(
        role="radio button", name="Una cartella per chiavetta e giorno, con le sue sottocartelle",
        state=pyatspi.STATE_CHECKED))
    shot("settings-layout")
    key(ord("w"), CONTROL)
    wait_for("Ctrl+W to close Impostazioni", lambda: find(contains="È la cartella predefinita") is None)

    open_panel()
    tab_to("Copia tutto")
    key(RETURN)
    wait_for("the summary of the copy of ECO C", lambda: find(contains="Copia completata"))
    key(RETURN)
    wait_for("the summary to close", lambda: find(contains="Copia completata") is None)
    day = time.strftime("%Y-%m-%d") + " ECO C"
    copied = sorted(os.listdir(archive))
    if copied != [".tessera-manifest", day, "IMG_0001.JPG", "IMG_0002.JPG", "referto.txt"] or \
            os.listdir(os.path.join(archive, day, "DCIM")) != ["IMG_0200.JPG"]:
        fail("ECO C is not in its own folder, with its folders: %r" % copied)

    slow_copy_is_cancelled(archive)

    print("E2E PASSED", flush=True)


if __name__ == "__main__":
    main()
