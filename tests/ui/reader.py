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
KEYS = "Ctrl+O 或 F4"  # how the keyboard opens a path's chooser: in the path fields' descriptions

# Every control a reader reaches: its role, its name, what its description holds.
CONTROLS = [("radio button", "分割文件", ""), ("radio button", "合并文件", ""),
            ("radio button", "获取帮助", ""), ("text", "需要被分割的文件", KEYS),
            ("link", "浏览：选择需要被分割的文件", KEYS), ("combo box", "每一份大小(单位：M)", ""),
            ("push button", "分 割(S)", ""), ("text", "列表文件（.FLF）", KEYS),
            ("link", "浏览：选择列表文件（.FLF）", KEYS), ("text", "合并后的文件名", KEYS),
            ("link", "另存为：选择合并后的文件名", KEYS), ("push button", "合 并(U)", ""),
            ("push button", "关 闭(C)", ""), ("status bar", "状态", "")]


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


def top(role, name):
    """The program's window or box of that role and title."""
    desktop = pyatspi.Registry.getDesktop(0)
    app = next((a for a in desktop if a is not None and a.name == "korvel-splitter"), [])
    return next((w for w in app if w is not None and w.getRoleName() == role and w.name == name),
                None)


def control(role, name):
    found = [c for c in descendants(window) if c.getRoleName() == role and c.name == name]
    return found[0] if len(found) == 1 else None


def focus():
    return next((c for c in descendants(window) if c.getState().contains(pyatspi.STATE_FOCUSED)),
                None)


def focus_named(name):
    return lambda: focus() is not None and focus().name == name


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "50", *names], check=True)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "30", text], check=True)


def answer_box(title, prompt):
    """Waits for the alert a reader announces, titled and described by its prompt; Enter."""
    wait_for(60, "no alert %s announced as “%s”" % (title, prompt), lambda: (
        top("alert", title).description == prompt))
    keys("Return")
    wait_for(20, "the box %s stayed" % title, lambda: top("alert", title) is None)


started = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def end_program():
    """Stops the program and waits while it cleans up, so the folder goes only after it."""
    if started.poll() is None:
        started.terminate()
        try:
            started.wait(timeout=60)
        except subprocess.TimeoutExpired:
            started.kill()
            started.wait()


atexit.register(end_program)
window = wait_for(30, "no window on the accessibility bus", lambda: top("frame", "Korvel文件分割器"))
x_window = wait_for(10, "no X window", lambda: subprocess.run(
    ["xdotool", "search", "--onlyvisible", "--name", "^Korvel文件分割器$"],
    capture_output=True, text=True).stdout.split()[:1])[0]
subprocess.run(["xdotool", "windowactivate", "--sync", x_window], check=False)
wait_for(10, "no control has the focus at the start", focus)

failures = []
for role, name, description in CONTROLS:
    found = control(role, name)
    if found is None or description not in found.description:
        failures.append("no one %s named %s described with “%s”" % (role, name, description))
    elif role == "text" and found.queryText().getText(0, -1) == name:
        failures.append("the %s %s is named by its content" % (role, name))
named = {(role, name) for role, name, _ in CONTROLS}
for each in descendants(window):  # the size box's inner field is the box's
    if each.getState().contains(pyatspi.STATE_FOCUSABLE) and \
            each.parent.getRoleName() != "combo box" and (each.getRoleName(), each.name) not in named:
        failures.append("a control reads as %s “%s”" % (each.getRoleName(), each.name))
modes = [c for c in descendants(window) if c.getRoleName() == "radio button"]
if len({m.parent for m in modes}) != 1 or \
        [m.name for m in modes if m.getState().contains(pyatspi.STATE_CHECKED)] != ["分割文件"]:
    failures.append("the mode buttons are not one group with the split mode checked")
if failures:
    raise SystemExit("FAILED: " + "; ".join(failures))

# A check message, announced; the focus then goes to its field.
keys("alt+s")
answer_box("文件分割失败", "没有指定需要被分割的文件！\n请输入需要被分割的文件！！！")
wait_for(10, "the focus did not go to the file field", focus_named("需要被分割的文件"))

# A 1 GiB split in 64 MiB pieces: the status line's value grows while it runs.
type_text(big)
keys("Tab")
wait_for(10, "Tab did not reach the size box", focus_named("每一份大小(单位：M)"))
type_text("64")
keys("alt+s")
status = control("status bar", "状态").queryValue()
values, deadline = [0], time.monotonic() + 300
while top("alert", "文件分割成功") is None:
    if status.currentValue > values[-1]:
        values.append(status.currentValue)
    if top("alert", "文件分割失败") or time.monotonic() > deadline:
        raise SystemExit("FAILED: the split failed or did not end")
    time.sleep(0.05)
print("the status line's value went", " ".join("%g" % v for v in values))
# At least two readings above 0, each larger than the one before.
if len(values) < 3:
    raise SystemExit("FAILED: the status line's value did not grow during the split")
answer_box("文件分割成功", "文件分割完成！！！")

# Alt+S on the merge panel types nothing: the path reads as typed once its last letter is in.
control("radio button", "合并文件").queryAction().doAction(0)
list_field = wait_for(10, "the merge panel did not show", lambda: control("text", "列表文件（.FLF）"))
list_field.queryComponent().grabFocus()
wait_for(10, "the list field did not take the focus", focus_named("列表文件（.FLF）"))
type_text(big + ".FL")
keys("alt+s")
type_text("F")
wait_for(10, "Alt+S on the merge panel changed the path",
         lambda: list_field.queryText().getText(0, -1) == big + ".FLF")

# Replacing the file that was split: Yes (the default), the outcome box, then a focus.
keys("Tab")
type_text(big)
keys("alt+u")
answer_box("提示信息", "指定合并后的文件已经存在！\n是否覆盖？？？")
answer_box("文件合并成功", "文件合并完成！！！")
print("after the merge the focus is on", wait_for(10, "no control has the focus", focus).name)
keys("alt+c")
wait_for(30, "Alt+C did not end the program", lambda: started.poll() is not None)
print("PASSED")
