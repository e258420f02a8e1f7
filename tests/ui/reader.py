# SPDX-License-Identifier: GPL-3.0-or-later
# Reads the window through AT-SPI with pyatspi, as a screen reader does, and drives it with
# xdotool: every control by the name and role a reader says; a check message announced by its
# prompt; the status line's value growing during a split; Alt+S on the merge panel typing
# nothing; the focus on a control after "replace? Yes" and the outcome box.
# Usage: reader.py PROGRAM FOLDER   (run by reader.sh on a display with an accessibility bus)
import atexit
import subprocess
import sys
import time

import pyatspi

program, work = sys.argv[1], sys.argv[2]
big = work + "/big.bin"
TITLE = "Korvel文件分割器"
CHOOSER_KEYS = "Ctrl+O 或 F4"  # how the keyboard opens a path's chooser

# What a reader says of each control: its role, its name, and what its description holds.
CONTROLS = [
    ("radio button", "分割文件", ""),
    ("radio button", "合并文件", ""),
    ("radio button", "获取帮助", ""),
    ("text", "需要被分割的文件", CHOOSER_KEYS),
    ("link", "浏览：选择需要被分割的文件", CHOOSER_KEYS),
    ("combo box", "每一份大小(单位：M)", ""),
    ("push button", "分 割(S)", ""),
    ("text", "列表文件（.FLF）", CHOOSER_KEYS),
    ("link", "浏览：选择列表文件（.FLF）", CHOOSER_KEYS),
    ("text", "合并后的文件名", CHOOSER_KEYS),
    ("link", "另存为：选择合并后的文件名", CHOOSER_KEYS),
    ("push button", "合 并(U)", ""),
    ("push button", "关 闭(C)", ""),
    ("status bar", "状态", ""),
]
failures = []


def fail(what):
    failures.append(what)
    print("FAILED: " + what, file=sys.stderr)


def wait_for(seconds, what, check):
    """Tries check every 0.05 s until it gives something; fails after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = check()
        except Exception:  # an object gone while it is read
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise SystemExit("FAILED: " + what)
        time.sleep(0.05)


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def text_of(node):
    try:
        return node.queryText().getText(0, -1)
    except NotImplementedError:
        return None


def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


def app():
    for each in pyatspi.Registry.getDesktop(0):
        if each is not None and each.name == "korvel-splitter":
            return each
    return None


def top(role, name):
    """The program's window or box of that role and title."""
    return next((w for w in app() if w is not None and w.getRoleName() == role and w.name == name),
                None)


def control(role, name):
    return next((c for c in descendants(window) if c.getRoleName() == role and c.name == name),
                None)


def focus():
    return next((c for c in descendants(window) if focused(c)), None)


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "50", *names], check=True)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "30", text], check=True)


def announced(title, prompt):
    """The box a reader announces: an alert named by its title and described by its prompt,
    which it also reads as a label."""
    box = top("alert", title)
    if box is None:
        return None
    labels = [c.name for c in descendants(box) if c.getRoleName() == "label"]
    return box if box.description == prompt and prompt in labels else None


def answer_box(title, prompt, key="Return"):
    box = wait_for(60, "no box %s announced as “%s”" % (title, prompt),
                   lambda: announced(title, prompt))
    print("announced: %s, %s: %s" % (box.getRoleName(), box.name, box.description.replace("\n", " ")))
    keys(key)
    wait_for(20, "the box %s stayed" % title, lambda: top("alert", title) is None)


# The program ends with Alt+C at the end; on a failure before, with a signal on leaving.
started = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
atexit.register(lambda: started.poll() is None and started.terminate())
window = wait_for(30, "the window did not show on the accessibility bus",
                  lambda: app() and top("frame", TITLE))
x_window = wait_for(10, "no X window titled " + TITLE, lambda: subprocess.run(
    ["xdotool", "search", "--onlyvisible", "--name", "^%s$" % TITLE],
    capture_output=True, text=True).stdout.split()[:1])[0]
subprocess.run(["xdotool", "windowactivate", "--sync", x_window], check=False)
wait_for(10, "no control has the focus at the start", focus)

# Every control, by name and role; a field's name is never what it holds.
for role, name, description in CONTROLS:
    found = [c for c in descendants(window) if c.getRoleName() == role and c.name == name]
    if len(found) != 1:
        fail("%d %s named %s" % (len(found), role, name))
        continue
    if description not in found[0].description:
        fail("the %s %s is described as “%s”" % (role, name, found[0].description))
    if text_of(found[0]) == name:
        fail("the %s %s is named by its content" % (role, name))
roles = {role for role, _, _ in CONTROLS}
for each in descendants(window):
    if each.getState().contains(pyatspi.STATE_FOCUSABLE) and each.parent.getRoleName() != "combo box":
        if not each.name or each.getRoleName() not in roles:
            fail("a control reads as “%s”, %s" % (each.name, each.getRoleName()))
modes = [c for c in descendants(window) if c.getRoleName() == "radio button"]
if len(modes) != 3 or len({m.parent for m in modes}) != 1 or \
        [m.name for m in modes if m.getState().contains(pyatspi.STATE_CHECKED)] != ["分割文件"]:
    fail("the mode buttons are not one group of three with the split mode checked")
print("read %d controls by name and role" % len(CONTROLS))

# A check message: Alt+S with no file; the focus then goes to the field.
keys("alt+s")
answer_box("文件分割失败", "没有指定需要被分割的文件！\n请输入需要被分割的文件！！！")
wait_for(10, "the focus did not go to the file field after the check message",
         lambda: focus() is not None and focus().name == "需要被分割的文件")

# A split of 1 GiB in 64 MiB pieces: the status line's value grows while it runs.
type_text(big)
keys("Tab")
wait_for(10, "Tab did not reach the size box", lambda: focus() is not None and
         focus().name == "每一份大小(单位：M)")
type_text("64")
keys("alt+s")
status = control("status bar", "状态")
values = []
deadline = time.monotonic() + 300
while top("alert", "文件分割成功") is None and top("alert", "文件分割失败") is None:
    value = status.queryValue().currentValue
    if not values or values[-1] != value:
        values.append(value)
    if time.monotonic() > deadline:
        raise SystemExit("FAILED: the split did not end")
    time.sleep(0.05)
print("the status line's value went", " ".join("%g" % v for v in values))
# Up to its highest: once the split has ended the value goes back to 0 as the box opens.
rising = values[:values.index(max(values)) + 1]
if len(rising) < 3 or rising != sorted(rising):
    fail("the status line's value did not grow during the split")
answer_box("文件分割成功", "文件分割完成！！！")

# Alt+S on the merge panel types nothing: the text stays as typed, and the x after it lands.
actions = control("radio button", "合并文件").queryAction()
names = [actions.getName(i) for i in range(actions.nActions)]
press = next((i for i, name in enumerate(names) if name.lower() == "press"), None)
if press is None:
    raise SystemExit("FAILED: the merge mode button offers no press but " + ", ".join(names))
actions.doAction(press)
wait_for(10, "the merge panel did not show",
         lambda: control("text", "列表文件（.FLF）").getState().contains(pyatspi.STATE_SHOWING))
list_field = control("text", "列表文件（.FLF）")
list_field.queryComponent().grabFocus()
wait_for(10, "the list field did not take the focus", lambda: focused(list_field))
typed = work + "/typed.FLF"
type_text(typed)
keys("alt+s")
type_text("x")
wait_for(10, "Alt+S on the merge panel changed the path: “%s”" % text_of(list_field),
         lambda: text_of(list_field) == typed + "x")
if top("alert", "文件分割失败") or top("alert", "文件分割成功"):
    fail("Alt+S split from the merge panel")
print("Alt+S left the list file's field as typed")

# Replacing the file that was split with the merged one: Yes, then the outcome box; a control
# has the focus after it.
keys("ctrl+a")
type_text(big + ".FLF")
keys("Tab")
type_text(big)
keys("alt+u")
answer_box("提示信息", "指定合并后的文件已经存在！\n是否覆盖？？？")  # Yes, the default
answer_box("文件合并成功", "文件合并完成！！！")
after = wait_for(10, "no control has the focus after replace? Yes and the outcome box", focus)
print("after the merge the focus is on the %s %s" % (after.getRoleName(), after.name))

keys("alt+c")
wait_for(30, "Alt+C did not end the program", lambda: started.poll() is not None)
if failures:
    raise SystemExit("%d checks failed" % len(failures))
print("PASSED")
